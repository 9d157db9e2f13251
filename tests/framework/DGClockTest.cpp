// SPDX-License-Identifier: MIT
#include "DGClock.h"

#include "CVThreading.h"
#include "SNTypes.h"

#include <gtest/gtest.h>

#include <atomic>
#include <mutex>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

using namespace Sonorix;

namespace {

// Appends from several threads.
struct TLog {
    std::mutex Lock;
    std::vector<std::string> Entries;
    void Add(const std::string& AEntry)
    {
        std::lock_guard LGuard(Lock);
        Entries.push_back(AEntry);
    }
};

class TVirtualClockTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(MainThread().IsMainThread());
        ASSERT_EQ(TDGTimeline::Now(), 0);
    }
    void TearDown() override { TDGTimeline::WaitIdle(); }

    TDGVirtualTimeScope FScope;
};

} // namespace

TEST(TDGTimelineTest, RealTimeIsTheDefaultAndWorkCountIsBalancedAndNeverNegative)
{
    EXPECT_EQ(TDGTimeline::GetMode(), TDGTimeMode::tmRealTime);
    {
        TDGVirtualTimeScope LScope;
        EXPECT_EQ(TDGTimeline::GetMode(), TDGTimeMode::tmVirtual);
        EXPECT_EQ(TDGTimeline::Now(), 0);
    }
    EXPECT_EQ(TDGTimeline::GetMode(), TDGTimeMode::tmRealTime);
    TDGTimeline::BeginWork();
    {
        TDGWorkScope LScope;
        EXPECT_EQ(TDGTimeline::GetPendingWork(), 2);
    }
    TDGTimeline::EndWork();
    TDGTimeline::EndWork(); // Unmatched: ignored.
    EXPECT_EQ(TDGTimeline::GetPendingWork(), 0);
    EXPECT_TRUE(TDGTimeline::WaitIdle(std::chrono::milliseconds(0)));
}

TEST_F(TVirtualClockTest, ClocksInterleaveInDueTimeOrderTiesInStartOrder)
{
    struct TTick {
        int64_t Time;
        char Clock;
        bool operator==(const TTick&) const = default;
    };
    std::vector<TTick> LTicks;
    std::vector<TDGClockGen*> LAll;
    auto LOnTick = [&](char AName) {
        LTicks.push_back({TDGTimeline::Now(), AName});
        if (TDGTimeline::Now() > 30)
            for (TDGClockGen* LClock : LAll)
                LClock->Stop();
    };
    TDGClockGen LA(3, [&] { LOnTick('A'); });
    TDGClockGen LB(5, [&] { LOnTick('B'); });
    TDGClockGen LC(3, [&] { LOnTick('C'); });
    LAll = {&LA, &LB, &LC};
    {
        // Time stands still until all three run.
        TDGWorkScope LHold;
        LA.Start();
        LB.Start();
        LC.Start();
    }
    TDGTimeline::WaitIdle();
    // Merge by hand: every multiple up to 30, then A's tick at 33 stops all.
    std::vector<TTick> LExpected;
    for (int64_t T = 1; T <= 30; ++T)
        for (auto [LName, LPeriod] : {std::pair{'A', 3}, std::pair{'B', 5}, std::pair{'C', 3}})
            if (T % LPeriod == 0)
                LExpected.push_back({T, LName});
    LExpected.push_back({33, 'A'});
    EXPECT_EQ(LTicks, LExpected);
    EXPECT_EQ(LA.GetTickCount(), 11u);
    EXPECT_EQ(LB.GetTickCount(), 6u);
    EXPECT_EQ(LC.GetTickCount(), 10u);
}

// WaitIdle on the main thread also serves callbacks awaiting it.
TEST_F(TVirtualClockTest, ProcessingThreadsAndTheMainThreadAreServedBeforeTheNextTick)
{
    TLog LLog;
    TProcessingThread LSecond([&] { LLog.Add("second@" + std::to_string(TDGTimeline::Now())); });
    TProcessingThread LFirst([&] {
        LLog.Add("first@" + std::to_string(TDGTimeline::Now()));
        LSecond.WakeUp();
    });
    TDGClockGen LClock(100, [&] {
        LLog.Add("tick@" + std::to_string(TDGTimeline::Now()));
        MainThread().ExecuteAndWait([&] {
            if (MainThread().IsMainThread())
                LLog.Add("main@" + std::to_string(TDGTimeline::Now()));
        });
        LFirst.WakeUp();
        if (LClock.GetTickCount() == 4)
            LClock.Stop();
    });
    LClock.Start();
    TDGTimeline::WaitIdle();
    std::vector<std::string> LExpected;
    for (int T = 100; T <= 400; T += 100)
        for (const char* LWhat : {"tick@", "main@", "first@", "second@"})
            LExpected.push_back(LWhat + std::to_string(T));
    std::lock_guard LGuard(LLog.Lock);
    EXPECT_EQ(LLog.Entries, LExpected);
}

TEST_F(TVirtualClockTest, SetPeriodWhileRunningTakesEffectFromNowAndARestartFromInside)
{
    std::vector<int64_t> LTimes;
    int LRun = 1;
    TDGClockGen LClock(10, [&] {
        LTimes.push_back(TDGTimeline::Now());
        if (LRun == 1 && LClock.GetTickCount() == 2)
            LClock.SetPeriod(7);
        else if (LRun == 1 && LClock.GetTickCount() == 3) {
            LRun = 2;
            LClock.Stop();
            LClock.SetPeriod(5);
            LClock.Start();
            EXPECT_EQ(LClock.GetStartTime(), 27);
        } else if (LRun == 2 && LClock.GetTickCount() == 2)
            LClock.Stop();
    });
    LClock.Start();
    TDGTimeline::WaitIdle();
    EXPECT_EQ(LTimes, (std::vector<int64_t>{10, 20, 27, 32, 37}));
    EXPECT_EQ(LClock.GetPeriod(), 5);
    LClock.SetPeriod(0);
    EXPECT_EQ(LClock.GetPeriod(), 1);
}

TEST_F(TVirtualClockTest, ResetVirtualWhileAClockRunsAndWaitIdleFromACallbackAreRefused)
{
    std::string LError;
    TDGClockGen LClock(10, [&] {
        try {
            TDGTimeline::WaitIdle();
        } catch (const EAssertionFailed& E) {
            LError = E.what();
        }
        LClock.Stop();
    });
    {
        TDGWorkScope LHold;
        LClock.Start();
        EXPECT_FALSE(TDGTimeline::ResetVirtual());
    }
    TDGTimeline::WaitIdle();
    EXPECT_NE(LError, "");
    EXPECT_EQ(LClock.GetTickCount(), 1u);
    EXPECT_TRUE(TDGTimeline::ResetVirtual());
    EXPECT_EQ(TDGTimeline::Now(), 0);
}

// Behaviour that does not depend on the time mode.

class TClockModeTest : public ::testing::TestWithParam<TDGTimeMode> {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(MainThread().IsMainThread());
        TDGTimeline::SetMode(GetParam());
    }
    void TearDown() override
    {
        TDGTimeline::WaitIdle();
        TDGTimeline::SetMode(TDGTimeMode::tmRealTime);
        TDGTimeline::ResetVirtual();
    }
    // 1 ms.
    static constexpr int64_t CPeriod = 10'000;
};

TEST_P(TClockModeTest, TicksInOrderAtAbsoluteDueTimes)
{
    int64_t LCount = 0;
    TEvent LDone;
    TDGClockGen LClock(CPeriod, [&] {
        ++LCount;
        EXPECT_EQ(LClock.GetTickCount(), static_cast<uint64_t>(LCount));
        // Due times never accumulate lateness, and no tick is early.
        EXPECT_EQ(LClock.GetLastDueTime(), LClock.GetStartTime() + LCount * CPeriod);
        EXPECT_GE(TDGTimeline::Now(), LClock.GetLastDueTime());
        if (LCount == 20) {
            LClock.Stop();
            LDone.SetEvent();
        }
    });
    LClock.Start();
    EXPECT_EQ(LClock.IsVirtual(), GetParam() == TDGTimeMode::tmVirtual);
    LDone.WaitFor(INFINITE);
    LClock.Stop(); // Returns once the last callback has.
    EXPECT_EQ(LClock.GetTickCount(), 20u);
}

TEST_P(TClockModeTest, CallbackExceptionsAreKeptAndAStopFromInsideEndsTheTicks)
{
    TEvent LDone;
    std::atomic<bool> LRunningInside{false};
    TDGClockGen LClock(CPeriod, [&] {
        const uint64_t LTick = LClock.GetTickCount();
        if (LTick == 1)
            LRunningInside = LClock.IsRunning();
        if (LTick < 3)
            throw std::runtime_error("tick " + std::to_string(LTick) + " failed");
        LClock.Stop();
        EXPECT_FALSE(LClock.IsRunning());
        LDone.SetEvent();
    });
    LClock.Start();
    LDone.WaitFor(INFINITE);
    LClock.Stop();
    TDGTimeline::WaitIdle();
    EXPECT_TRUE(LRunningInside.load());
    EXPECT_EQ(LClock.GetErrorCount(), 2u);
    EXPECT_EQ(LClock.GetLastError(), "tick 2 failed");
    EXPECT_EQ(LClock.GetTickCount(), 3u);
}

TEST_P(TClockModeTest, NoCallbackRunsAfterStopFromElsewhereReturned)
{
    TEvent LEntered, LContinue;
    std::atomic<bool> LStopReturned{false};
    std::atomic<int> LLateCalls{0};
    TDGClockGen LClock(CPeriod, [&] {
        if (LStopReturned)
            ++LLateCalls;
        if (LClock.GetTickCount() == 3) {
            LEntered.SetEvent();
            LContinue.WaitFor(INFINITE);
            if (LStopReturned)
                ++LLateCalls;
        }
    });
    LClock.Start();
    LEntered.WaitFor(INFINITE);
    std::thread LStopper([&] {
        LClock.Stop();
        LStopReturned = true;
    });
    while (LClock.IsRunning())
        std::this_thread::yield();
    LContinue.SetEvent();
    LStopper.join();
    const uint64_t LTicks = LClock.GetTickCount();
    TDGTimeline::WaitIdle();
    EXPECT_EQ(LTicks, 3u);
    EXPECT_EQ(LClock.GetTickCount(), 3u);
    EXPECT_EQ(LLateCalls.load(), 0);
}

TEST_P(TClockModeTest, StopOnTheMainThreadServesACallbackAwaitingIt)
{
    TEvent LEntered;
    int LOnMain = 0; // Touched only on the main thread.
    TDGClockGen LClock(CPeriod, [&] {
        if (LClock.GetTickCount() == 2) {
            LEntered.SetEvent();
            MainThread().ExecuteAndWait([&] { ++LOnMain; });
        }
    });
    LClock.Start();
    LEntered.WaitFor(INFINITE);
    LClock.Stop();
    EXPECT_EQ(LOnMain, 1);
    EXPECT_EQ(LClock.GetTickCount(), 2u);
}

TEST_P(TClockModeTest, DestructorStopsARunningClock)
{
    TEvent LTicked;
    std::atomic<int> LCalls{0};
    {
        TDGClockGen LClock(CPeriod, [&] {
            if (++LCalls == 2)
                LTicked.SetEvent();
        });
        LClock.Start();
        LTicked.WaitFor(INFINITE);
    }
    const int LAfterDestruction = LCalls.load();
    TDGTimeline::WaitIdle();
    EXPECT_EQ(LCalls.load(), LAfterDestruction);
    EXPECT_GE(LAfterDestruction, 2);
}

INSTANTIATE_TEST_SUITE_P(Modes, TClockModeTest,
                         ::testing::Values(TDGTimeMode::tmRealTime, TDGTimeMode::tmVirtual),
                         [](const auto& I) { return I.param == TDGTimeMode::tmVirtual ? "Virtual" : "RealTime"; });
