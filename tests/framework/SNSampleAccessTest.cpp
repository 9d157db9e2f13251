// SPDX-License-Identifier: MIT
// Single-sample access at each width's boundaries, by hand-worked bytes.
#include "SNSampleAccess.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <stdexcept>
#include <vector>

namespace Sonorix {
namespace {

template <class TWidth>
std::vector<int32_t> ReadAll(const std::vector<uint8_t>& ABytes)
{
    std::vector<int32_t> LValues;
    for (size_t LIndex = 0; LIndex < ABytes.size() / TWidth::Bytes; ++LIndex)
        LValues.push_back(ReadSample<TWidth>(ABytes.data(), LIndex));
    return LValues;
}

TEST(SNSampleAccess, ReadsWritesAndSaturatesAtEveryWidthsLimits)
{
    using T8 = TSNSampleWidth<8>;
    using T16 = TSNSampleWidth<16>;
    using T24 = TSNSampleWidth<24>;
    using T32 = TSNSampleWidth<32>;
    // 8 bits are unsigned around 0x80; 24 bits are packed and sign-extended.
    EXPECT_EQ(ReadAll<T8>({0x80, 0x00, 0xFF}), (std::vector<int32_t>{0, -128, 127}));
    EXPECT_EQ(ReadAll<T16>({0x00, 0x80, 0xFF, 0x7F, 0xFF, 0xFF}), (std::vector<int32_t>{-32768, 32767, -1}));
    EXPECT_EQ(ReadAll<T24>({0x00, 0x00, 0x80, 0xFF, 0xFF, 0x7F, 0xFF, 0xFF, 0xFF}),
              (std::vector<int32_t>{-8388608, 8388607, -1}));
    EXPECT_EQ(ReadAll<T32>({0x00, 0x00, 0x00, 0x80}), (std::vector<int32_t>{INT32_MIN}));
    std::vector<uint8_t> L8(3), L16(6), L24(9, 0x11), L32(8);
    WriteSample<T8>(L8.data(), 0, -129);
    WriteSample<T8>(L8.data(), 1, 128);
    WriteSample<T8>(L8.data(), 2, -1.5); // ties to even: -2
    EXPECT_EQ(L8, (std::vector<uint8_t>{0x00, 0xFF, 0x7E}));
    WriteSample<T16>(L16.data(), 0, 32768);
    WriteSample<T16>(L16.data(), 1, -40000.0);
    WriteSample<T16>(L16.data(), 2, 2.5);
    EXPECT_EQ(L16, (std::vector<uint8_t>{0xFF, 0x7F, 0x00, 0x80, 0x02, 0x00}));
    WriteSample<T24>(L24.data(), 1, -2); // its neighbours keep their bytes
    WriteSample<T24>(L24.data(), 2, -1e9);
    EXPECT_EQ(L24, (std::vector<uint8_t>{0x11, 0x11, 0x11, 0xFE, 0xFF, 0xFF, 0x00, 0x00, 0x80}));
    WriteSample<T32>(L32.data(), 0, uint64_t{1} << 63);
    WriteSample<T32>(L32.data(), 1, -3e9);
    EXPECT_EQ(ReadAll<T32>(L32), (std::vector<int32_t>{INT32_MAX, INT32_MIN}));
    WriteSample<T32>(L32.data(), 1, std::nan(""));
    EXPECT_EQ(ReadSample<T32>(L32.data(), 1), 0);
}

TEST(SNSampleAccess, VisitsByWidthAndAddressesFramesAndChannels)
{
    EXPECT_THROW(VisitSampleWidth(12, [](auto) { return 0; }), std::invalid_argument);
    for (const uint32_t LBits : {8u, 16u, 24u, 32u}) {
        const ISNAudioBufferPtr LBuffer = TSNAudioBuffer::CreateSize(48000, LBits, 3, 4);
        VisitSampleWidth(LBits, [&](auto AWidth) {
            using TWidth = decltype(AWidth);
            WriteSample<TWidth>(*LBuffer, 2, 1, TWidth::Min);
            EXPECT_EQ(ReadSample<TWidth>(*LBuffer, 2, 1), TWidth::Min);
        });
        // The buffer's own reading agrees (8 bits: the stored byte), and no
        // other sample moved.
        EXPECT_EQ(LBuffer->GetItem(2, 1), LBits == 8 ? 0 : -(int64_t{1} << (LBits - 1))) << LBits;
        EXPECT_EQ(LBuffer->GetItem(2, 0), LBits == 8 ? 128 : 0) << LBits;
        EXPECT_EQ(LBuffer->GetItem(2, 2), LBits == 8 ? 128 : 0) << LBits;
    }
}

} // namespace
} // namespace Sonorix
