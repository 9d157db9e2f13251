// SPDX-License-Identifier: MIT
#include "SNGoniometer.h"

#include "CVRegistry.h"
#include "SNCatalogue.h"
#include "DGSignalDispatcher.h"

#include <algorithm>
#include <cmath>
#include <numbers>

namespace Sonorix {

namespace {
constexpr const char* GModeNames[] = {"gmCartesian", "gmPolar"};
} // namespace

const TEnumInfo TSNGoniometerVectorModeInfo{"TSNGoniometerVectorMode", GModeNames};

TSNGoniometer::TSNGoniometer() : TSNBasicCommonSplitter(TPNDataType::dtReal)
{
    TSNBasicCommonSplitter::SetCountChannels(2);
    NamePins();
}

TSNGoniometer::~TSNGoniometer()
{
    GetOutputPins().SetCount(0);
}

const TClassDescription& TSNGoniometer::ClassDescription()
{
    static const TClassDescription LDescription = [] {
        TClassDescription LClass;
        ApplyCatalogue(LClass, "TSNGoniometer");
        LClass.Parent = &TSNBasicCommonSplitter::ClassDescription();
        LClass.Properties = {
            DescribeProperty(ModeProperty, &TSNGoniometer::GetMode, &TSNGoniometer::SetMode),
            DescribePinList("OutputPins", "TDGPNRealRangedSourcePin", &TSNGoniometer::GetOutputPins).AsPrimary(),
        };
        LClass.Factory = [] { return std::make_shared<TSNGoniometer>(); };
        return LClass;
    }();
    return LDescription;
}

TSNGoniometerVectorMode TSNGoniometer::GetMode() const
{
    return FLock->Getter(FMode);
}

void TSNGoniometer::SetMode(TSNGoniometerVectorMode AValue)
{
    FLock->NotifySetter(FMode, AValue, [this] { NamePins(); });
}

void TSNGoniometer::NamePins()
{
    std::lock_guard LListGuard(GetOutputPins().GetListLock());
    const bool LPolar = GetMode() == gmPolar;
    if (TPNPin* LPin = OutputPin(0))
        LPin->SetName(LPolar ? "Magnitude" : "X");
    if (TPNPin* LPin = OutputPin(1))
        LPin->SetName(LPolar ? "Phase" : "Y");
}

std::unique_ptr<TPNPin> TSNGoniometer::CreateSourcePin(int /*AIndex*/)
{
    auto LPin = std::make_unique<TDGPNRealRangedSourcePin>(this, "OutputPins");
    LPin->SetDispatch([this](TPNPin& APin, const IPNNotifyOperationPtr& AOperation) {
        return SourceDispatch(APin, AOperation);
    });
    return LPin;
}

bool TSNGoniometer::HasChannelEvent(int32_t /*AChannel*/)
{
    // Both channels are needed for either output.
    return TSNBasicCommonSplitter::HasChannelEvent(0) || TSNBasicCommonSplitter::HasChannelEvent(1);
}

void TSNGoniometer::SplitBuffer(int32_t AChannel, const IDGRealBufferPtr& ABuffer)
{
    if (AChannel < 0 || AChannel > 1)
        return;
    // The base made ABuffer for this call alone, so it is kept as it is.
    FBuffers[static_cast<size_t>(AChannel)] = ABuffer;
    if (!FBuffers[0] || !FBuffers[1])
        return;
    IDGRealBufferPtr LLeft = std::move(FBuffers[0]);
    IDGRealBufferPtr LRight = std::move(FBuffers[1]);
    FBuffers = {};
    // The buffer that completed the pair gives its length; a shorter partner
    // is read as if followed by zeros, never past its end.
    const uint32_t LCount = ABuffer->GetSize();
    if (LCount == 0)
        return;
    IDGRealBufferPtr& LPartner = AChannel == 0 ? LRight : LLeft;
    if (LPartner->GetSize() < LCount) {
        IDGRealBufferPtr LPadded = TDGRealBuffer::CreateSize(LCount);
        std::fill_n(LPadded->Modify(), LCount, 0.0);
        std::copy_n(LPartner->Read(), LPartner->GetSize(), LPadded->Modify());
        LPartner = std::move(LPadded);
    }
    const auto n = static_cast<int32_t>(LCount);
    IDGRealBufferPtr LMagnitude = TDGRealBuffer::CreateSize(LCount);
    IDGRealBufferPtr LPhase = TDGRealBuffer::CreateSize(LCount);
    ippsCartToPolar_64f(LLeft->Read(), LRight->Read(), LMagnitude->Modify(), LPhase->Modify(), n);
    // Rotating by -pi/4 and scaling by 1/sqrt(2) turns (L, R) into (mid, side).
    ippsDivC_64f_I(std::numbers::sqrt2, LMagnitude->Modify(), n);
    ippsAddC_64f_I(-std::numbers::pi / 4, LPhase->Modify(), n);
    auto* LPin0 = static_cast<TDGPNRealRangedSourcePin*>(OutputPin(0));
    auto* LPin1 = static_cast<TDGPNRealRangedSourcePin*>(OutputPin(1));
    if (!LPin0 || !LPin1)
        return;
    if (FMode == gmCartesian) {
        IDGRealBufferPtr LMid = TDGRealBuffer::CreateSize(LCount);
        IDGRealBufferPtr LSide = TDGRealBuffer::CreateSize(LCount);
        ippsPolarToCart_64f(LMagnitude->Read(), LPhase->Read(), LMid->Modify(), LSide->Modify(), n);
        LPin0->SubmitBuffer(std::move(LSide));
        LPin1->SubmitBuffer(std::move(LMid));
    } else {
        LPin0->SubmitBuffer(std::move(LMagnitude));
        LPin1->SubmitBuffer(std::move(LPhase));
    }
}

namespace SNGoniometer {
void RegisterPkg()
{
    RegisterComponents({&TSNGoniometer::ClassDescription()});
}
} // namespace SNGoniometer

} // namespace Sonorix
