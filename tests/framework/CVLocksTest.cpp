// SPDX-License-Identifier: MIT
#include "CVLocks.h"

#include <gtest/gtest.h>

#include <cmath>
#include <thread>

using namespace Sonorix;

TEST(CVLocksTest, SettersClampStoreAndRunTheChangeActionOnlyOnAChange)
{
    TBasicLockChangeNotifyLock LLock;
    int LNotifications = 0;
    LLock.AddChangeNotification([&] { ++LNotifications; });
    int LChanges = 0;
    auto LChange = [&] { ++LChanges; };
    double LValue = 1.0;
    EXPECT_FALSE(LLock.NotifySetter(LValue, 1.0, LChange));
    EXPECT_EQ(LChanges, 0);
    EXPECT_TRUE(LLock.NotifySetter(LValue, 2.5, LChange));
    EXPECT_EQ(LValue, 2.5);
    EXPECT_EQ(LChanges, 1);
    EXPECT_EQ(LNotifications, 1);
    // Below the minimum stores the minimum; the minimum again is no change.
    EXPECT_TRUE(LLock.NotifySetterMin(LValue, -3.0, 0.0, LChange));
    EXPECT_EQ(LValue, 0.0);
    EXPECT_FALSE(LLock.NotifySetterMin(LValue, -7.0, 0.0, LChange));
    EXPECT_EQ(LChanges, 2);
    int LAmplitude = 100;
    EXPECT_TRUE(LLock.NotifySetterMinMax(LAmplitude, 40000, 0, 32767));
    EXPECT_EQ(LAmplitude, 32767);
    EXPECT_TRUE(LLock.NotifySetterMinMax(LAmplitude, -5, 0, 32767));
    EXPECT_EQ(LAmplitude, 0);
    EXPECT_FALSE(LLock.NotifySetterMinMax(LAmplitude, -1, 0, 32767));
    // A NaN never reaches a field, whatever the bounds.
    EXPECT_FALSE(LLock.NotifySetter(LValue, std::nan(""), LChange));
    EXPECT_FALSE(LLock.NotifySetterMin(LValue, std::nan(""), 0.0, LChange));
    EXPECT_FALSE(LLock.NotifySetterMinMax(LValue, std::nan(""), 0.0, 1.0, LChange));
    EXPECT_EQ(LValue, 0.0);
    EXPECT_EQ(LChanges, 2);
    EXPECT_EQ(LNotifications, 4);
}

TEST(CVLocksTest, ChangeActionMayTakeTheSameLockAndListenersCanBeRemoved)
{
    TBasicLockChangeNotifyLock LLock;
    int LField = 0;
    int LSeen = -1;
    // The change action reads through the lock: it must not deadlock.
    LLock.NotifySetter(LField, 4, [&] { LSeen = LLock.Getter(LField); });
    EXPECT_EQ(LSeen, 4);
    {
        TLockAccess LOuter = LLock.WriteLock();
        TLockAccess LInner = LLock.ReadLock(); // re-entrant for the holder
        EXPECT_TRUE(LInner.OwnsLock());
    }
    int LCalls = 0;
    const int LHandle = LLock.AddChangeNotification([&] { ++LCalls; });
    LLock.ChangeNotify();
    LLock.RemoveChangeNotification(LHandle);
    LLock.ChangeNotify();
    EXPECT_EQ(LCalls, 1);
}

TEST(CVLocksTest, WriteLockExcludesOtherThreads)
{
    TBasicLockChangeNotifyLock LLock;
    int64_t LPair[2] = {0, 0};
    std::thread LWriter([&] {
        for (int I = 1; I <= 20000; ++I) {
            TLockAccess LAccess = LLock.WriteLock();
            LPair[0] = I;
            LPair[1] = -I;
        }
    });
    for (int I = 0; I < 20000; ++I) {
        TLockAccess LAccess = LLock.ReadLock();
        ASSERT_EQ(LPair[0], -LPair[1]);
    }
    LWriter.join();
}
