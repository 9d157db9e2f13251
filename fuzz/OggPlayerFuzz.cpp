// SPDX-License-Identifier: MIT
// Files as the file players read them: the input is written to a file, which
// the player opens (the Ogg player scanning every page) and plays to its end,
// with Loop and a seek thrown in when the first byte asks for them. Input that
// starts as a RIFF, RF64 or FLAC file goes to the libav player in virtual
// time: its WAV and FLAC readers take what they fully understand and leave
// the rest to libav.
// Bad files must be refused through OnError, never with a crash, a hang or
// unbounded memory.
#include "CVPlainClass.h"
#include "CVThreading.h"
#include "DGClock.h"
#include "PNPins.h"
#include "SNLAVAudioPlayer.h"
#include "SNOggPlayer.h"

#include <dirent.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <exception>
#include <string>
#include <thread>

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

// Under /dev/shm when there is one: a file on disk costs a journalled
// truncate and write per execution, which outweighs a short file's playing.
// Removed at exit: under /dev/shm a stale file holds memory.
struct TInputFile {
    std::string Name = std::string(access("/dev/shm", W_OK) == 0 ? "/dev/shm" : "/tmp") + "/sonorix-oggplayerfuzz-" +
                       std::to_string(getpid()) + ".ogg";
    ~TInputFile() { unlink(Name.c_str()); }
};

const std::string& FileName()
{
    static const TInputFile LFile;
    return LFile.Name;
}

class TFuzzAudioSink : public TPersistent {
public:
    TFuzzAudioSink() : Pin(this, "InputPin")
    {
        Pin.SetDispatch([](TPNPin&, const IPNNotifyOperationPtr&) { return true; });
    }
    static const TClassDescription& ClassDescription() { return PlainClassDescription<"TFuzzAudioSink">(); }
    const TClassDescription& GetClassDescription() const override { return ClassDescription(); }
    TSNPNAudioSinkPin Pin;
};

size_t ThreadCount()
{
    size_t LCount = 0;
    if (DIR* LDir = opendir("/proc/self/task")) {
        while (const dirent* LEntry = readdir(LDir))
            LCount += LEntry->d_name[0] != '.';
        closedir(LDir);
    }
    return LCount;
}

// The virtual scheduler's thread is detached and ends just after the run is
// idle, freeing its state and thread-local memory as it goes. Waited for
// here: libFuzzer counts an execution's mallocs and frees, and every
// mismatch costs a full leak scan of the heap.
void WaitForThreadsToEnd(size_t ACount)
{
    const auto LDeadline = std::chrono::steady_clock::now() + std::chrono::seconds(1);
    while (ThreadCount() > ACount && std::chrono::steady_clock::now() < LDeadline)
        std::this_thread::sleep_for(std::chrono::microseconds(50));
}

// Plays until the end, or when looping for two rounds' time (at most 64
// buffers').
void PlayWav(uint8_t AMode)
{
    TSNLAVAudioPlayer LPlayer;
    LPlayer.SetOnError([](TPersistent&, const std::string&, uint32_t, bool& AHandled) { AHandled = true; });
    TFuzzAudioSink LSink;
    LPlayer.GetOutputPin().Connect(LSink.Pin);
    LPlayer.SetBufferSize(1 + AMode % 64 * 64);
    LPlayer.SetLoop(AMode & 0x80);
    TDGVirtualTimeScope LVirtual;
    try {
        LPlayer.SetFileName(FileName());
        LPlayer.StartSource();
        if (AMode & 0x40)
            LPlayer.SetCurrentSample(AMode & 0x0f);
        // Two rounds of a short file are as good as 64 buffers of it.
        const int64_t LBufferSize = std::max<int64_t>(LPlayer.GetBufferSize(), 1);
        const int64_t LSamples = LPlayer.GetSamplesCount();
        const int64_t LBuffers = LSamples > 0 ? std::min<int64_t>(64, 2 * (LSamples / LBufferSize) + 3) : 64;
        const int64_t LBuffer = 10000000LL * LBufferSize / std::max<uint32_t>(LPlayer.GetSampleRate(), 1);
        TDGClockGen LStopper(LBuffers * std::max<int64_t>(LBuffer, 1), [&] {
            LPlayer.StopSource();
            LStopper.Stop();
        });
        LStopper.Start();
        TDGTimeline::WaitIdle();
        LStopper.Stop();
        LPlayer.StopSource();
    } catch (const std::exception&) {
    }
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
    if (ASize >= 5 && (std::memcmp(AData + 1, "RIFF", 4) == 0 || std::memcmp(AData + 1, "RF64", 4) == 0 ||
                       std::memcmp(AData + 1, "fLaC", 4) == 0)) {
        const size_t LThreads = ThreadCount();
        PlayWav(LMode);
        MainThread().ProcessMessages();
        WaitForThreadsToEnd(LThreads);
        return 0;
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
