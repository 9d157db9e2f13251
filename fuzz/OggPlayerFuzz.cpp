// SPDX-License-Identifier: MIT
// Files as the Ogg player reads them: the input is written to a file, which
// the player opens (scanning every page) and plays to its end, packet by
// packet, with Loop and a seek thrown in when the first byte asks for them.
// Bad files must be refused through OnError, never with a crash, a hang or
// unbounded memory.
#include "CVPlainClass.h"
#include "CVThreading.h"
#include "PNPins.h"
#include "SNOggPlayer.h"

#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <exception>
#include <string>

using namespace Sonorix;

namespace {

class TFuzzSink : public TPersistent {
public:
    TFuzzSink() : Pin(this, "InputPin")
    {
        Pin.SetDispatch([](TPNPin&, const IPNNotifyOperationPtr&) { return true; });
    }
    static const TClassDescription& ClassDescription() { return PlainClassDescription<"TFuzzSink">(); }
    const TClassDescription& GetClassDescription() const override { return ClassDescription(); }
    TDGPNBinarySinkPin Pin;
};

const std::string& FileName()
{
    static const std::string LName = "/tmp/sonorix-oggplayerfuzz-" + std::to_string(getpid()) + ".ogg";
    return LName;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* AData, size_t ASize)
{
    if (ASize < 1)
        return 0;
    const uint8_t LMode = AData[0];
    if (FILE* LFile = std::fopen(FileName().c_str(), "wb")) {
        std::fwrite(AData + 1, 1, ASize - 1, LFile);
        std::fclose(LFile);
    }
    TSNOggPlayer LPlayer;
    LPlayer.SetOnError([](TPersistent&, const std::string&, uint32_t, bool& AHandled) { AHandled = true; });
    TFuzzSink LSink;
    LPlayer.GetOutputPin().Connect(LSink.Pin);
    LPlayer.SetClockSource(csExternal);
    LPlayer.SetBufferSize(1 + LMode % 64 * 64);
    LPlayer.SetLoop(LMode & 0x80);
    try {
        LPlayer.SetFileName(FileName());
        LPlayer.StartSource();
        if (LMode & 0x40)
            LPlayer.SetCurrentSample(LMode & 0x0f);
        // Every packet of the file and a second round when looping.
        const int64_t LPumps = 2 * LPlayer.GetSamplesCount() + 4;
        for (int64_t I = 0; I < LPumps && LPlayer.IsSourceRunning(); ++I)
            LPlayer.Pump();
        LPlayer.StopSource();
    } catch (const std::exception&) {
    }
    // The end of the file is handed to the main thread.
    MainThread().ProcessMessages();
    return 0;
}
