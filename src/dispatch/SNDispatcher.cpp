// SPDX-License-Identifier: MIT
// The table of SNDispatcher and its binding at load.
#include "SNDispatcher.h"

#include "SNIppLoader.h"

#include <cstring>
#include <mutex>

namespace Sonorix {

// Constant-initialised with the portable kernels, so every entry is callable
// before any static initialiser has run.
TPtr_ippsAdd_16s_I ippsAdd_16s_I = _px_ippsAdd_16s_I;
TPtr_ippsConjCcs_64fc_I ippsConjCcs_64fc_I = _px_ippsConjCcs_64fc_I;
TPtr_ippsFIROne_64f ippsFIROne_64f = _px_ippsFIROne_64f;
TPtr_ippsIIROne_64f ippsIIROne_64f = _px_ippsIIROne_64f;
TPtr_ippsRandUniform_Direct_16s ippsRandUniform_Direct_16s = _px_ippsRandUniform_Direct_16s;
TPtr_ippsRandGauss_Direct_16s ippsRandGauss_Direct_16s = _px_ippsRandGauss_Direct_16s;
TPtr_ippsThreshold_LTValGTVal_16s_I ippsThreshold_LTValGTVal_16s_I = _px_ippsThreshold_LTValGTVal_16s_I;
TPtr_ippsTone_Direct_16s ippsTone_Direct_16s = _px_ippsTone_Direct_16s;
TPtr_ippsTriangle_Direct_16s ippsTriangle_Direct_16s = _px_ippsTriangle_Direct_16s;
TPtr_ippsSum_32f ippsSum_32f = _px_ippsSum_32f;
TPtr_ippsSqr_32f_I ippsSqr_32f_I = _px_ippsSqr_32f_I;
TPtr_ippiConvert_16s32f_C1R ippiConvert_16s32f_C1R = _px_ippiConvert_16s32f_C1R;
TPtr_ippiConvert_8s32f_C1R ippiConvert_8s32f_C1R = _px_ippiConvert_8s32f_C1R;
TPtr_ippiConvert_32f16s_C1R ippiConvert_32f16s_C1R = _px_ippiConvert_32f16s_C1R;
TPtr_ippiConvert_32f8s_C1R ippiConvert_32f8s_C1R = _px_ippiConvert_32f8s_C1R;
TPtr_ippsIIRFree_32f ippsIIRFree_32f = _px_ippsIIRFree_32f;
TPtr_ippsIIRInitAlloc_32f ippsIIRInitAlloc_32f = _px_ippsIIRInitAlloc_32f;
TPtr_ippsIIR_32f ippsIIR_32f = _px_ippsIIR_32f;
TPtr_ippsIIR_32f_I ippsIIR_32f_I = _px_ippsIIR_32f_I;
TPtr_ippsMulC_32f ippsMulC_32f = _px_ippsMulC_32f;
TPtr_ippsDivC_32f_I ippsDivC_32f_I = _px_ippsDivC_32f_I;
TPtr_ippsIIRInit_BiQuad_32f ippsIIRInit_BiQuad_32f = _px_ippsIIRInit_BiQuad_32f;
TPtr_ippsIIRGetStateSize_BiQuad_32f ippsIIRGetStateSize_BiQuad_32f = _px_ippsIIRGetStateSize_BiQuad_32f;
TPtr_ippsSampleDown_32f ippsSampleDown_32f = _px_ippsSampleDown_32f;
TPtr_ippsPeriodicityLSPE_32f ippsPeriodicityLSPE_32f = _px_ippsPeriodicityLSPE_32f;
TPtr_ippsCompensateOffset_32f_I ippsCompensateOffset_32f_I = _px_ippsCompensateOffset_32f_I;

namespace {

enum class TLibrary { Signal, Image };

// Groups that are bound only as a whole (see SNDispatcherInit in the header);
// every other entry is a group of its own.
enum TGroup : int {
    gOwn = 0,
    gFIROne64f,
    gIIROne64f,
    gIIR32f,
};

struct TEntry {
    const char* Name;
    TLibrary Library;
    TGroup Group;
    void (*Bind)(void* AAddress);
    bool (*IsPortable)();
};

#define SN_ENTRY(AName, ALibrary, AGroup)                                                                              \
    TEntry                                                                                                             \
    {                                                                                                                  \
        #AName, TLibrary::ALibrary, AGroup, [](void* AAddress) { AName = reinterpret_cast<TPtr_##AName>(AAddress); }, \
            [] { return AName == _px_##AName; }                                                                         \
    }

// In the order of the original table, which is also the look-up order.
const TEntry CEntries[] = {
    SN_ENTRY(ippsAdd_16s_I, Signal, gOwn),
    SN_ENTRY(ippsConjCcs_64fc_I, Signal, gOwn),
    SN_ENTRY(ippsFIROne_64f, Signal, gFIROne64f),
    SN_ENTRY(ippsIIROne_64f, Signal, gIIROne64f),
    SN_ENTRY(ippsRandUniform_Direct_16s, Signal, gOwn),
    SN_ENTRY(ippsRandGauss_Direct_16s, Signal, gOwn),
    SN_ENTRY(ippsThreshold_LTValGTVal_16s_I, Signal, gOwn),
    SN_ENTRY(ippsTone_Direct_16s, Signal, gOwn),
    SN_ENTRY(ippsTriangle_Direct_16s, Signal, gOwn),
    SN_ENTRY(ippsSum_32f, Signal, gOwn),
    SN_ENTRY(ippsSqr_32f_I, Signal, gOwn),
    SN_ENTRY(ippiConvert_16s32f_C1R, Image, gOwn),
    SN_ENTRY(ippiConvert_8s32f_C1R, Image, gOwn),
    SN_ENTRY(ippiConvert_32f16s_C1R, Image, gOwn),
    SN_ENTRY(ippiConvert_32f8s_C1R, Image, gOwn),
    SN_ENTRY(ippsIIRFree_32f, Signal, gIIR32f),
    SN_ENTRY(ippsIIRInitAlloc_32f, Signal, gIIR32f),
    SN_ENTRY(ippsIIR_32f, Signal, gIIR32f),
    SN_ENTRY(ippsIIR_32f_I, Signal, gIIR32f),
    SN_ENTRY(ippsMulC_32f, Signal, gOwn),
    SN_ENTRY(ippsDivC_32f_I, Signal, gOwn),
    SN_ENTRY(ippsIIRInit_BiQuad_32f, Signal, gIIR32f),
    SN_ENTRY(ippsIIRGetStateSize_BiQuad_32f, Signal, gIIR32f),
    SN_ENTRY(ippsSampleDown_32f, Signal, gOwn),
    SN_ENTRY(ippsPeriodicityLSPE_32f, Signal, gOwn),
    SN_ENTRY(ippsCompensateOffset_32f_I, Signal, gOwn),
};
#undef SN_ENTRY

constexpr int CEntryCount = sizeof(CEntries) / sizeof(CEntries[0]);
static_assert(CEntryCount == 26);

// Signal-library exports outside the table that a group needs beside its
// members: the creators of the states that the one-sample filters read.
bool CompanionsResolve(TGroup AGroup)
{
    static constexpr const char* CFIRCreators[] = {"ippsFIRInitAlloc_64f", "ippsFIRFree_64f"};
    static constexpr const char* CIIRCreators[] = {"ippsIIRInitAlloc_64f", "ippsIIRInitAlloc_BiQuad_64f",
                                                   "ippsIIRFree_64f"};
    const auto LAll = [](const auto& ANames) {
        for (const char* LName : ANames)
            if (SNIppLoader::GetIPPSProcAddress(LName) == nullptr)
                return false;
        return true;
    };
    switch (AGroup) {
    case gFIROne64f:
        return LAll(CFIRCreators);
    case gIIROne64f:
        return LAll(CIIRCreators);
    default:
        return true;
    }
}

void Bind()
{
    void* LFound[CEntryCount];
    for (int i = 0; i < CEntryCount; ++i)
        LFound[i] = CEntries[i].Library == TLibrary::Signal ? SNIppLoader::GetIPPSProcAddress(CEntries[i].Name)
                                                            : SNIppLoader::GetIPPIProcAddress(CEntries[i].Name);
    for (int i = 0; i < CEntryCount; ++i) {
        const TGroup LGroup = CEntries[i].Group;
        if (LFound[i] == nullptr)
            continue;
        bool LComplete = CompanionsResolve(LGroup);
        if (LGroup != gOwn)
            for (int j = 0; j < CEntryCount && LComplete; ++j)
                if (CEntries[j].Group == LGroup && LFound[j] == nullptr)
                    LComplete = false;
        if (LComplete)
            CEntries[i].Bind(LFound[i]);
    }
}

std::once_flag GBound;

// Binds at load, before main() and before any component exists.
const bool CBoundAtLoad = (SNDispatcherInit(), true);

} // namespace

void SNDispatcherInit()
{
    std::call_once(GBound, Bind);
}

void* SNDispatcherSignalProc(const char* AName)
{
    SNDispatcherInit();
    return SNIppLoader::GetIPPSProcAddress(AName);
}

void* SNDispatcherImageProc(const char* AName)
{
    SNDispatcherInit();
    return SNIppLoader::GetIPPIProcAddress(AName);
}

bool SNDispatcherIsPortable(const char* AName)
{
    SNDispatcherInit();
    if (AName == nullptr)
        return true;
    for (const TEntry& LEntry : CEntries)
        if (std::strcmp(LEntry.Name, AName) == 0)
            return LEntry.IsPortable();
    return true;
}

} // namespace Sonorix
