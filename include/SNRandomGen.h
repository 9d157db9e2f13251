// SPDX-License-Identifier: MIT
#pragma once

#include "SNCommonGen.h"

namespace Sonorix {

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
class TSNRandomGen final : public TSNCommonGen {
public:
    static constexpr TIntSpec LowProperty{.Name = "Low", .Default = -20000};
    static constexpr TIntSpec HighProperty{.Name = "High", .Default = 20000};
    static constexpr TIntSpec SeedProperty{
        .Name = "Seed", .Default = 31192, .Min = 0, .Max = 0xFFFFFFFF, .TypeName = "uint32"};

    ~TSNRandomGen() override;

    static const TClassDescription& ClassDescription();
    const TClassDescription& GetClassDescription() const override { return ClassDescription(); }

    int32_t GetLow() const;
    void SetLow(int32_t AValue);
    int32_t GetHigh() const;
    void SetHigh(int32_t AValue);
    uint32_t GetSeed() const;
    void SetSeed(uint32_t AValue);

protected:
    void StartStream(int32_t ABufferSize) override;
    void Generate(ISNAudioBufferPtr& ASignal, bool& APopulated, bool& AFinished) override;

private:
    int32_t FLow = static_cast<int32_t>(LowProperty.Default);
    int32_t FHigh = static_cast<int32_t>(HighProperty.Default);
    uint32_t FSeed = static_cast<uint32_t>(SeedProperty.Default);
    uint32_t FStateSeed = static_cast<uint32_t>(SeedProperty.Default);
};

namespace SNRandomGen {
// Registers TSNRandomGen with the component registry.
void RegisterPkg();
} // namespace SNRandomGen

} // namespace Sonorix
