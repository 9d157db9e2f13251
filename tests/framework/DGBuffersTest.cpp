// SPDX-License-Identifier: MIT
#include "DGBuffers.h"

#include <gtest/gtest.h>

#include <cstring>
#include <stdexcept>

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

} // namespace
} // namespace Sonorix
