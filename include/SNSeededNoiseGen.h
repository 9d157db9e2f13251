// SPDX-License-Identifier: MIT
#pragma once

#include "SNExport.h"

#include "SNCommonGen.h"

namespace Sonorix {
SN_API_BEGIN

// The base of the noise generators: a reproducible sequence fixed by Seed.
// Each stream starts the sequence from Seed; a change of Seed restarts it at
// once. A derived generator fills each block from the running state.
class TSNSeededNoiseGen : public TSNCommonGen {
public:
    static constexpr TIntSpec SeedProperty{
        .Name = "Seed", .Default = 31192, .Min = 0, .Max = 0xFFFFFFFF, .TypeName = "uint32"};

    uint32_t GetSeed() const;
    void SetSeed(uint32_t AValue);

protected:
    void StartStream(int32_t ABufferSize) override;
    void Generate(ISNAudioBufferPtr& ASignal, bool& APopulated, bool& AFinished) override;
    // Fills ACount 16-bit samples and advances AState; called with FLock held.
    virtual void FillNoise(int16_t* ASamples, int ACount, uint32_t& AState) = 0;

private:
    uint32_t FSeed = static_cast<uint32_t>(SeedProperty.Default);
    uint32_t FStateSeed = static_cast<uint32_t>(SeedProperty.Default);
};

SN_API_END
} // namespace Sonorix
