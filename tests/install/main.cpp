// SPDX-License-Identifier: MIT
// Smallest program against an installed SonorixPkg, and the README's first
// program: a generator created by class name, an amplifier and a pin of our
// own, one second of audio in virtual time.
#include <SonorixPkg.h>

#include <algorithm>
#include <cstdio>

int main()
{
    using namespace Sonorix;
    RegisterAllComponents();
    TLockComponentPtr LComponent = TSNRegistry::Instance().Create("TSNSignalGen");
    SetPropertyText(*LComponent, "SignalType", "atTriangle");    // properties as text...
    auto& LGen = static_cast<TSNSignalGen&>(*LComponent);
    LGen.SetFrequency(1000);                                    // ...or in code
    TSNAmplifier LAmplifier;
    LAmplifier.SetCoefficient(0.5);

    int32_t LPeak = 0;                                          // a sink pin of our own
    uint64_t LFrames = 0;
    TSNPNAudioSinkPin LSink(nullptr, "Sink");
    LSink.SetDispatch([&](TPNPin&, const IPNNotifyOperationPtr& AOperation) {
        if (auto* LBuffer = OperationAs<TPNSuppliedBufferOperation>(AOperation)) {
            for (uint32_t F = 0; F < LBuffer->AudioBuffer->GetSize(); ++F)
                LPeak = std::max(LPeak, LBuffer->AudioBuffer->GetItem(F, 0));
            LFrames += LBuffer->AudioBuffer->GetSize();
        }
        return true;
    });
    LGen.GetOutputPin().Connect(LAmplifier.GetInputPin());
    LAmplifier.GetOutputPin().Connect(LSink);

    TDGVirtualTimeScope LVirtual;                               // as fast as the machine allows
    TDGClockGen LStop(DGTimeUnitsPerSecond, [&] { LGen.StopSource(); LStop.Stop(); });
    {
        TDGWorkScope LHold;                                     // both clocks start at time 0
        LStop.Start();
        LGen.StartSource();                                     // 44100 Hz, 2 channels, 1024 frames
    }
    TDGTimeline::WaitIdle();                                    // until the stop went through
    std::printf("%llu frames, peak %d\n", static_cast<unsigned long long>(LFrames), LPeak);
    return LFrames == 44 * 1024 && LPeak == 10000 ? 0 : 1;      // prints "45056 frames, peak 10000"
}
