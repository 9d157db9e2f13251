// SPDX-License-Identifier: MIT
#include "SNRemoveDC.h"

#include "CVRegistry.h"
#include "SNCatalogue.h"
#include "IPPExtraFunctions.h"
#include "SNBasicDispatcher.h"
#include "SNDispatcher.h"

#include <algorithm>

namespace Sonorix {

struct TSNRemoveDCStates {
    std::vector<IIRState_32f*> Channels;
};

TSNRemoveDC::TSNRemoveDC() : FStates(std::make_unique<TSNRemoveDCStates>()) {}

TSNRemoveDC::~TSNRemoveDC()
{
    TLockAccess LAccess = FInputLock->WriteLock();
    FreeStates();
}

const TClassDescription& TSNRemoveDC::ClassDescription()
{
    static const TClassDescription LDescription = [] {
        TClassDescription LClass;
        ApplyCatalogue(LClass, "TSNRemoveDC");
        LClass.Parent = &TSNCommonFilter::ClassDescription();
        LClass.Factory = [] { return std::make_shared<TSNRemoveDC>(); };
        return LClass;
    }();
    return LDescription;
}

void TSNRemoveDC::FreeStates()
{
    for (IIRState_32f*& LState : FStates->Channels)
        if (LState) {
            ippsIIRFree_32f(LState);
            LState = nullptr;
        }
}

void TSNRemoveDC::AudioStreamStart(const TPNStartWaveOperation& AStartOperation)
{
    TSNCommonFilter::AudioStreamStart(AStartOperation);
    TLockAccess LAccess = FInputLock->WriteLock();
    FDCBuffer = TDGBlockBuffer::CreateSize(1);
    // The pole 1 - 2 pi 20 / fs, kept within [0, 1) for rates below 126 Hz
    // where the formula would leave the unit circle.
    const double fs = FWaveFormat.Format.nSamplesPerSec;
    const double LPole = fs > 0.0 ? std::clamp(1.0 - 125.66370614359172 / fs, 0.0, 0.999999) : 0.0;
    const float LTaps[6] = {0.0f, -1.0f, 1.0f, -1.0f, static_cast<float>(LPole), 0.0f};
    FreeStates();
    FStates->Channels.assign(std::min<uint32_t>(FWaveFormat.Format.nChannels, 32), nullptr);
    for (IIRState_32f*& LState : FStates->Channels)
        if (ippsIIRInitAlloc_32f(&LState, LTaps, 2, nullptr) != ippStsNoErr)
            LState = nullptr;
}

void TSNRemoveDC::FilterInternalOperation(const ISNAudioBufferPtr& AInBuffer, ISNAudioBufferPtr& AOutBuffer,
                                          bool& /*ASendOutputData*/)
{
    // Called with FInputLock held.
    const uint32_t N = AInBuffer->GetSize();
    const uint32_t LBits = AInBuffer->GetBitsPerSample();
    const uint32_t LChannels =
        std::min<uint32_t>(AInBuffer->GetChannels(), static_cast<uint32_t>(FStates->Channels.size()));
    if (N == 0 || !FDCBuffer || !AOutBuffer)
        return;
    FDCBuffer->Resize(size_t{4} * N);
    auto* LFloats = reinterpret_cast<Ipp32f*>(FDCBuffer->Modify());
    const int32_t LStep = static_cast<int32_t>(AInBuffer->GetDataStep());
    const uint32_t LBytes = LBits / 8;
    const IppiSize LRoi{1, static_cast<int32_t>(N)};
    for (uint32_t c = 0; c < LChannels; ++c) {
        if (!FStates->Channels[c])
            continue;
        const uint8_t* LSource = AInBuffer->ByteRead() + size_t(c) * LBytes;
        uint8_t* LTarget = AOutBuffer->ByteWrite() + size_t(c) * LBytes;
        switch (LBits) {
        case 8:
            // Unsigned samples are filtered around the stream's silence (128),
            // so a start on a silent 8-bit stream is silent too.
            ippiConvert_8u32f_C1R(LSource, LStep, LFloats, 4, LRoi);
            for (uint32_t i = 0; i < N; ++i)
                LFloats[i] -= 128.0f;
            break;
        case 16:
            ippiConvert_16s32f_C1R(reinterpret_cast<const Ipp16s*>(LSource), LStep, LFloats, 4, LRoi);
            break;
        case 24:
            ippiConvert_24s32f_C1R(LSource, LStep, LFloats, 4, LRoi);
            break;
        case 32:
            ippiConvert_32s32f_C1R(reinterpret_cast<const Ipp32s*>(LSource), LStep, LFloats, 4, LRoi);
            break;
        default:
            return;
        }
        ippsIIR_32f_I(LFloats, static_cast<int>(N), FStates->Channels[c]);
        switch (LBits) {
        case 8:
            for (uint32_t i = 0; i < N; ++i)
                LFloats[i] += 128.0f;
            ippiConvert_32f8u_C1R(LFloats, 4, LTarget, LStep, LRoi, ippRndNear);
            break;
        case 16:
            ippiConvert_32f16s_C1R(LFloats, 4, reinterpret_cast<Ipp16s*>(LTarget), LStep, LRoi, ippRndNear);
            break;
        case 24:
            ippiConvert_32f24s_C1R(LFloats, 4, LTarget, LStep, LRoi, ippRndNear);
            break;
        case 32:
            ippiConvert_32f32s_C1RSfs(LFloats, 4, reinterpret_cast<Ipp32s*>(LTarget), LStep, LRoi, ippRndNear, 0);
            break;
        }
    }
}

namespace SNRemoveDC {
void RegisterPkg()
{
    RegisterComponents({&TSNRemoveDC::ClassDescription()});
}
} // namespace SNRemoveDC

} // namespace Sonorix
