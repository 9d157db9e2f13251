// SPDX-License-Identifier: MIT
#include "CVThreading.h"

#include "DGClock.h"
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

constexpr auto CNoWait = std::chrono::milliseconds(0);

// Every test starts on the main thread with an empty queue and no stale wake.
class TMainThreadFixture : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(MainThread().IsMainThread());
        MainThread().WaitAndProcess(CNoWait);
        ASSERT_EQ(MainThread().GetPendingCount(), 0u);
    }
    void TearDown() override { TDGTimeline::WaitIdle(); }
    // Runs AWork on another thread, serving the main thread until it is done.
    template <class F>
    static void OnWorkerServingMain(F AWork)
    {
        std::atomic<bool> LDone{false};
        std::thread LWorker([&] {
            AWork();
            LDone = true;
            MainThread().Wake();
        });
        while (!LDone)
            MainThread().WaitAndProcess(INFINITE);
        LWorker.join();
    }
};

// Whether another thread can enter ALock now.
bool OtherThreadEnters(TCriticalSection& ALock)
{
    bool LEntered = false;
    std::thread([&] {
        LEntered = ALock.TryEnter();
        if (LEntered)
            ALock.Leave();
    }).join();
    return LEntered;
}

} // namespace

TEST(TCriticalSectionTest, ReentrantForItsOwnerExclusiveForOthersAndUsableWithStandardGuards)
{
    TCriticalSection LLock;
    LLock.Enter();
    LLock.Enter();
    EXPECT_TRUE(LLock.TryEnter());
    EXPECT_FALSE(OtherThreadEnters(LLock));
    LLock.Leave();
    LLock.Leave();
    EXPECT_FALSE(OtherThreadEnters(LLock)) << "entered three times, left twice";
    LLock.Leave();
    EXPECT_TRUE(OtherThreadEnters(LLock));
    std::lock_guard LGuard(LLock); // usable with the standard guards
    EXPECT_FALSE(OtherThreadEnters(LLock));
}

TEST(TEventTest, AutoResetIsConsumedByOneWaitManualResetStaysSignalledUntilReset)
{
    TEvent LAuto;
    EXPECT_FALSE(LAuto.IsManualReset());
    EXPECT_EQ(LAuto.WaitFor(CNoWait), wrTimeout);
    LAuto.SetEvent();
    EXPECT_EQ(LAuto.WaitFor(CNoWait), wrSignaled);
    EXPECT_EQ(LAuto.WaitFor(CNoWait), wrTimeout);
    TEvent LManual(true);
    LManual.SetEvent();
    EXPECT_EQ(LManual.WaitFor(CNoWait), wrSignaled);
    EXPECT_EQ(LManual.WaitFor(INFINITE), wrSignaled);
    LManual.ResetEvent();
    EXPECT_EQ(LManual.WaitFor(CNoWait), wrTimeout);
    EXPECT_EQ(TEvent(true, true).WaitFor(CNoWait), wrSignaled);
}

using TProcessingThreadTest = TMainThreadFixture;

TEST_F(TProcessingThreadTest, WakeUpsDuringARunFromOutsideOrInsideCauseExactlyOneMoreRun)
{
    TEvent LEntered, LContinue;
    std::atomic<int> LRuns{0};
    TProcessingThread LThread([&] {
        if (++LRuns == 1) {
            LEntered.SetEvent();
            LContinue.WaitFor(INFINITE);
        }
    });
    LThread.WakeUp();
    LEntered.WaitFor(INFINITE);
    for (int I = 0; I < 5; ++I)
        LThread.WakeUp();
    LContinue.SetEvent();
    TDGTimeline::WaitIdle();
    EXPECT_EQ(LRuns.load(), 2);
    EXPECT_EQ(LThread.GetRunCount(), 2u);
    EXPECT_EQ(TDGTimeline::GetPendingWork(), 0);
    std::atomic<int> LInnerRuns{0};
    TProcessingThread* LSelf = nullptr;
    TProcessingThread LInner([&] {
        if (++LInnerRuns == 1)
            for (int I = 0; I < 5; ++I)
                LSelf->WakeUp();
    });
    LSelf = &LInner;
    LInner.WakeUp();
    TDGTimeline::WaitIdle();
    EXPECT_EQ(LInnerRuns.load(), 2);
    EXPECT_FALSE(LInner.IsCurrentThread());
}

TEST_F(TProcessingThreadTest, ReleasedOrDestroyedFromInsideTheWork)
{
    std::atomic<int> LRuns{0};
    TProcessingThread* LSelf = nullptr;
    TProcessingThread LThread([&] {
        ++LRuns;
        LSelf->WakeUp(); // Dropped by the release below.
        LSelf->Release();
        EXPECT_TRUE(LSelf->IsReleased());
    });
    LSelf = &LThread;
    LThread.WakeUp();
    TDGTimeline::WaitIdle();
    EXPECT_TRUE(LThread.IsReleased());
    LThread.WakeUp();
    TDGTimeline::WaitIdle();
    EXPECT_EQ(LRuns.load(), 1);
    EXPECT_EQ(TDGTimeline::GetPendingWork(), 0);
    LThread.Release(); // Waits for the detached thread to end.
    std::unique_ptr<TProcessingThread> LOwned;
    LOwned = std::make_unique<TProcessingThread>([&] {
        ++LRuns;
        LOwned.reset();
    });
    LOwned->WakeUp();
    TDGTimeline::WaitIdle();
    EXPECT_EQ(LRuns.load(), 2);
    EXPECT_EQ(LOwned, nullptr);
}

TEST_F(TProcessingThreadTest, ReleaseDropsPendingWakeUpAndBalancesWork)
{
    TEvent LEntered, LContinue;
    std::atomic<int> LRuns{0};
    TProcessingThread LThread([&] {
        ++LRuns;
        LEntered.SetEvent();
        LContinue.WaitFor(INFINITE);
    });
    LThread.WakeUp();
    LEntered.WaitFor(INFINITE);
    LThread.WakeUp(); // Pending while the release comes.
    EXPECT_EQ(TDGTimeline::GetPendingWork(), 2);
    std::atomic<bool> LReleased{false};
    std::thread LReleaser([&] {
        LThread.Release();
        LReleased = true;
    });
    while (!LThread.IsReleased())
        std::this_thread::yield();
    // Release waits for the running work.
    EXPECT_FALSE(LReleased.load());
    LContinue.SetEvent();
    LReleaser.join();
    EXPECT_EQ(LRuns.load(), 1);
    EXPECT_EQ(TDGTimeline::GetPendingWork(), 0);
}

TEST_F(TProcessingThreadTest, ExceptionsAreKeptAndTheThreadGoesOnWhateverItsPriority)
{
    std::atomic<int> LRuns{0};
    TProcessingThread* LSelf = nullptr;
    TProcessingThread LThread(
        [&] {
            LSelf->SetPriority(tpLower);
            if (++LRuns == 1)
                throw std::runtime_error("block 7 could not be processed");
            if (LRuns == 2)
                throw 42;
        },
        tpTimeCritical);
    LSelf = &LThread;
    EXPECT_EQ(LThread.GetPriority(), tpTimeCritical);
    LThread.WakeUp();
    TDGTimeline::WaitIdle();
    EXPECT_EQ(LThread.GetLastError(), "block 7 could not be processed");
    LThread.SetPriority(tpIdle);
    LThread.WakeUp();
    TDGTimeline::WaitIdle();
    EXPECT_EQ(LThread.GetLastError(), "unknown exception");
    LThread.WakeUp();
    TDGTimeline::WaitIdle();
    EXPECT_EQ(LRuns.load(), 3);
    EXPECT_EQ(LThread.GetErrorCount(), 2u);
    EXPECT_EQ(LThread.GetPriority(), tpLower);
    LThread.Release();
    LThread.SetPriority(tpNormal);
}

TEST_F(TProcessingThreadTest, ReleaseOnMainThreadWhileWorkAwaitsMainThread)
{
    TEvent LEntered;
    std::atomic<bool> LRanOnMain{false};
    TProcessingThread LThread([&] {
        LEntered.SetEvent();
        MainThread().ExecuteAndWait([&] { LRanOnMain = MainThread().IsMainThread(); });
    });
    LThread.WakeUp();
    LEntered.WaitFor(INFINITE);
    LThread.Release();
    EXPECT_TRUE(LRanOnMain.load());
    EXPECT_EQ(LThread.GetRunCount(), 1u);
}

using TMainThreadExecuteTest = TMainThreadFixture;

TEST_F(TMainThreadExecuteTest, ExecuteAndWaitFromOtherThreadsRunsOnTheMainThreadInTurn)
{
    const std::thread::id LMain = std::this_thread::get_id();
    int LCounter = 0; // Touched only on the main thread.
    std::atomic<int> LFinished{0};
    std::vector<std::thread> LWorkers;
    for (int I = 0; I < 4; ++I)
        LWorkers.emplace_back([&] {
            for (int J = 0; J < 50; ++J)
                MainThread().ExecuteAndWait([&] { LCounter += std::this_thread::get_id() == LMain; });
            ++LFinished;
            MainThread().Wake();
        });
    while (LFinished < 4)
        MainThread().WaitAndProcess(INFINITE);
    for (auto& LWorker : LWorkers)
        LWorker.join();
    EXPECT_EQ(LCounter, 200);
}

TEST_F(TMainThreadExecuteTest, OnTheMainThreadWorkRunsInlineAndWorkPostedByDrainedWorkIsDrainedToo)
{
    bool LRan = false;
    MainThread().ExecuteAndWait([&] { LRan = true; });
    EXPECT_TRUE(LRan);
    EXPECT_EQ(MainThread().GetPendingCount(), 0u);
    std::string LOrder;
    MainThread().Execute([&] {
        LOrder += "1";
        MainThread().ExecuteAndWait([&] { LOrder += "2"; }); // inline
        MainThread().Execute([&] {
            LOrder += "4";
            MainThread().Execute([&] { LOrder += "6"; });
        });
        MainThread().Execute([&] { LOrder += "5"; });
    });
    MainThread().Execute([&] { LOrder += "3"; });
    EXPECT_EQ(MainThread().GetPendingCount(), 2u);
    EXPECT_EQ(MainThread().ProcessMessages(), 5u);
    EXPECT_EQ(LOrder, "123456");
    EXPECT_EQ(MainThread().ProcessMessages(), 0u);
}

TEST_F(TMainThreadExecuteTest, ExceptionsAreRethrownInTheWaiterOrKeptForPostedWork)
{
    EXPECT_THROW(MainThread().ExecuteAndWait([] { throw EPropertyError("no property 'Gain'"); }), EPropertyError);
    std::string LCaught;
    OnWorkerServingMain([&] {
        try {
            MainThread().ExecuteAndWait([] { throw EFOpenError("Cannot create out.ogg."); });
        } catch (const EFOpenError& E) {
            LCaught = E.what();
        }
    });
    EXPECT_EQ(LCaught, "Cannot create out.ogg.");
    const uint64_t LErrors = MainThread().GetErrorCount();
    bool LLaterRan = false;
    MainThread().Execute([] { throw std::runtime_error("restart failed"); });
    MainThread().Execute([&] { LLaterRan = true; });
    EXPECT_EQ(MainThread().ProcessMessages(), 2u);
    EXPECT_TRUE(LLaterRan);
    EXPECT_EQ(MainThread().GetLastError(), "restart failed");
    EXPECT_EQ(MainThread().GetErrorCount(), LErrors + 1);
}

TEST_F(TMainThreadExecuteTest, WaitAndProcessReturnsOnWorkOrAWakeAndSetMainThreadMovesTheRole)
{
    std::atomic<bool> LRan{false};
    std::thread LWorker([&] { MainThread().Execute([&] { LRan = true; }); });
    EXPECT_EQ(MainThread().WaitAndProcess(INFINITE), 1u);
    EXPECT_TRUE(LRan.load());
    LWorker.join();
    EXPECT_EQ(MainThread().WaitAndProcess(CNoWait), 0u);
    std::thread LWaker([] { MainThread().Wake(); });
    EXPECT_EQ(MainThread().WaitAndProcess(INFINITE), 0u);
    LWaker.join();
    // SetMainThread moves the role.
    std::size_t LRunThere = 0;
    bool LWasMain = true;
    std::thread LOther([&] {
        LWasMain = MainThread().IsMainThread();
        MainThread().SetMainThread();
        MainThread().Execute([] {});
        LRunThere = MainThread().ProcessMessages();
    });
    LOther.join();
    EXPECT_FALSE(LWasMain);
    EXPECT_EQ(LRunThere, 1u);
    EXPECT_FALSE(MainThread().IsMainThread());
    EXPECT_THROW(MainThread().ProcessMessages(), EAssertionFailed);
    MainThread().SetMainThread();
    EXPECT_TRUE(MainThread().IsMainThread());
}
