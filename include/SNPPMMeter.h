// SPDX-License-Identifier: MIT
#pragma once

#include "SNExport.h"

#include "SNVUMeter.h"

namespace Sonorix {
SN_API_BEGIN

// Peak programme meter: after the 20 Hz DC blocker, each channel's level
// jumps to any sample's magnitude above it and otherwise falls by level / N
// per sample, N = rate x HalfLife / 1000, so that it has fallen to 1/e of a
// peak after HalfLife milliseconds; a level at or below 0.005 drops to 0. The
// value of a period is the level at its end. Held levels survive a new
// stream.
//
// Pins: InputPin (audio in), OutputPins (one level per channel).
//
//   TSNPPMMeter LMeter;
//   LMeter.SetHalfLife(1500);
//   LSource.GetOutputPin().Connect(LMeter.GetInputPin());
class TSNPPMMeter : public TSNCommonMeter {
public:
    static constexpr TIntSpec HalfLifeProperty{.Name = "HalfLife", .Default = 1000};

    TSNPPMMeter();
    ~TSNPPMMeter() override;
    static const TClassDescription& ClassDescription();
    const TClassDescription& GetClassDescription() const override { return ClassDescription(); }

    int32_t GetHalfLife() const;
    // Milliseconds; stored as given.
    void SetHalfLife(int32_t AValue);

protected:
    void Reset(const WAVEFORMATEXTENSIBLE* AWaveFormat) override;
    void GetMeterValue(TSNChannelReals& AValues) override;

private:
    int32_t FHalfLife = static_cast<int32_t>(HalfLifeProperty.Default);
    TSNChannelReals FValues{};
    std::unique_ptr<TSNMeterDCBlockers> FDCBlockers;
};

namespace SNPPMMeter {
// Registers TSNPPMMeter with the component registry.
void RegisterPkg();
} // namespace SNPPMMeter

SN_API_END
} // namespace Sonorix
