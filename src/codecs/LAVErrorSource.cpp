// SPDX-License-Identifier: MIT
// The error and warning events that the codec components share. Part of the
// package library (the Ogg, Vorbis and Speex components use it too); the rest
// of XVLAVSupport lives in the libav module.
#include "XVLAVSupport.h"

#include <cstdio>

namespace Sonorix {

// --- TLAVErrorSource -----------------------------------------------------------

void TLAVErrorSource::SetOnError(TDGErrorEvent AHandler)
{
    std::lock_guard LGuard(FMutex);
    FOnError = std::move(AHandler);
}

TDGErrorEvent TLAVErrorSource::GetOnError() const
{
    std::lock_guard LGuard(FMutex);
    return FOnError;
}

std::string TLAVErrorSource::GetErrorDetail() const
{
    std::lock_guard LGuard(FMutex);
    return FDetail;
}

TEventInfo TLAVErrorSource::DescribeOnError()
{
    return {"OnError", [](TPersistent& AObject, TGenericEventHandler AHandler) {
                auto& LSource = dynamic_cast<TLAVErrorSource&>(AObject);
                if (!AHandler) {
                    LSource.SetOnError(nullptr);
                    return;
                }
                LSource.SetOnError([AHandler, &LSource](TPersistent& ASender, const std::string& AMessage,
                                                        uint32_t ACode, bool& /*AHandled*/) {
                    std::vector<TEventField> LFields{{"message", AMessage}, {"code", int64_t{ACode}}};
                    if (std::string LDetail = LSource.GetErrorDetail(); !LDetail.empty())
                        LFields.push_back({"detail", LDetail});
                    AHandler(ASender, "OnError", LFields);
                });
            }};
}

void TLAVErrorSource::SetOnWarning(TDGWarningEvent AHandler)
{
    std::lock_guard LGuard(FMutex);
    FOnWarning = std::move(AHandler);
}

TDGWarningEvent TLAVErrorSource::GetOnWarning() const
{
    std::lock_guard LGuard(FMutex);
    return FOnWarning;
}

TEventInfo TLAVErrorSource::DescribeOnWarning()
{
    return {"OnWarning", [](TPersistent& AObject, TGenericEventHandler AHandler) {
                auto& LSource = dynamic_cast<TLAVErrorSource&>(AObject);
                if (!AHandler) {
                    LSource.SetOnWarning(nullptr);
                    return;
                }
                LSource.SetOnWarning(
                    [AHandler](TPersistent& ASender, const std::string& AMessage, const std::string& ADetail) {
                        AHandler(ASender, "OnWarning", {{"message", AMessage}, {"detail", ADetail}});
                    });
            }};
}

void TLAVErrorSource::Warning(TLockComponent& ASelf, const std::string& AMessage, const std::string& ADetail)
{
    if (TDGWarningEvent LHandler = GetOnWarning())
        LHandler(ASelf, AMessage, ADetail);
}

void TLAVErrorSource::DropPacket(TLockComponent& ASelf, const std::string& ADetail)
{
    ++FDroppedPackets;
    Warning(ASelf, "could not decode packet", ADetail);
}

void TLAVErrorSource::Error(TLockComponent& ASelf, const std::string& AMessage, uint32_t ACode,
                            const std::string& ADetail)
{
    TDGErrorEvent LHandler;
    {
        std::lock_guard LGuard(FMutex);
        FDetail = ADetail;
        LHandler = FOnError;
    }
    bool LHandled = false;
    if (LHandler)
        LHandler(ASelf, AMessage, ACode, LHandled);
    if (LHandled || ASelf.GetDesignMode())
        return;
    // "%s - %u - %x", without a length limit on the message (file names).
    char LCode[32];
    std::snprintf(LCode, sizeof(LCode), " - %u - %x", ACode, ACode);
    throw EDGException(AMessage + LCode, ADetail);
}

} // namespace Sonorix
