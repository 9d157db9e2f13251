// SPDX-License-Identifier: MIT
#include "DGBuffers.h"
#include "DGThreading.h"
#include "SNAmplifier.h"
#include "SNSignalGen.h"
#include "TestComponents.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <cstring>
#include <new>
#include <stdexcept>

namespace {
std::atomic<uint64_t> GHeapAllocations{0};
}

// Counts the heap allocations of the whole process. Not under a sanitizer,
// whose own operator new checks more than this one would.
#if !defined(__SANITIZE_ADDRESS__) && !defined(__SANITIZE_THREAD__)
#define SN_COUNTS_ALLOCATIONS 1
// The array forms call these.
void* operator new(size_t ABytes)
{
    GHeapAllocations.fetch_add(1, std::memory_order_relaxed);
    if (void* LMemory = std::malloc(ABytes ? ABytes : 1))
        return LMemory;
    throw std::bad_alloc();
}
void operator delete(void* AMemory) noexcept { std::free(AMemory); }
void operator delete(void* AMemory, size_t /*ABytes*/) noexcept { std::free(AMemory); }
#endif

namespace Sonorix {
namespace {

TEST(BlockBufferTest, BlockAndRealBuffersStartZeroedAndKeepLeadingItemsOnResize)
{
    const auto LBlock = TDGBlockBuffer::CreateSize(5);
    std::memcpy(LBlock->Write(), "abcde", 5);
    LBlock->Resize(1000);
    ASSERT_EQ(LBlock->GetSize(), 1000u);
    const auto* LBytes = static_cast<const uint8_t*>(LBlock->Read());
    EXPECT_EQ(std::memcmp(LBytes, "abcde", 5), 0);
    EXPECT_EQ(LBytes[999], 0);
    LBlock->Resize(2);
    LBlock->Resize(4);
    EXPECT_EQ(std::memcmp(LBlock->Read(), "ab\0\0", 4), 0) << "bytes cut off do not come back";
    const auto LValues = TDGRealBuffer::CreateSize(3);
    EXPECT_EQ(LValues->GetItem(2), 0.0);
    LValues->SetItem(0, 1.5);
    EXPECT_THROW(LValues->GetItem(3), std::out_of_range);
    EXPECT_THROW(LValues->SetItem(3, 1.0), std::out_of_range);
    LValues->Resize(5);
    EXPECT_EQ(LValues->GetItem(0), 1.5);
    EXPECT_EQ(LValues->GetItem(4), 0.0);
    const auto LCopy = TDGRealBuffer::CreateCopy(*LValues);
    LValues->Zero();
    EXPECT_EQ(LValues->GetItem(0), 0.0);
    EXPECT_EQ(LCopy->GetItem(0), 1.5);
}

TEST(BufferPoolTest, SteadyStreamTakesNothingFromTheHeap)
{
    // Generator, amplifier, sink, stepped by the sink's pump: after the
    // first buffers every piece comes back from the pool, even when other
    // sizes filled every size class and the whole budget before.
    for (size_t LSize = 1 << 20; LSize <= (size_t{4} << 20); LSize += 1 << 19) {
        std::vector<void*> LPieces(8);
        for (void*& LPiece : LPieces)
            LPiece = DGPoolAllocate(LSize);
        for (void* LPiece : LPieces)
            DGPoolFree(LPiece, LSize);
    }
    Sonorix::Test::TTestCollector LOwner;
    TSNSignalGen LGen;
    TSNAmplifier LAmplifier;
    TSNPNAudioSinkPin LSink{&LOwner, "Sink"};
    std::atomic<int> LCount{0};
    // The sink claims the pump, counts every buffer and lets it go.
    LSink.SetDispatch([&](TPNPin&, const IPNNotifyOperationPtr& AOperation) {
        if (auto* LRequest = OperationAs<TPNPumpRequestOperation>(AOperation))
            LRequest->Claim(&LOwner, ptMaster, 0);
        LCount += OperationAs<TPNSuppliedBufferOperation>(AOperation) != nullptr;
        return true;
    });
    LGen.GetOutputPin().Connect(LAmplifier.GetInputPin());
    LAmplifier.GetOutputPin().Connect(LSink);
    LGen.StartSource();
    const auto LTick = std::make_shared<TPNMasterPumpOperation>(&LOwner);
    uint64_t LBefore = 0;
    for (int I = 0; I < 520; ++I) {
        LBefore = I == 20 ? GHeapAllocations.load() : LBefore;
        LSink.Notify(LTick);
    }
#ifdef SN_COUNTS_ALLOCATIONS
    EXPECT_EQ(GHeapAllocations.load() - LBefore, 0u);
#endif
    LGen.StopSource();
    EXPECT_EQ(LCount.load(), 520);
}

} // namespace
} // namespace Sonorix
