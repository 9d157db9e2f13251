// SPDX-License-Identifier: MIT
#include "DGBasicDispatcher.h"
#include "DispatchTestKit.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <vector>

using namespace Sonorix;
using Sonorix::Test::RandomValues;
using ::testing::ElementsAre;

namespace {

bool SameBits(double a, double b)
{
    return std::memcmp(&a, &b, sizeof(double)) == 0;
}

} // namespace

TEST(DGBasicDispatcherTest, FIRStateHoldsTheTapsReversedAndAZeroHistory)
{
    const double LTaps[3] = {1.0, 2.0, 3.0};
    FIRState_64f* LState = nullptr;
    ASSERT_EQ(ippsFIRInitAlloc_64f(&LState, LTaps, 3, nullptr), ippStsNoErr);
    EXPECT_EQ(LState->tag, SNFIRState64fTag);
    EXPECT_EQ(LState->tapsLen, 3);
    EXPECT_EQ(LState->dlyIndex, 0);
    EXPECT_THAT(std::vector<double>(LState->taps, LState->taps + 3), ElementsAre(3.0, 2.0, 1.0));
    EXPECT_THAT(std::vector<double>(LState->dlyLine, LState->dlyLine + 6), ::testing::Each(0.0));
    EXPECT_EQ(ippsFIRFree_64f(LState), ippStsNoErr);

    // A given delay line holds the past inputs newest first.
    const double LTens[3] = {1.0, 10.0, 100.0};
    const double LPast[3] = {7.0, 8.0, 9.0}; // x[-1] = 7, x[-2] = 8, x[-3] = 9
    ASSERT_EQ(ippsFIRInitAlloc_64f(&LState, LTens, 3, LPast), ippStsNoErr);
    double y = 0.0;
    ASSERT_EQ(ippsFIROne_64f(1.0, &y, LState), ippStsNoErr);
    EXPECT_EQ(y, 1.0 + 70.0 + 800.0);
    ASSERT_EQ(ippsFIROne_64f(0.0, &y, LState), ippStsNoErr);
    EXPECT_EQ(y, 10.0 + 700.0);
    ippsFIRFree_64f(LState);
}

TEST(DGBasicDispatcherTest, BlockFIRIsBitIdenticalToOneSampleSteps)
{
    for (int n : {1, 2, 3, 7, 8, 41, 101, 1000}) {
        SCOPED_TRACE(n);
        const std::vector<double> LTaps = RandomValues(size_t(n), uint32_t(n), -0.3, 0.3);
        const std::vector<double> LInput = RandomValues(9000, 3 + uint32_t(n), -30000.0, 30000.0);
        FIRState_64f* LOne = nullptr;
        FIRState_64f* LBlock = nullptr;
        ASSERT_EQ(ippsFIRInitAlloc_64f(&LOne, LTaps.data(), n, nullptr), ippStsNoErr);
        ASSERT_EQ(ippsFIRInitAlloc_64f(&LBlock, LTaps.data(), n, nullptr), ippStsNoErr);
        std::vector<double> LExpected(LInput.size()), LActual(LInput.size());
        for (size_t i = 0; i < LInput.size(); ++i)
            ASSERT_EQ(ippsFIROne_64f(LInput[i], &LExpected[i], LOne), ippStsNoErr);
        // Odd pieces, some shorter than the filter, one longer than a chunk,
        // half of them in place.
        std::mt19937 LRandom{static_cast<uint32_t>(n)};
        size_t LDone = 0;
        for (int LPiece = 0; LDone < LInput.size(); ++LPiece) {
            size_t LSize = LPiece == 3 ? 4100 : 1 + LRandom() % 300;
            LSize = std::min(LSize, LInput.size() - LDone);
            if (LPiece % 2) {
                std::copy_n(LInput.begin() + long(LDone), LSize, LActual.begin() + long(LDone));
                ASSERT_EQ(ippsFIR_64f(LActual.data() + LDone, LActual.data() + LDone, int(LSize), LBlock), ippStsNoErr);
            } else {
                ASSERT_EQ(ippsFIR_64f(LInput.data() + LDone, LActual.data() + LDone, int(LSize), LBlock), ippStsNoErr);
            }
            LDone += LSize;
        }
        for (size_t i = 0; i < LInput.size(); ++i)
            ASSERT_TRUE(SameBits(LActual[i], LExpected[i])) << "output " << i;
        // The states agree: both continue alike, one sample at a time.
        EXPECT_EQ(LBlock->dlyIndex, LOne->dlyIndex);
        for (int i = 0; i < 50; ++i) {
            double a = 0.0, b = 0.0;
            ippsFIROne_64f(i * 3.0, &a, LOne);
            ippsFIROne_64f(i * 3.0, &b, LBlock);
            ASSERT_TRUE(SameBits(a, b)) << "after the block, sample " << i;
        }
        ippsFIRFree_64f(LOne);
        ippsFIRFree_64f(LBlock);
    }
}

TEST(DGBasicDispatcherTest, ChecksAndStatusCodes)
{
    const double LTaps[12] = {1, 0, 0, 1, 0, 0, 1, 0, 0, 1, 0, 0};
    FIRState_64f* LFIR = nullptr;
    IIRState_64f* LIIR = nullptr;
    EXPECT_EQ(ippsFIRInitAlloc_64f(nullptr, LTaps, 3, nullptr), ippStsNullPtrErr);
    EXPECT_EQ(ippsFIRInitAlloc_64f(&LFIR, nullptr, 3, nullptr), ippStsNullPtrErr);
    EXPECT_EQ(ippsFIRInitAlloc_64f(&LFIR, LTaps, 0, nullptr), ippStsSizeErr);
    EXPECT_EQ(ippsFIRInitAlloc_64f(&LFIR, LTaps, INT32_MAX, nullptr), ippStsMemAllocErr);
    EXPECT_EQ(LFIR, nullptr) << "nothing written on failure";
    EXPECT_EQ(ippsIIRInitAlloc_64f(&LIIR, LTaps, -1, nullptr), ippStsIIROrderErr);
    const double LNoA0[4] = {1, 1, 0, 1};
    EXPECT_EQ(ippsIIRInitAlloc_64f(&LIIR, LNoA0, 1, nullptr), ippStsDivByZeroErr);
    EXPECT_EQ(ippsIIRInitAlloc_BiQuad_64f(&LIIR, LTaps, 0, nullptr), ippStsIIROrderErr);
    const double LNoB0[6] = {0, 1, 0, 1, 0, 0};
    EXPECT_EQ(ippsIIRInitAlloc_BiQuad_64f(&LIIR, LNoB0, 1, nullptr), ippStsDivByZeroErr);
    EXPECT_EQ(LIIR, nullptr);
    EXPECT_EQ(ippsFIRFree_64f(nullptr), ippStsNullPtrErr);
    EXPECT_EQ(ippsIIRFree_64f(nullptr), ippStsNullPtrErr);
    // A state of the other kind is refused.
    ASSERT_EQ(ippsIIRInitAlloc_64f(&LIIR, LTaps, 2, nullptr), ippStsNoErr);
    EXPECT_EQ(ippsFIRFree_64f(reinterpret_cast<FIRState_64f*>(LIIR)), ippStsContextMatchErr);
    double LBuffer[4] = {1, 2, 3, 4};
    EXPECT_EQ(ippsFIR_64f(LBuffer, LBuffer, 4, reinterpret_cast<FIRState_64f*>(LIIR)), ippStsContextMatchErr);
    EXPECT_EQ(LBuffer[3], 4.0);
    EXPECT_EQ(ippsIIRFree_64f(LIIR), ippStsNoErr);
    ASSERT_EQ(ippsFIRInitAlloc_64f(&LFIR, LTaps, 3, nullptr), ippStsNoErr);
    EXPECT_EQ(ippsFIR_64f(LBuffer, LBuffer, 0, LFIR), ippStsSizeErr);
    EXPECT_EQ(ippsFIR_64f(nullptr, LBuffer, 4, LFIR), ippStsNullPtrErr);
    ippsFIRFree_64f(LFIR);
}

TEST(DGBasicDispatcherTest, VectorHelpers)
{
    double a[5] = {1, 2, 3, 4, 5};
    double b[5] = {10, 20, 30, 40, 50};
    ASSERT_EQ(ippsMulC_64f_I(0.5, a, 5), ippStsNoErr);
    ASSERT_EQ(ippsAdd_64f_I(a, b, 5), ippStsNoErr);
    EXPECT_THAT(b, ElementsAre(10.5, 21, 31.5, 42, 52.5));
    ASSERT_EQ(ippsCopy_64f(b, a, 3), ippStsNoErr);
    EXPECT_THAT(a, ElementsAre(10.5, 21, 31.5, 2, 2.5)) << "only len values";
    EXPECT_EQ(ippsMulC_64f_I(2.0, nullptr, 5), ippStsNullPtrErr);
    EXPECT_EQ(ippsAdd_64f_I(a, b, 0), ippStsSizeErr);
    EXPECT_EQ(ippsCopy_64f(nullptr, a, 1), ippStsNullPtrErr);
}
