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

// Appends from several threads; read after the writers are done.
class TLog {
public:
    void Add(const std::string& AEntry)
    {
        std::lock_guard LGuard(FLock);
        FEntries += AEntry;
    }
    std::string Get() const
    {
        std::lock_guard LGuard(FLock);
        return FEntries;
    }

private:
    mutable std::mutex FLock;
    std::string FEntries;
};

// Every test starts on the main thread with an empty queue and no stale wake.
class TMainThreadFixture : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(MainThread().IsMainThread());
        MainThread().WaitAndProcess(std::chrono::milliseconds(0));
        ASSERT_EQ(MainThread().GetPendingCount(), 0u);
    }
    void TearDown() override { TDGTimeline::WaitIdle(); }
};

} // namespace

// ---------------------------------------------------------------------------
// TCriticalSection

TEST(TCriticalSectionTest, OwnerEntersAgainAndLeavesAsOften)
{
    TCriticalSection LLock;
    LLock.Enter();
    LLock.Enter();
    EXPECT_TRUE(LLock.TryEnter());
    LLock.Leave();
    LLock.Leave();
    LLock.Leave();
    bool LFree = false;
    std::thread([&] {
        LFree = LLock.TryEnter();
        if (LFree)
            LLock.Leave();
    }).join();
    EXPECT_TRUE(LFree);
}

TEST(TCriticalSectionTest, OtherThreadCannotEnterWhileHeld)
{
    TCriticalSection LLock;
    std::lock_guard LGuard(LLock);
    bool LEntered = true;
    std::thread([&] {
        LEntered = LLock.TryEnter();
        if (LEntered)
            LLock.Leave();
    }).join();
    EXPECT_FALSE(LEntered);
}

TEST(TCriticalSectionTest, WorksWithStandardGuards)
{
    TCriticalSection LLock;
    int LCounter = 0;
    std::vector<std::thread> LThreads;
    for (int I = 0; I < 4; ++I)
        LThreads.emplace_back([&] {
            for (int J = 0; J < 1000; ++J) {
                std::unique_lock LGuard(LLock);
                std::lock_guard LNested(LLock);
                ++LCounter;
            }
        });
    for (auto& LThread : LThreads)
        LThread.join();
    EXPECT_EQ(LCounter, 4000);
    std::unique_lock LTry(LLock, std::try_to_lock);
    EXPECT_TRUE(LTry.owns_lock());
}

// ---------------------------------------------------------------------------
// TEvent

TEST(TEventTest, AutoResetIsConsumedByOneWait)
{
    TEvent LEvent;
    EXPECT_FALSE(LEvent.IsManualReset());
    EXPECT_EQ(LEvent.WaitFor(std::chrono::milliseconds(0)), wrTimeout);
    LEvent.SetEvent();
    EXPECT_EQ(LEvent.WaitFor(std::chrono::milliseconds(0)), wrSignaled);
    EXPECT_EQ(LEvent.WaitFor(std::chrono::milliseconds(0)), wrTimeout);
}

TEST(TEventTest, ManualResetStaysSignalledUntilReset)
{
    TEvent LEvent(true);
    LEvent.SetEvent();
    EXPECT_EQ(LEvent.WaitFor(std::chrono::milliseconds(0)), wrSignaled);
    EXPECT_EQ(LEvent.WaitFor(INFINITE), wrSignaled);
    LEvent.ResetEvent();
    EXPECT_EQ(LEvent.WaitFor(std::chrono::milliseconds(0)), wrTimeout);
    TEvent LInitiallySet(true, true);
    EXPECT_EQ(LInitiallySet.WaitFor(std::chrono::milliseconds(0)), wrSignaled);
}

TEST(TEventTest, ManualResetReleasesEveryWaiter)
{
    TEvent LEvent(true);
    std::atomic<int> LReleased{0};
    std::vector<std::thread> LThreads;
    for (int I = 0; I < 3; ++I)
        LThreads.emplace_back([&] {
            if (LEvent.WaitFor(INFINITE) == wrSignaled)
                ++LReleased;
        });
    LEvent.SetEvent();
    for (auto& LThread : LThreads)
        LThread.join();
    EXPECT_EQ(LReleased.load(), 3);
}

TEST(TEventTest, AutoResetReleasesOneWaiterPerSet)
{
    TEvent LEvent;
    std::atomic<int> LReleased{0};
    std::vector<std::thread> LThreads;
    for (int I = 0; I < 2; ++I)
        LThreads.emplace_back([&] {
            LEvent.WaitFor(INFINITE);
            ++LReleased;
        });
    LEvent.SetEvent();
    while (LReleased.load() < 1)
        std::this_thread::yield();
    // The signal went to exactly one waiter and was consumed by it.
    EXPECT_EQ(LEvent.WaitFor(std::chrono::milliseconds(0)), wrTimeout);
    EXPECT_EQ(LReleased.load(), 1);
    LEvent.SetEvent();
    for (auto& LThread : LThreads)
        LThread.join();
    EXPECT_EQ(LReleased.load(), 2);
}

// ---------------------------------------------------------------------------
// TProcessingThread

using TProcessingThreadTest = TMainThreadFixture;

TEST_F(TProcessingThreadTest, WakeUpsDuringARunCauseExactlyOneMoreRun)
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
}

TEST_F(TProcessingThreadTest, WakeUpsFromInsideTheWorkCoalesce)
{
    std::atomic<int> LRuns{0};
    TProcessingThread* LSelf = nullptr;
    TProcessingThread LThread([&] {
        if (++LRuns == 1)
            for (int I = 0; I < 5; ++I)
                LSelf->WakeUp();
    });
    LSelf = &LThread;
    LThread.WakeUp();
    TDGTimeline::WaitIdle();
    EXPECT_EQ(LRuns.load(), 2);
    EXPECT_TRUE(!LThread.IsCurrentThread());
}

TEST_F(TProcessingThreadTest, ChainOfThreadsRunsInOrderAndIsDrained)
{
    TLog LLog;
    TProcessingThread LSecond([&] { LLog.Add("B"); });
    TProcessingThread LFirst([&] {
        LLog.Add("A");
        LSecond.WakeUp();
    });
    for (int I = 0; I < 3; ++I) {
        LFirst.WakeUp();
        TDGTimeline::WaitIdle();
        LLog.Add("|");
    }
    EXPECT_EQ(LLog.Get(), "AB|AB|AB|");
}

TEST_F(TProcessingThreadTest, ReleaseFromInsideTheWork)
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
}

TEST_F(TProcessingThreadTest, DestroyedFromInsideTheWork)
{
    std::atomic<int> LRuns{0};
    std::unique_ptr<TProcessingThread> LThread;
    LThread = std::make_unique<TProcessingThread>([&] {
        ++LRuns;
        LThread.reset();
    });
    LThread->WakeUp();
    TDGTimeline::WaitIdle();
    EXPECT_EQ(LRuns.load(), 1);
    EXPECT_EQ(LThread, nullptr);
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

TEST_F(TProcessingThreadTest, ExceptionsAreKeptAndTheThreadGoesOn)
{
    std::atomic<int> LRuns{0};
    TProcessingThread LThread([&] {
        if (++LRuns == 1)
            throw std::runtime_error("block 7 could not be processed");
        if (LRuns == 2)
            throw 42;
    });
    EXPECT_EQ(LThread.GetLastError(), "");
    LThread.WakeUp();
    TDGTimeline::WaitIdle();
    EXPECT_EQ(LThread.GetLastError(), "block 7 could not be processed");
    LThread.WakeUp();
    TDGTimeline::WaitIdle();
    EXPECT_EQ(LThread.GetLastError(), "unknown exception");
    LThread.WakeUp();
    TDGTimeline::WaitIdle();
    EXPECT_EQ(LRuns.load(), 3);
    EXPECT_EQ(LThread.GetErrorCount(), 2u);
}

TEST_F(TProcessingThreadTest, SetPriorityNeverFails)
{
    std::atomic<int> LRuns{0};
    TProcessingThread* LSelf = nullptr;
    TProcessingThread LThread(
        [&] {
            ++LRuns;
            LSelf->SetPriority(tpLower);
        },
        tpLowest);
    LSelf = &LThread;
    EXPECT_EQ(LThread.GetPriority(), tpLowest);
    for (TDGThreadPriority LPriority : {tpIdle, tpTimeCritical, tpHighest, tpHigher, tpNormal}) {
        LThread.SetPriority(LPriority);
        EXPECT_EQ(LThread.GetPriority(), LPriority);
        LThread.WakeUp();
        TDGTimeline::WaitIdle();
    }
    EXPECT_EQ(LRuns.load(), 5);
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

// ---------------------------------------------------------------------------
// TMainThreadExecute

using TMainThreadExecuteTest = TMainThreadFixture;

TEST_F(TMainThreadExecuteTest, ExecuteAndWaitFromAnotherThreadRunsOnTheMainThread)
{
    const std::thread::id LMain = std::this_thread::get_id();
    std::thread::id LRanOn;
    int LValue = 0;
    std::atomic<bool> LDone{false};
    std::thread LWorker([&] {
        EXPECT_FALSE(MainThread().IsMainThread());
        MainThread().ExecuteAndWait([&] {
            LRanOn = std::this_thread::get_id();
            LValue = 42;
        });
        // Written on the main thread, visible here once the wait returned.
        EXPECT_EQ(LValue, 42);
        LDone = true;
        MainThread().Wake();
    });
    while (!LDone)
        MainThread().WaitAndProcess(INFINITE);
    LWorker.join();
    EXPECT_EQ(LRanOn, LMain);
}

TEST_F(TMainThreadExecuteTest, ManyWaitersAreServedInTurn)
{
    int LCounter = 0; // Touched only on the main thread.
    std::atomic<int> LFinished{0};
    std::vector<std::thread> LWorkers;
    for (int I = 0; I < 4; ++I)
        LWorkers.emplace_back([&] {
            for (int J = 0; J < 50; ++J)
                MainThread().ExecuteAndWait([&] { ++LCounter; });
            ++LFinished;
            MainThread().Wake();
        });
    while (LFinished < 4)
        MainThread().WaitAndProcess(INFINITE);
    for (auto& LWorker : LWorkers)
        LWorker.join();
    EXPECT_EQ(LCounter, 200);
}

TEST_F(TMainThreadExecuteTest, ExecuteAndWaitOnTheMainThreadRunsInline)
{
    bool LRan = false;
    MainThread().ExecuteAndWait([&] { LRan = true; });
    EXPECT_TRUE(LRan);
    EXPECT_EQ(MainThread().GetPendingCount(), 0u);

    // Also from work that the main thread is draining.
    std::string LOrder;
    MainThread().Execute([&] {
        LOrder += "a";
        MainThread().ExecuteAndWait([&] { LOrder += "b"; });
        LOrder += "c";
    });
    EXPECT_EQ(MainThread().ProcessMessages(), 1u);
    EXPECT_EQ(LOrder, "abc");
}

TEST_F(TMainThreadExecuteTest, WorkPostedByDrainedWorkIsDrainedToo)
{
    std::string LOrder;
    MainThread().Execute([&] {
        LOrder += "1";
        MainThread().Execute([&] {
            LOrder += "3";
            MainThread().Execute([&] { LOrder += "5"; });
        });
        MainThread().Execute([&] { LOrder += "4"; });
    });
    MainThread().Execute([&] { LOrder += "2"; });
    EXPECT_EQ(MainThread().GetPendingCount(), 2u);
    EXPECT_EQ(MainThread().ProcessMessages(), 5u);
    EXPECT_EQ(LOrder, "12345");
    EXPECT_EQ(MainThread().ProcessMessages(), 0u);
}

TEST_F(TMainThreadExecuteTest, ExceptionsAreRethrownInTheWaiter)
{
    EXPECT_THROW(MainThread().ExecuteAndWait([] { throw EPropertyError("no property 'Gain'"); }),
                 EPropertyError);

    std::string LCaught;
    std::atomic<bool> LDone{false};
    std::thread LWorker([&] {
        try {
            MainThread().ExecuteAndWait([] { throw EFOpenError("Cannot create out.ogg."); });
        } catch (const EFOpenError& E) {
            LCaught = E.what();
        }
        LDone = true;
        MainThread().Wake();
    });
    while (!LDone)
        MainThread().WaitAndProcess(INFINITE);
    LWorker.join();
    EXPECT_EQ(LCaught, "Cannot create out.ogg.");
}

TEST_F(TMainThreadExecuteTest, ExceptionsOfPostedWorkAreKept)
{
    const uint64_t LErrors = MainThread().GetErrorCount();
    bool LLaterRan = false;
    MainThread().Execute([] { throw std::runtime_error("restart failed"); });
    MainThread().Execute([&] { LLaterRan = true; });
    EXPECT_EQ(MainThread().ProcessMessages(), 2u);
    EXPECT_TRUE(LLaterRan);
    EXPECT_EQ(MainThread().GetLastError(), "restart failed");
    EXPECT_EQ(MainThread().GetErrorCount(), LErrors + 1);
}

TEST_F(TMainThreadExecuteTest, WaitAndProcessReturnsWhenWorkArrives)
{
    std::atomic<bool> LRan{false};
    std::thread LWorker([&] { MainThread().Execute([&] { LRan = true; }); });
    EXPECT_EQ(MainThread().WaitAndProcess(INFINITE), 1u);
    EXPECT_TRUE(LRan.load());
    LWorker.join();
    EXPECT_EQ(MainThread().WaitAndProcess(std::chrono::milliseconds(0)), 0u);
}

TEST_F(TMainThreadExecuteTest, WakeEndsWaitAndProcessWithoutWork)
{
    std::thread LWorker([] { MainThread().Wake(); });
    EXPECT_EQ(MainThread().WaitAndProcess(INFINITE), 0u);
    LWorker.join();
}

TEST_F(TMainThreadExecuteTest, SetMainThreadMovesTheRole)
{
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
