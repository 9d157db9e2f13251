// SPDX-License-Identifier: MIT
#include "CVRegistry.h"
#include "PNPins.h"
#include "SNAudioBuffer.h"
#include "TestComponents.h"

#include <gtest/gtest.h>

#include <memory>
#include <thread>
#include <vector>

using namespace Sonorix;

namespace {

// Records which pin of which owner saw which operation.
struct TProbe {
    std::vector<std::string> Seen;
    TPNPin::TDispatch Handler(const std::string& AName, bool AAnswer)
    {
        return [this, AName, AAnswer](TPNPin&, const IPNNotifyOperationPtr& AOperation) {
            Seen.push_back(AName + ":" + AOperation->GetName());
            return AAnswer;
        };
    }
};

} // namespace

TEST(PNPinsTest, NotifyTravelsDownstreamToEverySinkAndUpstreamToTheSource)
{
    Sonorix::Test::TTestCollector LOwner;
    TProbe LProbe;
    TSNPNAudioSourcePin LSource(&LOwner, "Out");
    TSNPNAudioSinkPin LFirst(&LOwner, "In1");
    TSNPNAudioSinkPin LSecond(&LOwner, "In2");
    LSource.SetDispatch(LProbe.Handler("source", true));
    LFirst.SetDispatch(LProbe.Handler("first", true));
    LSecond.SetDispatch(LProbe.Handler("second", false));
    EXPECT_FALSE(LSource.Notify(std::make_shared<TPNStopOperation>())) << "no sink: nobody answers";
    LSource.Connect(LFirst);
    LSource.Connect(LSecond);
    LSource.Connect(LFirst); // connecting twice keeps one connection
    EXPECT_EQ(LSource.GetSinks().size(), 2u);
    // Downstream: both sinks, in connection order; the last one answers.
    EXPECT_FALSE(LSource.Notify(std::make_shared<TPNStopOperation>()));
    // Upstream: only the source's owner.
    EXPECT_TRUE(LSecond.Notify(std::make_shared<TPNMasterPumpOperation>()));
    EXPECT_EQ(LProbe.Seen, (std::vector<std::string>{"first:TPNStopOperation", "second:TPNStopOperation",
                                                     "source:TPNMasterPumpOperation"}));
    LSource.Disconnect(LFirst);
    EXPECT_FALSE(LFirst.IsConnected());
    EXPECT_EQ(LSecond.GetSource(), &LSource);
    {
        TSNPNAudioSinkPin LGone(&LOwner, "Gone");
        LSource.Connect(LGone);
    }
    EXPECT_EQ(LSource.GetSinks().size(), 1u) << "a destroyed pin disconnects itself";
}

TEST(PNPinsTest, ConnectionsThatCannotWorkAreRefusedWithTheirNames)
{
    Sonorix::Test::TTestCollector LOwner;
    TSNPNAudioSourcePin LAudio(&LOwner, "Out");
    TSNPNAudioSourcePin LOther(&LOwner, "Other");
    TDGPNRealSinkPin LReals(&LOwner, "Reals");
    TSNPNAudioSinkPin LSink(&LOwner, "In");
    try {
        LAudio.Connect(LReals);
        FAIL() << "audio into a real-number pin was accepted";
    } catch (const EPinConnectError& E) {
        EXPECT_STREQ(E.what(), "cannot connect TSNTestCollector.Out (audio) to TSNTestCollector.Reals "
                               "(real-number buffers)");
    }
    LAudio.Connect(LSink);
    EXPECT_THROW(LOther.Connect(LSink), EPinConnectError) << "a sink takes one source";
    // A multi-source clock input accepts several clocks and tells all of them.
    TPNClockSourcePin LClockA(&LOwner, "A");
    TPNClockSourcePin LClockB(&LOwner, "B");
    TPNClockMultiSinkPin LClockIn(&LOwner, "ClockInputPin");
    int LUpstream = 0;
    LClockA.SetDispatch([&](TPNPin&, const IPNNotifyOperationPtr&) { return ++LUpstream > 0; });
    LClockB.SetDispatch([&](TPNPin&, const IPNNotifyOperationPtr&) { return ++LUpstream > 0; });
    LClockA.Connect(LClockIn);
    LClockB.Connect(LClockIn);
    EXPECT_TRUE(LClockIn.Notify(std::make_shared<TPNStartOperation>()));
    EXPECT_EQ(LUpstream, 2);
}

// Deletions in the middle as the mixer's channels make them: SNAudioMixerTest.
TEST(PNPinsTest, PinListShrinksDisconnectingMovesAndIgnoresUnknownIndices)
{
    Sonorix::Test::TTestCollector LOwner;
    TPNPinList LList(&LOwner, "InputPins", TPNDataType::dtAudio, TPNPinDirection::pdSink,
                     [&](int) { return std::make_unique<TSNPNAudioSinkPin>(&LOwner, "x"); });
    std::vector<std::string> LRemoved;
    LList.SetOnRemove([&](TPNPin& APin) { LRemoved.push_back(APin.GetName()); });
    LList.SetCount(3);
    TSNPNAudioSourcePin LFeed(&LOwner, "Feed");
    LFeed.Connect(static_cast<TPNSinkPin&>(LList[2]));
    LList.SetCount(1); // drops the connected pin
    EXPECT_FALSE(LFeed.IsConnected());
    EXPECT_EQ(LRemoved, (std::vector<std::string>{"InputPins[2]", "InputPins[1]"}));
    EXPECT_EQ(LList.GetPin(5), nullptr);
    EXPECT_THROW(LList[5], std::out_of_range);
    TPNPin* LFirst = &LList[0];
    LList.Move(7, 0);
    LList.Delete(7);
    ASSERT_EQ(LList.GetCount(), 1);
    EXPECT_EQ(&LList[0], LFirst);
    // The first pin moves like any other and the names follow the positions.
    LList.SetCount(3);
    TPNPin* LPins[] = {&LList[0], &LList[1], &LList[2]};
    LList.Move(0, 2);
    for (int I = 0; I < 3; ++I) {
        EXPECT_EQ(&LList[I], LPins[(I + 1) % 3]) << I;
        EXPECT_EQ(LList[I].GetName(), "InputPins[" + std::to_string(I) + "]");
    }
}

TEST(PNPinsTest, PumpRequestCarriesTheStrongestClaimBackToItsSender)
{
    Sonorix::Test::TTestCollector LSender;
    Sonorix::Test::TTestCollector LWeak;
    Sonorix::Test::TTestCollector LStrong;
    TSNPNAudioSourcePin LOut(&LSender, "Out");
    TSNPNAudioSinkPin LIn(&LWeak, "In");
    TSNPNAudioSourcePin LWeakOut(&LWeak, "Out");
    TSNPNAudioSinkPin LStrongIn(&LStrong, "In");
    LOut.Connect(LIn);
    LWeakOut.Connect(LStrongIn);
    // Each component claims when its claim is stronger, then passes it on.
    LIn.SetDispatch([&](TPNPin&, const IPNNotifyOperationPtr& AOperation) {
        auto* LRequest = OperationAs<TPNPumpRequestOperation>(AOperation);
        if (LRequest->IsWeakerThan(ptMaster, 1))
            LRequest->Claim(&LWeak, ptMaster, 1);
        return LWeakOut.Notify(AOperation);
    });
    LStrongIn.SetDispatch([&](TPNPin&, const IPNNotifyOperationPtr& AOperation) {
        auto* LRequest = OperationAs<TPNPumpRequestOperation>(AOperation);
        if (LRequest->IsWeakerThan(ptHardware, 0))
            LRequest->Claim(&LStrong, ptHardware, 0);
        return true;
    });
    auto LRequest = std::make_shared<TPNPumpRequestOperation>(&LSender, ptSoftware, 5);
    EXPECT_TRUE(LOut.Notify(LRequest));
    EXPECT_EQ(LRequest->PumpObject, &LStrong);
    EXPECT_EQ(LRequest->PumpType, ptHardware);
    // A weaker claim downstream leaves the stronger one standing.
    auto LStronger = std::make_shared<TPNPumpRequestOperation>(&LSender, ptHardware, 9);
    LOut.Notify(LStronger);
    EXPECT_EQ(LStronger->PumpObject, &LSender);
}

TEST(PNPinsTest, OperationAsAnswersByClassWhateverWasAskedBefore)
{
    // In changing order and from two threads, over more classes than answers
    // are kept: a derived class is its base, a base is not the derived class.
    struct TLocalStop : TPNStopOperation {};
    const std::vector<IPNNotifyOperationPtr> LOperations{
        std::make_shared<TPNStartSampleRateOperation>(1), std::make_shared<TPNStartSpectrumOperation>(2),
        std::make_shared<TPNStopOperation>(), std::make_shared<TLocalStop>(), std::make_shared<TPNStartOperation>(),
        std::make_shared<TPNQueryStreamOperation>(), std::make_shared<TPNClockOperation>(3)};
    auto LWrong = [&] {
        int LCount = 0;
        for (size_t I = 0; I < 7 * 500; ++I) {
            const size_t K = (I * 3 + I / 7) % 7;
            const IPNNotifyOperationPtr& LOperation = LOperations[K];
            LCount += (OperationAs<TPNStartSampleRateOperation>(LOperation) != nullptr) != (K < 2);
            LCount += (OperationAs<TPNStartSpectrumOperation>(LOperation) != nullptr) != (K == 1);
            LCount += (OperationAs<TPNStopOperation>(LOperation) != nullptr) != (K == 2 || K == 3);
            LCount += (OperationAs<TLocalStop>(LOperation) != nullptr) != (K == 3);
        }
        return LCount;
    };
    int LOther = -1;
    std::thread LThread([&] { LOther = LWrong(); });
    EXPECT_EQ(LWrong(), 0);
    LThread.join();
    EXPECT_EQ(LOther, 0);
    EXPECT_EQ(OperationAs<TPNStopOperation>(nullptr), nullptr);
    EXPECT_EQ(OperationAs<TPNStartSampleRateOperation>(LOperations[1])->SampleRate, 2);
}
