// SPDX-License-Identifier: MIT
#pragma once

#include "SNExport.h"

#include "SNCommonSplitter.h"

#include <array>
#include <functional>

namespace Sonorix {
SN_API_BEGIN

enum TSNGoniometerVectorMode { gmCartesian, gmPolar };
extern const TEnumInfo TSNGoniometerVectorModeInfo;

// Turns the first two channels of a stream into the coordinates of a stereo
// vector scope, from samples normalised to -1 .. 1.
//
// Pins: InputPin (audio in); OutputPins[0] and [1], real-number buffers, one
// of each per pair of channel buffers. gmCartesian: pin "X" carries the side
// signal (R - L) / 2 and pin "Y" the mid signal (L + R) / 2. gmPolar: pin
// "Magnitude" carries sqrt(L^2 + R^2) / sqrt(2) and pin "Phase" atan2(R, L) -
// pi/4 in radians. A mono stream gives no output.
//
//   TSNGoniometer LScope;
//   LScope.SetMode(gmPolar);                        // pins become Magnitude, Phase
//   LSource.GetOutputPin().Connect(LScope.GetInputPin());
class TSNGoniometer : public TSNBasicCommonSplitter {
public:
    static constexpr TEnumSpec<TSNGoniometerVectorMode> ModeProperty{
        .Name = "Mode", .Default = gmCartesian, .Info = &TSNGoniometerVectorModeInfo};

    TSNGoniometer();
    ~TSNGoniometer() override;

    static const TClassDescription& ClassDescription();
    const TClassDescription& GetClassDescription() const override { return ClassDescription(); }

    TSNGoniometerVectorMode GetMode() const;
    // Renames the two output pins at once.
    void SetMode(TSNGoniometerVectorMode AValue);

protected:
    bool HasChannelEvent(int32_t AChannel) override;
    bool GetNormalize() override { return true; }
    void SplitBuffer(int32_t AChannel, const IDGRealBufferPtr& ABuffer) override;
    std::unique_ptr<TPNPin> CreateSourcePin(int AIndex) override;

private:
    void NamePins();

    TSNGoniometerVectorMode FMode = ModeProperty.Default;
    std::array<IDGRealBufferPtr, 2> FBuffers;
};

namespace SNGoniometer {
// Registers TSNGoniometer with the component registry.
void RegisterPkg();
} // namespace SNGoniometer

SN_API_END
} // namespace Sonorix
