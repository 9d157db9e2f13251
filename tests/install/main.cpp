// SPDX-License-Identifier: MIT
// Smallest program against an installed SonorixPkg: proves the headers, the
// library and the package files fit together by wiring real components.
#include <SonorixPkg.h>

#include <cstdio>

int main()
{
    using namespace Sonorix;
    RegisterAllComponents();

    // A component created by class name, configured as text.
    TLockComponentPtr LComponent = TSNRegistry::Instance().Create("TSNAmplifier");
    SetPropertyText(*LComponent, "Coefficient", "0.5");
    auto& LAmplifier = static_cast<TSNAmplifier&>(*LComponent);

    // A feeding pin and a receiving pin of our own around it.
    int32_t LReceived = 0;
    TSNPNAudioSourcePin LFeed(nullptr, "Feed");
    TSNPNAudioSinkPin LSink(nullptr, "Sink");
    LSink.SetDispatch([&](TPNPin&, const IPNNotifyOperationPtr& AOperation) {
        if (auto* LBuffer = OperationAs<TPNSuppliedBufferOperation>(AOperation))
            LReceived = LBuffer->AudioBuffer->GetItem(0, 0);
        return true;
    });
    LFeed.Connect(LAmplifier.GetInputPin());
    LAmplifier.GetOutputPin().Connect(LSink);

    LFeed.SendStart(MakeWaveFormat(48000, 16, 1));
    ISNAudioBufferPtr LBuffer = TSNAudioBuffer::CreateSize(48000, 16, 1, 16);
    static_cast<int16_t*>(LBuffer->Modify())[0] = 1000;
    LFeed.SendBuffer(LBuffer);
    LFeed.SendStop();

    std::printf("1000 scaled by %s gives %d\n", GetPropertyText(LAmplifier, "Coefficient").c_str(), LReceived);
    return LReceived == 500 ? 0 : 1;
}
