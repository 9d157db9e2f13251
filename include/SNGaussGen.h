// SPDX-License-Identifier: MIT
#pragma once

#include "SNExport.h"

#include "SNSeededNoiseGen.h"

namespace Sonorix {
SN_API_BEGIN

// Gaussian noise with Mean and StdDev (16-bit sample units), clamped to the
// 16-bit range, reproducible: the sequence is fixed by Seed.
//
// Pins: OutputPin (audio out, AudioFormat; every channel carries the same
// noise). Each stream starts the sequence from Seed; a change of Seed
// restarts it at once, a change of Mean or StdDev applies from the next
// buffer. A Mean or StdDev outside -32768 .. 32767 stops the stream with a
// range-check error.
//
//   TSNGaussGen LNoise;
//   LNoise.SetStdDev(3000);
//   LNoise.GetOutputPin().Connect(LAmp.GetInputPin()); LNoise.StartSource();
class TSNGaussGen final : public TSNSeededNoiseGen {
public:
    static constexpr TIntSpec MeanProperty{.Name = "Mean", .Default = 0};
    static constexpr TIntSpec StdDevProperty{.Name = "StdDev", .Default = 9000};

    ~TSNGaussGen() override;

    static const TClassDescription& ClassDescription();
    const TClassDescription& GetClassDescription() const override { return ClassDescription(); }

    int32_t GetMean() const;
    void SetMean(int32_t AValue);
    int32_t GetStdDev() const;
    void SetStdDev(int32_t AValue);

protected:
    void FillNoise(int16_t* ASamples, int ACount, uint32_t& AState) override;

private:
    int32_t FMean = static_cast<int32_t>(MeanProperty.Default);
    int32_t FStdDev = static_cast<int32_t>(StdDevProperty.Default);
};

namespace SNGaussGen {
// Registers TSNGaussGen with the component registry.
void RegisterPkg();
} // namespace SNGaussGen

SN_API_END
} // namespace Sonorix
