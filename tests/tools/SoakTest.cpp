// SPDX-License-Identifier: MIT
// The soak: an hour of audio in virtual time from 8 generators through a
// mixer, a buffer queue and the libav logger into a WAV file, with the
// process's resident memory (and under AddressSanitizer the bytes the
// allocator holds) sampled at every minute of audio. Disabled by default:
// scripts/soak.sh runs it against build/asan. SONORIX_SOAK_SECONDS shortens
// or lengthens the run.
#include "Graph.h"
#include "PipelineParser.h"
#include "Runner.h"
#include "SonorixPkg.h"
#include "codecs/LAVTestSupport.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <thread>
#include <unistd.h>

#if defined(__SANITIZE_ADDRESS__)
// The sanitizer runtime's allocator statistics (GCC ships no header for it).
extern "C" size_t __sanitizer_get_current_allocated_bytes();
#endif

using namespace Sonorix;
using namespace Sonorix::Test::Codecs;

namespace {

struct TSample {
    int64_t Minute;
    long RssKiB;
    long AllocatedKiB; // -1 without AddressSanitizer
};

TSample Sample(int64_t AMinute)
{
    long LPages = 0, LResident = 0;
    std::ifstream("/proc/self/statm") >> LPages >> LResident;
#if defined(__SANITIZE_ADDRESS__)
    const long LAllocated = static_cast<long>(__sanitizer_get_current_allocated_bytes() / 1024);
#else
    const long LAllocated = -1;
#endif
    return {AMinute, LResident * (sysconf(_SC_PAGESIZE) / 1024), LAllocated};
}

} // namespace

TEST(SoakTest, DISABLED_AnHourThroughMixerQueueAndLoggerKeepsMemoryFlat)
{
    RegisterAllComponents();
    const char* LSecondsText = std::getenv("SONORIX_SOAK_SECONDS");
    const int64_t LSeconds = LSecondsText ? std::atoll(LSecondsText) : 3600;
    ASSERT_GE(LSeconds, 180);
    TTempDir LDir;
    const std::string LWav = LDir.Path("soak.wav");
    // Every kind of generator, at different frequencies and levels.
    std::string LText;
    int LInput = 0;
    for (const char* LGenerator :
         {"TSNSignalGen Frequency=440", "TSNSignalGen Frequency=1000 SignalType=atTriangle",
          "TSNSignalGen Frequency=55 SignalType=atSquare", "TSNRandomGen", "TSNGaussGen",
          "TSNSignalGen Frequency=7000 SignalType=atSawToothUp", "TSNRandomGen Low=-1000 High=1000 Seed=7",
          "TSNSignalGen Frequency=3 Amplitude=20000"})
        LText += std::string(LGenerator) + " ! mix.InputPins[" + std::to_string(LInput++) + "]  ";
    LText += "TSNAudioMixer name=mix Channels.Count=8 ! TSNBufferQueue ! TSNLAVAudioLogger FileName='" + LWav + "'";
    const auto LGraph = Cli::TGraph::Build(Cli::ParsePipeline(LText));
    Cli::TRunOptions LOptions;
    LOptions.Duration = static_cast<double>(LSeconds);
    LOptions.Quiet = true;
    std::ostringstream LOut, LErr;
    Cli::TRunner LRunner(*LGraph, LOptions, LOut, LErr);

    std::vector<TSample> LSamples;
    std::atomic<bool> LDone{false};
    std::thread LSampler([&] {
        int64_t LMinute = -1;
        while (!LDone.load()) {
            const int64_t LNow = TDGTimeline::Now() / (60 * DGTimeUnitsPerSecond);
            if (LNow != LMinute)
                LSamples.push_back(Sample(LMinute = LNow));
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
        }
    });
    const auto LStart = std::chrono::steady_clock::now();
    const int LCode = LRunner.Run();
    const double LWall = std::chrono::duration<double>(std::chrono::steady_clock::now() - LStart).count();
    LDone = true;
    LSampler.join();
    ASSERT_EQ(LCode, 0) << LErr.str();

    const TProbe LProbe = Probe(LWav);
    EXPECT_TRUE(!HaveFfmpeg() || std::abs(LProbe.Duration - static_cast<double>(LSeconds)) < 0.1) << LProbe.Duration;
    std::printf("soak: %lld s of audio in %.1f s of wall time, %zu samples, file %.1f s\n",
                static_cast<long long>(LSeconds), LWall, LSamples.size(), LProbe.Duration);
    std::printf("soak: minute rss_kib allocated_kib\n");
    for (const TSample& LSample : LSamples)
        std::printf("soak: %lld %ld %ld\n", static_cast<long long>(LSample.Minute), LSample.RssKiB,
                    LSample.AllocatedKiB);

    // Flat after the first minute: from the sample at minute 1 on, the
    // allocator holds no more than it did then (plus slack for buffers in
    // flight), and the resident set grows by at most a few MiB.
    ASSERT_GE(LSamples.size(), 3U);
    const auto LFirst = std::find_if(LSamples.begin(), LSamples.end(), [](const TSample& S) { return S.Minute >= 1; });
    ASSERT_NE(LFirst, LSamples.end());
    for (auto LAt = LFirst; LAt != LSamples.end(); ++LAt) {
        EXPECT_LE(LAt->RssKiB, LFirst->RssKiB + 8 * 1024) << "minute " << LAt->Minute;
        EXPECT_TRUE(LAt->AllocatedKiB < 0 || LAt->AllocatedKiB <= LFirst->AllocatedKiB + 1024) << "minute " << LAt->Minute;
    }
}
