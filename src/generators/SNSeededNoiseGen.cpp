// SPDX-License-Identifier: MIT
#include "SNSeededNoiseGen.h"

namespace Sonorix {

uint32_t TSNSeededNoiseGen::GetSeed() const { return FLock->Getter(FSeed); }

void TSNSeededNoiseGen::SetSeed(uint32_t AValue)
{
    FLock->NotifySetter(FSeed, AValue, [this] {
        TLockAccess LAccess = FLock->WriteLock();
        FStateSeed = FSeed;
    });
}

void TSNSeededNoiseGen::StartStream(int32_t ABufferSize)
{
    TSNCommonGen::StartStream(ABufferSize);
    TLockAccess LAccess = FLock->WriteLock();
    FStateSeed = FSeed;
}

void TSNSeededNoiseGen::Generate(ISNAudioBufferPtr& ASignal, bool& /*APopulated*/, bool& /*AFinished*/)
{
    {
        TLockAccess LAccess = FLock->WriteLock();
        FillNoise(static_cast<int16_t*>(FBlock->Write()), static_cast<int>(FBlock->GetSize() / 2), FStateSeed);
    }
    PopulateAudio(FBlock, ASignal);
}

} // namespace Sonorix
