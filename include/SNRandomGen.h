// SPDX-License-Identifier: MIT
#pragma once

#include "SNExport.h"

#include "SNSeededNoiseGen.h"

namespace Sonorix {
SN_API_BEGIN

// Uniform noise between Low and High (16-bit sample units), reproducible:
// the sequence is fixed by Seed.
//
// Pins: OutputPin (audio out, AudioFormat; every channel carries the same
// noise). Each stream starts the sequence from Seed; a change of Seed
// restarts it at once, a change of Low or High applies from the next buffer.
// Low above High moves High up to it, High below Low moves Low down. A level
// outside -32768 .. 32767 stops the stream with a range-check error.
//
//   TSNRandomGen LNoise;
//   LNoise.SetLow(-1000); LNoise.SetHigh(1000);
//   LNoise.GetOutputPin().Connect(LAmp.GetInputPin()); LNoise.StartSource();
class TSNRandomGen final : public TSNSeededNoiseGen {
public:
    static constexpr TIntSpec LowProperty{.Name = "Low", .Default = -20000};
    static constexpr TIntSpec HighProperty{.Name = "High", .Default = 20000};

    ~TSNRandomGen() override;

    static const TClassDescription& ClassDescription();
    const TClassDescription& GetClassDescription() const override { return ClassDescription(); }

    int32_t GetLow() const;
    void SetLow(int32_t AValue);
    int32_t GetHigh() const;
    void SetHigh(int32_t AValue);

protected:
    void FillNoise(int16_t* ASamples, int ACount, uint32_t& AState) override;

private:
    int32_t FLow = static_cast<int32_t>(LowProperty.Default);
    int32_t FHigh = static_cast<int32_t>(HighProperty.Default);
};

namespace SNRandomGen {
// Registers TSNRandomGen with the component registry.
void RegisterPkg();
} // namespace SNRandomGen

SN_API_END
} // namespace Sonorix
