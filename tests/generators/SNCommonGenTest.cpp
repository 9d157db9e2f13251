// SPDX-License-Identifier: MIT
// The generator base: pumping on its own clock or on a downstream master
// pump, exact frame counts in virtual time, sample widths, start and stop.
#include "CVThreading.h"
#include "DGClock.h"
#include "GeneratorTestKit.h"
#include "SNCommonGen.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstring>

using namespace Sonorix;
using Sonorix::Test::TTestCollector;
using namespace Sonorix::Test;

namespace {

// Writes a counting signal: sample n of the stream is int16(n + FOffset).
// Records the calls the base makes and can fail or finish on request.
class TCountingGen final : public TSNCommonGen {
public:
    ~TCountingGen() override { StopSource(); }

    int Starts = 0;
    double Rate = 0;
    int32_t BufferSize = 0;
    std::atomic<int> Steps{0};
    // The steps (1-based, 0: none) at which Generate throws, marks the last
    // buffer, sends nothing, or stops the stream itself.
    int ThrowAt = 0, FinishAt = 0, SkipAt = 0, StopAt = 0;
    int16_t Offset = 0;

protected:
    void IntStart() override
    {
        ++Starts;
        FNext = 0;
        TSNCommonGen::IntStart();
    }
    void SetRate(double ARate) override { Rate = ARate; }
    void StartStream(int32_t ABufferSize) override
    {
        TSNCommonGen::StartStream(ABufferSize);
        BufferSize = ABufferSize;
    }
    void Generate(ISNAudioBufferPtr& ASignal, bool& APopulated, bool& AFinished) override
    {
        const int LStep = ++Steps;
        if (LStep == ThrowAt)
            throw ERangeError("Range check error: counting failed at step " + std::to_string(LStep));
        auto* LBlock = static_cast<int16_t*>(FBlock->Write());
        const size_t LCount = FBlock->GetSize() / 2;
        for (size_t I = 0; I < LCount; ++I)
            LBlock[I] = static_cast<int16_t>(FNext + I + static_cast<uint64_t>(Offset));
        FNext += LCount;
        PopulateAudio(FBlock, ASignal);
        if (LStep == FinishAt)
            AFinished = true;
        if (LStep == SkipAt)
            APopulated = false;
        if (LStep == StopAt)
            StopSource();
    }

private:
    uint64_t FNext = 0;
};

// Every sample of every channel is the counting signal from 0 on (16-bit).
void ExpectCounting(const TTestCollector& ACollector, uint64_t AFrames)
{
    ASSERT_EQ(ACollector.Frames(), AFrames);
    uint64_t LFrame = 0;
    for (const ISNAudioBufferPtr& LBuffer : ACollector.Buffers())
        for (uint32_t F = 0; F < LBuffer->GetSize(); ++F, ++LFrame)
            for (uint32_t C = 0; C < LBuffer->GetChannels(); ++C)
                ASSERT_EQ(LBuffer->GetItem(F, C), static_cast<int16_t>(LFrame)) << "frame " << LFrame;
}

} // namespace

TEST(SNCommonGenTest, OwnClockSendsOneBufferAtStartAndOnePerTick)
{
    TCountingGen LGen;
    TTestCollector LCollector;
    LGen.GetOutputPin().Connect(LCollector.GetInputPin());
    // 480 frames at 48000 Hz: a period of exactly 100000 units.
    SetFormat(LGen, 48000, 16, 2, 480);
    RunFor(LGen, 1.0);

    EXPECT_TRUE(LGen.IsPump());
    EXPECT_EQ(LGen.Starts, 1);
    EXPECT_EQ(LGen.Rate, 48000.0);
    EXPECT_EQ(LGen.BufferSize, 480);
    // Buffers at 0, 0.01, ..., 0.99 s: exactly one second of audio.
    ExpectCounting(LCollector, 48000);
    EXPECT_EQ(LGen.GetFramesSent(), 48000u);
    const auto LLog = LCollector.Log();
    ASSERT_GE(LLog.size(), 4u);
    EXPECT_EQ(std::vector(LLog.begin(), LLog.begin() + 3),
              (std::vector<std::string>{"TPNStartWaveOperation", "TPNPumpRequestOperation", "TPNStartPumpOperation"}));
    EXPECT_EQ(LLog.back(), "TPNStopOperation");
    EXPECT_EQ(LCollector.Stops(), 1);
    ASSERT_EQ(LCollector.Starts().size(), 1u);
    const WAVEFORMATEXTENSIBLE LFormat = LCollector.Starts()[0];
    EXPECT_EQ(LFormat.Format.nSamplesPerSec, 48000u);
    EXPECT_EQ(LFormat.Format.nChannels, 2u);
    EXPECT_EQ(LFormat.Format.wBitsPerSample, 16u);
}

TEST(SNCommonGenTest, FollowsTheTicksOfADownstreamMasterPump)
{
    TCountingGen LGen;
    TTestPump LPump;
    LGen.GetOutputPin().Connect(LPump.GetInputPin());
    SetFormat(LGen, 22050, 16, 1, 100);
    TDGVirtualTimeScope LVirtual;
    LGen.StartSource();
    EXPECT_FALSE(LGen.IsPump());
    EXPECT_EQ(LPump.PumpObject, &LPump) << "the start-pump names the winner";
    TDGTimeline::WaitIdle();
    EXPECT_EQ(LPump.Collector().Frames(), 0u) << "nothing before the first tick, no clock of its own";

    for (int I = 0; I < 7; ++I)
        EXPECT_TRUE(LPump.Tick());
    ExpectCounting(LPump.Collector(), 700);
    LGen.StopSource();
    EXPECT_FALSE(LPump.Tick()) << "a stopped generator ignores ticks";
    EXPECT_EQ(LPump.Collector().Frames(), 700u);
    EXPECT_EQ(LPump.Collector().Stops(), 1);
    EXPECT_EQ(LPump.Collector().Log().back(), "TPNStopOperation");
}

TEST(SNCommonGenTest, AStrongerClaimOfTheSameTypeWinsByPriority)
{
    TDGVirtualTimeScope LVirtual;
    for (const uint32_t LDownstream : {4u, 6u}) {
        // Same type: the generator (priority 5) stays the pump over a lower priority.
        const bool LOwn = LDownstream < 5;
        TCountingGen LGen;
        LGen.GetMasterPumping().SetPriority(5);
        TTestPump LPump(ptSoftware, LDownstream);
        LGen.GetOutputPin().Connect(LPump.GetInputPin());
        LGen.StartSource();
        EXPECT_EQ(LGen.IsPump(), LOwn) << LDownstream;
        EXPECT_EQ(LPump.PumpObject, LOwn ? static_cast<TPersistent*>(&LGen) : &LPump);
        // The own clock runs on the virtual timeline's thread: by now it may
        // have sent more than the buffer of audio time 0.
        if (LOwn) {
            EXPECT_GE(LPump.Collector().Buffers().size(), 1u) << "the buffer of audio time 0";
            EXPECT_FALSE(LPump.Tick()) << "ticks are ignored while the own clock runs";
        }
        LGen.StopSource();
    }
    {
        // Without a claim of its own and none downstream, nobody pumps.
        TCountingGen LGen;
        LGen.GetMasterPumping().SetEnabled(false);
        TTestPump LPump;
        LPump.SetClaims(false);
        LGen.GetOutputPin().Connect(LPump.GetInputPin());
        LGen.StartSource();
        EXPECT_FALSE(LGen.IsPump());
        EXPECT_EQ(LPump.PumpObject, nullptr);
        TDGTimeline::WaitIdle();
        EXPECT_TRUE(LPump.Collector().Buffers().empty());
        EXPECT_TRUE(LPump.Tick()) << "it still follows ticks that come";
        EXPECT_EQ(LPump.Collector().Frames(), 1024u);
        LGen.StopSource();
    }
    TDGTimeline::WaitIdle();
}

TEST(SNCommonGenTest, PopulateAudioDuplicatesAndShiftsTheBlockIntoEveryWidth)
{
    for (const int LBits : {8, 16, 24, 32})
        for (const int LChannels : {1, 2, 3}) {
            SCOPED_TRACE(testing::Message() << LBits << " bits, " << LChannels << " channels");
            TCountingGen LGen;
            LGen.Offset = -3; // values -3, -2, -1, 0, 1, ... cross zero in the first buffer
            TTestPump LPump;
            LGen.GetOutputPin().Connect(LPump.GetInputPin());
            SetFormat(LGen, 8000, LBits, LChannels, 7);
            LGen.StartSource();
            LPump.Tick();
            // Extremes: the block's values are shifted with the generator's offset.
            LGen.Offset = static_cast<int16_t>(-32768 - 14);
            LPump.Tick();
            LGen.StopSource();

            const auto LBuffers = LPump.Collector().Buffers();
            ASSERT_EQ(LBuffers.size(), 2u);
            for (size_t B = 0; B < 2; ++B) {
                const ISNAudioBuffer& LBuffer = *LBuffers[B];
                ASSERT_EQ(LBuffer.GetBitsPerSample(), static_cast<uint32_t>(LBits));
                ASSERT_EQ(LBuffer.GetChannels(), static_cast<uint32_t>(LChannels));
                ASSERT_EQ(LBuffer.GetSize(), 7u);
                for (uint32_t F = 0; F < 7; ++F) {
                    const int32_t LSample = B == 0 ? int16_t(F - 3) : int16_t(-32768 + F - 7);
                    const int32_t LExpected = LBits == 8 ? (LSample >> 8) + 128 : LSample * (1 << (LBits - 16));
                    for (uint32_t C = 0; C < LBuffer.GetChannels(); ++C)
                        EXPECT_EQ(LBuffer.GetItem(F, C), LExpected) << "buffer " << B << " frame " << F << " channel " << C;
                }
            }
        }
}

TEST(SNCommonGenTest, PopulateAudioConvertsWhatBothHold)
{
    // A block shorter than the buffer fills its frames and leaves the rest.
    class TShortBlock final : public TSNCommonGen {
    public:
        ~TShortBlock() override { StopSource(); }
        void Generate(ISNAudioBufferPtr& ASignal, bool&, bool&) override
        {
            auto LBlock = TDGBlockBuffer::CreateSize(4);
            const int16_t LValues[2] = {1000, -1000};
            std::memcpy(LBlock->Write(), LValues, 4);
            PopulateAudio(LBlock, ASignal);
            ISNAudioBufferPtr LNone;
            PopulateAudio(LBlock, LNone);
            Created = LNone;
        }
        ISNAudioBufferPtr Created;
    } LGen;
    TTestPump LPump;
    LGen.GetOutputPin().Connect(LPump.GetInputPin());
    SetFormat(LGen, 8000, 24, 2, 5);
    LGen.StartSource();
    LPump.Tick();
    LGen.StopSource();
    const auto LBuffers = LPump.Collector().Buffers();
    ASSERT_EQ(LBuffers.size(), 1u);
    EXPECT_EQ(LBuffers[0]->GetItem(0, 1), 1000 * 256);
    EXPECT_EQ(LBuffers[0]->GetItem(1, 0), -1000 * 256);
    EXPECT_EQ(LBuffers[0]->GetItem(2, 0), 0);
    ASSERT_TRUE(LGen.Created);
    EXPECT_EQ(LGen.Created->GetSize(), 2u) << "a buffer made to the block's length";
    EXPECT_EQ(LGen.Created->GetBitsPerSample(), 24u);
    EXPECT_EQ(LGen.Created->GetItem(1, 1), -1000 * 256);
}

TEST(SNCommonGenTest, StopAndRestartBeginAFreshStream)
{
    TCountingGen LGen;
    TTestPump LPump;
    LGen.GetOutputPin().Connect(LPump.GetInputPin());
    SetFormat(LGen, 8000, 16, 1, 10);
    TDGVirtualTimeScope LVirtual;

    LGen.StartSource();
    LGen.StartSource(); // already running: nothing
    LPump.Tick();
    LPump.Tick();
    LGen.StopSource();
    LGen.StopSource(); // already stopped: nothing
    EXPECT_FALSE(LGen.IsSourceRunning());

    // A new format applies at the next start; the counting restarts.
    LGen.GetAudioFormat().SetBufferSize(4);
    LGen.StartSource();
    EXPECT_TRUE(LGen.IsSourceRunning());
    LPump.Tick();
    LGen.StopSource();

    EXPECT_EQ(LGen.Starts, 2);
    EXPECT_EQ(LGen.BufferSize, 4);
    const auto& LCollector = LPump.Collector();
    EXPECT_EQ(LCollector.Starts().size(), 2u);
    EXPECT_EQ(LCollector.Stops(), 2);
    const auto LBuffers = LCollector.Buffers();
    ASSERT_EQ(LBuffers.size(), 3u);
    EXPECT_EQ(LBuffers[1]->GetItem(9, 0), 19);
    EXPECT_EQ(LBuffers[2]->GetSize(), 4u);
    EXPECT_EQ(LBuffers[2]->GetItem(0, 0), 0);
    EXPECT_EQ(LGen.GetFramesSent(), 4u);
}

TEST(SNCommonGenTest, EnabledGatesAndDrivesTheStream)
{
    TCountingGen LGen;
    TTestPump LPump;
    LGen.GetOutputPin().Connect(LPump.GetInputPin());
    TDGVirtualTimeScope LVirtual;

    LGen.SetEnabled(false);
    LGen.StartSource();
    EXPECT_FALSE(LGen.IsSourceRunning()) << "a disabled generator does not start";
    LGen.SetEnabled(true);
    EXPECT_TRUE(LGen.IsSourceRunning()) << "switching it on starts it";
    LPump.Tick();
    LGen.SetEnabled(false);
    EXPECT_FALSE(LGen.IsSourceRunning()) << "switching it off stops it";
    EXPECT_EQ(LPump.Collector().Stops(), 1);
    EXPECT_EQ(LPump.Collector().Buffers().size(), 1u);

    // In design mode nothing starts.
    LGen.SetDesignMode(true);
    LGen.SetEnabled(true);
    EXPECT_FALSE(LGen.IsSourceRunning());
    LGen.SetDesignMode(false);

    // A start request from downstream starts it.
    EXPECT_TRUE(LPump.GetInputPin().Notify(std::make_shared<TPNStartOperation>()));
    EXPECT_TRUE(LGen.IsSourceRunning());
    LGen.StopSource();
}

TEST(SNCommonGenTest, AnErrorInGenerateStopsTheStreamAndIsReported)
{
    std::mutex LMutex;
    std::vector<std::string> LErrors;
    SetBackgroundErrorHandler([&](const std::string& AMessage) {
        std::lock_guard LGuard(LMutex);
        LErrors.push_back(AMessage);
    });
    TCountingGen LGen;
    LGen.SetName("gen");
    LGen.ThrowAt = 3;
    TTestCollector LCollector;
    LGen.GetOutputPin().Connect(LCollector.GetInputPin());
    SetFormat(LGen, 48000, 16, 1, 480);
    RunFor(LGen, 10.0);
    SetBackgroundErrorHandler(nullptr);

    EXPECT_FALSE(LGen.IsSourceRunning());
    ExpectCounting(LCollector, 2 * 480);
    EXPECT_EQ(LCollector.Stops(), 1);
    ASSERT_EQ(LErrors.size(), 1u);
    EXPECT_EQ(LErrors[0], "gen: Range check error: counting failed at step 3; the stream is stopped");
    EXPECT_EQ(LGen.GetLastError(), LErrors[0]);

    // The same under a master pump: the tick is answered, nothing is thrown.
    TCountingGen LFollower;
    LFollower.ThrowAt = 1;
    TTestPump LPump;
    LFollower.GetOutputPin().Connect(LPump.GetInputPin());
    LFollower.StartSource();
    EXPECT_NO_THROW(EXPECT_FALSE(LPump.Tick()));
    EXPECT_FALSE(LFollower.IsSourceRunning());
    EXPECT_EQ(LPump.Collector().Stops(), 1);
    EXPECT_NE(LFollower.GetLastError().find("counting failed at step 1"), std::string::npos);
}

TEST(SNCommonGenTest, GenerateMayFinishSkipOrStop)
{
    TCountingGen LGen;
    LGen.SkipAt = 2;
    LGen.FinishAt = 4;
    TTestCollector LCollector;
    LGen.GetOutputPin().Connect(LCollector.GetInputPin());
    SetFormat(LGen, 48000, 16, 1, 480);
    RunFor(LGen, 10.0);
    EXPECT_EQ(LGen.Steps.load(), 4);
    const auto LBuffers = LCollector.Buffers();
    ASSERT_EQ(LBuffers.size(), 3u) << "step 2 sent nothing, step 4 was the last";
    EXPECT_EQ(LBuffers[1]->GetItem(0, 0), 960) << "the skipped block was not sent";
    EXPECT_EQ(LCollector.Stops(), 1);
    EXPECT_EQ(LCollector.Log().back(), "TPNStopOperation");

    // A stop from within Generate is the last word.
    TCountingGen LStopping;
    LStopping.StopAt = 3;
    TTestCollector LStopped;
    LStopping.GetOutputPin().Connect(LStopped.GetInputPin());
    SetFormat(LStopping, 48000, 16, 1, 480);
    RunFor(LStopping, 10.0);
    EXPECT_EQ(LStopped.Buffers().size(), 2u) << "the buffer of the stopping step is not sent";
    EXPECT_EQ(LStopped.Stops(), 1);
    EXPECT_EQ(LStopped.Log().back(), "TPNStopOperation");
}
