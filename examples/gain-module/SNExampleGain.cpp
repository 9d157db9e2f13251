// SPDX-License-Identifier: MIT
// An example component module: TSNExampleGain scales a stream by a gain in
// decibels, sample by sample at each width. Built against the installed
// package headers only.
#include <SNCommonFilter.h>
#include <SNModule.h>
#include <SNSampleAccess.h>

#include <cmath>
#include <cstddef>
#include <cstdint>

namespace {

using namespace Sonorix;

class TSNExampleGain : public TSNCommonFilter {
public:
    // Default, range and the legacy name, written once: the field, the setter's
    // clamp, the registry and `sonorix inspect` all read them from here.
    static constexpr TRealSpec GainDBProperty{.Name = "GainDB",
                                              .Default = 0.0,
                                              .Min = -120.0,
                                              .Max = 40.0,
                                              .DesignMin = -60.0,
                                              .DesignMax = 20.0,
                                              .OldName = "Gain"}; // pipelines that still say Gain=-6

    static const TClassDescription& ClassDescription()
    {
        static const TClassDescription LDescription = [] {
            TClassDescription LClass;
            ApplyCatalogue(LClass, "TSNExampleGain"); // names from the row the module adds
            LClass.Parent = &TSNCommonFilter::ClassDescription();
            LClass.Properties = {
                DescribeProperty(GainDBProperty, &TSNExampleGain::GetGainDB, &TSNExampleGain::SetGainDB)};
            LClass.Factory = [] { return std::make_shared<TSNExampleGain>(); };
            return LClass;
        }();
        return LDescription;
    }
    const TClassDescription& GetClassDescription() const override { return ClassDescription(); }

    // Setters run on any thread: store under FOutputLock (NotifySetter takes
    // it), which the processing step's getter takes too.
    double GetGainDB() const { return FOutputLock->Getter(FGainDB); }
    void SetGainDB(double AValue)
    {
        FOutputLock->NotifySetterMinMax(FGainDB, AValue, *GainDBProperty.Min, *GainDBProperty.Max);
    }

protected:
    // Each sample is read before it is written and the size stays: the input
    // buffer itself may be the output when no one else holds it.
    bool ProcessesInPlace() const override { return true; }

    // Runs with FInputLock held; AOutBuffer holds the input's samples.
    void FilterInternalOperation(const ISNAudioBufferPtr& /*AInBuffer*/, ISNAudioBufferPtr& AOutBuffer,
                                 bool& /*ASendOutputData*/) override
    {
        const double LFactor = std::pow(10.0, GetGainDB() / 20.0); // one read of the property per buffer
        uint8_t* LSamples = AOutBuffer->ByteWrite();
        const size_t LCount = size_t{AOutBuffer->GetSize()} * AOutBuffer->GetChannels();
        VisitSampleWidth(AOutBuffer->GetBitsPerSample(), [&](auto AWidth) {
            using TWidth = decltype(AWidth);
            for (size_t LIndex = 0; LIndex < LCount; ++LIndex)
                WriteSample<TWidth>(LSamples, LIndex, ReadSample<TWidth>(LSamples, LIndex) * LFactor);
        });
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
