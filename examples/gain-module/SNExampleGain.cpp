// SPDX-License-Identifier: MIT
// An example component module: TSNExampleGain scales a stream by a gain in
// decibels. Built against the installed package headers only.
#include <SNCommonFilter.h>
#include <SNModule.h>

#include <cmath>

namespace {

using namespace Sonorix;

class TSNExampleGain : public TSNCommonFilter {
public:
    static constexpr TRealSpec GainDBProperty{
        .Name = "GainDB", .Default = 0.0, .Min = -120.0, .Max = 40.0, .DesignMin = -60.0, .DesignMax = 20.0};

    static const TClassDescription& ClassDescription()
    {
        static const TClassDescription LDescription = [] {
            TClassDescription LClass;
            ApplyCatalogue(LClass, "TSNExampleGain"); // names from the row the module adds
            LClass.Parent = &TSNCommonFilter::ClassDescription();
            LClass.AutoInitPropertyFields = true;
            LClass.Properties = {
                DescribeProperty(GainDBProperty, &TSNExampleGain::GetGainDB, &TSNExampleGain::SetGainDB)};
            LClass.Factory = [] { return std::make_shared<TSNExampleGain>(); };
            return LClass;
        }();
        return LDescription;
    }
    const TClassDescription& GetClassDescription() const override { return ClassDescription(); }

    double GetGainDB() const { return FOutputLock->Getter(FGainDB); }
    void SetGainDB(double AValue)
    {
        FOutputLock->NotifySetterMinMax(FGainDB, AValue, *GainDBProperty.Min, *GainDBProperty.Max);
    }

protected:
    void FilterInternalOperation(const ISNAudioBufferPtr& AInBuffer, ISNAudioBufferPtr& AOutBuffer,
                                 bool& /*ASendOutputData*/) override
    {
        AOutBuffer->Assign(*AInBuffer);
        AOutBuffer->MultiplyByReal(std::pow(10.0, GetGainDB() / 20.0));
    }

private:
    double FGainDB = GainDBProperty.Default;
};

} // namespace

extern "C" __attribute__((visibility("default"))) int SonorixRegisterModule(int AHostApiVersion,
                                                                           TSNModuleRegistrar* ARegistrar)
{
    if (AHostApiVersion != CSonorixModuleApiVersion)
        return CSonorixModuleApiVersion; // another interface: add nothing
    ARegistrar->AddClass({"SNExampleGain", "TSNExampleGain", TPaletteCategory::pcFilters, "Example Gain in Decibels",
                          &TSNExampleGain::ClassDescription});
    return CSonorixModuleApiVersion;
}
