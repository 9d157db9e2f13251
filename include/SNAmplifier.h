// SPDX-License-Identifier: MIT
#pragma once

#include "SNExport.h"

#include "SNCommonFilter.h"

namespace Sonorix {
SN_API_BEGIN

// Scales every sample of a stream by Coefficient.
//
// Pins: InputPin (audio in), OutputPin (audio out). Every width (8, 16, 24,
// 32 bits) is scaled, with rounding to nearest and saturation; a change of
// Coefficient applies from the next buffer.
//
//   TSNAmplifier LAmp;
//   LAmp.SetCoefficient(0.5);                     // -6 dB
//   LSource.GetOutputPin().Connect(LAmp.GetInputPin());
class TSNAmplifier : public TSNCommonFilter {
public:
    static constexpr TRealSpec CoefficientProperty{
        .Name = "Coefficient", .Default = 1.0, .Min = 0.0, .DesignMin = 0.0, .DesignMax = 100.0};

    static const TClassDescription& ClassDescription();
    const TClassDescription& GetClassDescription() const override { return ClassDescription(); }

    // The factor, at or above 0 (a negative value is stored as 0).
    double GetCoefficient() const;
    void SetCoefficient(double AValue);

protected:
    void FilterInternalOperation(const ISNAudioBufferPtr& AInBuffer, ISNAudioBufferPtr& AOutBuffer,
                                 bool& ASendOutputData) override;
    bool ProcessesInPlace() const override { return true; }

private:
    double FCoefficient = CoefficientProperty.Default;
};

namespace SNAmplifier {
// Registers TSNAmplifier with the component registry.
void RegisterPkg();
} // namespace SNAmplifier

SN_API_END
} // namespace Sonorix
