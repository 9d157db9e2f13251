// SPDX-License-Identifier: MIT
#include "DGBuffers.h"
#include "DGThreading.h"
#include "SNAmplifier.h"
#include "SNSignalGen.h"
#include "CVPlainClass.h"
#include "TestComponents.h"
#include "TestSamples.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <new>
#include <stdexcept>

// Counts the heap allocations of the whole process. Not under a sanitizer,
// whose own operator new checks more than this one would.
#if defined(__has_feature)
#if __has_feature(address_sanitizer) || __has_feature(thread_sanitizer)
#define SN_SANITIZED 1
#endif
#endif
#if !defined(__SANITIZE_ADDRESS__) && !defined(__SANITIZE_THREAD__) && !defined(SN_SANITIZED)
#define SN_COUNTS_ALLOCATIONS 1
namespace {
std::atomic<uint64_t> GHeapAllocations{0};
}
void* operator new(size_t ABytes)
{
    GHeapAllocations.fetch_add(1, std::memory_order_relaxed);
    if (void* LMemory = std::malloc(ABytes ? ABytes : 1))
        return LMemory;
    throw std::bad_alloc();
}
void operator delete(void* AMemory) noexcept
{
    std::free(AMemory);
}
void operator delete(void* AMemory, size_t /*ABytes*/) noexcept
{
    std::free(AMemory);
}
#endif

namespace Sonorix {
namespace {

TEST(BlockBufferTest, StartsZeroedAndKeepsLeadingBytesOnResize)
{
    const auto LBlock = TDGBlockBuffer::CreateSize(5);
    ASSERT_EQ(LBlock->GetSize(), 5u);
    const uint8_t LZeros[5] = {};
    EXPECT_EQ(std::memcmp(LBlock->Read(), LZeros, 5), 0);
    std::memcpy(LBlock->Write(), "abcde", 5);
    EXPECT_EQ(LBlock->Modify(), LBlock->Write());
    LBlock->Resize(1000);
    ASSERT_EQ(LBlock->GetSize(), 1000u);
    const auto* LBytes = static_cast<const uint8_t*>(LBlock->Read());
    EXPECT_EQ(std::memcmp(LBytes, "abcde", 5), 0);
    EXPECT_EQ(LBytes[5], 0);
    EXPECT_EQ(LBytes[999], 0);
    LBlock->Resize(2);
    LBlock->Resize(4);
    EXPECT_EQ(std::memcmp(LBlock->Read(), "ab\0\0", 4), 0) << "bytes cut off do not come back";
}

TEST(RealBufferTest, ItemsResizeAndZero)
{
    const auto LValues = TDGRealBuffer::CreateSize(3);
    EXPECT_EQ(LValues->GetSize(), 3u);
    EXPECT_EQ(LValues->GetItem(2), 0.0);
    LValues->SetItem(0, 1.5);
    LValues->Modify()[1] = -2.25;
    EXPECT_EQ(LValues->Read()[0], 1.5);
    EXPECT_EQ(LValues->GetItem(1), -2.25);
    EXPECT_THROW(LValues->GetItem(3), std::out_of_range);
    EXPECT_THROW(LValues->SetItem(3, 1.0), std::out_of_range);
    LValues->Resize(5);
    EXPECT_EQ(LValues->GetItem(0), 1.5);
    EXPECT_EQ(LValues->GetItem(4), 0.0);
    const auto LCopy = TDGRealBuffer::CreateCopy(*LValues);
    LValues->Zero();
    EXPECT_EQ(LValues->GetItem(0), 0.0);
    EXPECT_EQ(LCopy->GetItem(0), 1.5);
    EXPECT_EQ(LCopy->GetSize(), 5u);
}


// Claims the pump, checks every buffer with ACheck and lets it go.
class TDroppingPump : public TLockComponent {
public:
    explicit TDroppingPump(std::function<void(const ISNAudioBuffer&)> ACheck = {})
        : FCheck(std::move(ACheck)), FInputPin(this, "InputPin")
    {
        FInputPin.SetDispatch([this](TPNPin&, const IPNNotifyOperationPtr& AOperation) {
            if (auto* LRequest = OperationAs<TPNPumpRequestOperation>(AOperation))
                LRequest->Claim(this, ptMaster, 0);
            else if (auto* LBuffer = OperationAs<TPNSuppliedBufferOperation>(AOperation)) {
                if (FCheck)
                    FCheck(*LBuffer->AudioBuffer);
                Buffers.fetch_add(1);
            }
            return true;
        });
    }
    static const TClassDescription& ClassDescription() { return PlainClassDescription<"TDroppingPump">(); }
    const TClassDescription& GetClassDescription() const override { return ClassDescription(); }
    TSNPNAudioSinkPin& GetInputPin() { return FInputPin; }
    std::atomic<int> Buffers{0};

private:
    std::function<void(const ISNAudioBuffer&)> FCheck;
    TSNPNAudioSinkPin FInputPin;
};

TEST(BufferPoolTest, SteadyStreamTakesNothingFromTheHeapAndNoBufferIsReusedWhileHeld)
{
    // Generator, amplifier, sink, stepped by the sink's pump: after the
    // first buffers every piece comes back from the pool.
    {
        TSNSignalGen LGen;
        LGen.SetFrequency(1000);
        TSNAmplifier LAmplifier;
        LAmplifier.SetCoefficient(0.5);
        TDroppingPump LSink;
        LGen.GetOutputPin().Connect(LAmplifier.GetInputPin());
        LAmplifier.GetOutputPin().Connect(LSink.GetInputPin());
        LGen.StartSource();
        const auto LTick = std::make_shared<TPNMasterPumpOperation>(&LSink);
        for (int I = 0; I < 20; ++I)
            LSink.GetInputPin().Notify(LTick);
#ifdef SN_COUNTS_ALLOCATIONS
        const uint64_t LBefore = GHeapAllocations.load();
#endif
        for (int I = 0; I < 500; ++I)
            LSink.GetInputPin().Notify(LTick);
#ifdef SN_COUNTS_ALLOCATIONS
        EXPECT_EQ(GHeapAllocations.load() - LBefore, 0u);
#endif
        LGen.StopSource();
        EXPECT_EQ(LSink.Buffers.load(), 520);
    }

    // One pin feeding two threaded amplifiers whose sinks let each buffer go
    // at once: the feeder's next buffers reuse that memory on another
    // thread while the other amplifier may still hold the shared input.
    Sonorix::Test::TTestCollector LUpstream;
    TSNPNAudioSourcePin LFeed{&LUpstream, "Feed"};
    TSNAmplifier LA, LB;
    LA.SetCoefficient(3.0);
    LB.SetCoefficient(2.0);
    constexpr uint32_t CFrames = 300;
    const auto LCheck = [](int32_t AFactor) {
        return [AFactor](const ISNAudioBuffer& ABuffer) {
            const int32_t LFirst = ABuffer.GetItem(0, 0) / AFactor;
            for (uint32_t F = 0; F < CFrames; ++F)
                ASSERT_EQ(ABuffer.GetItem(F, 1), (LFirst + static_cast<int32_t>(F)) * AFactor) << F;
        };
    };
    TDroppingPump LTriple(LCheck(3)), LDouble(LCheck(2));
    LFeed.Connect(LA.GetInputPin());
    LFeed.Connect(LB.GetInputPin());
    LA.GetOutputPin().Connect(LTriple.GetInputPin());
    LB.GetOutputPin().Connect(LDouble.GetInputPin());
    for (TSNAmplifier* LAmp : {&LA, &LB})
        LAmp->GetThreading().SetEnabled(true);
    constexpr int CBuffers = 2000;
    for (int I = 0; I < CBuffers; ++I) {
        ISNAudioBufferPtr LBuffer = TSNAudioBuffer::CreateSize(48000, 16, 2, CFrames);
        for (uint32_t F = 0; F < CFrames; ++F)
            for (uint32_t C = 0; C < 2; ++C)
                Sonorix::Test::PutSample(*LBuffer, F, C, I % 1000 + static_cast<int32_t>(F));
        LFeed.SendBuffer(std::move(LBuffer));
    }
    for (TSNAmplifier* LAmp : {&LA, &LB})
        LAmp->GetThreading().SetEnabled(false);
    EXPECT_EQ(LTriple.Buffers.load(), CBuffers);
    EXPECT_EQ(LDouble.Buffers.load(), CBuffers);
    LFeed.DisconnectAll();
}

} // namespace
} // namespace Sonorix
