// SPDX-License-Identifier: MIT
// Single-sample access at each width's boundaries, by hand-worked bytes.
#include "SNSampleAccess.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <limits>
#include <stdexcept>
#include <vector>

namespace Sonorix {
namespace {

using T8 = TSNSampleWidth<8>;
using T16 = TSNSampleWidth<16>;
using T24 = TSNSampleWidth<24>;
using T32 = TSNSampleWidth<32>;

TEST(SNSampleAccess, ReadsAndWritesEveryWidthAtItsLimits)
{
    // 8 bits: unsigned, 0x80 is silence.
    uint8_t L8[] = {0x80, 0x00, 0xFF};
    EXPECT_EQ(ReadSample<T8>(L8, 0), 0);
    EXPECT_EQ(ReadSample<T8>(L8, 1), -128);
    EXPECT_EQ(ReadSample<T8>(L8, 2), 127);
    WriteSample<T8>(L8, 0, -129);
    WriteSample<T8>(L8, 1, 128);
    WriteSample<T8>(L8, 2, -1.5); // ties to even: -2
    EXPECT_EQ(std::vector<uint8_t>(L8, L8 + 3), (std::vector<uint8_t>{0x00, 0xFF, 0x7E}));

    uint8_t L16[] = {0x00, 0x80, 0xFF, 0x7F, 0xFF, 0xFF};
    EXPECT_EQ(ReadSample<T16>(L16, 0), -32768);
    EXPECT_EQ(ReadSample<T16>(L16, 1), 32767);
    EXPECT_EQ(ReadSample<T16>(L16, 2), -1);
    WriteSample<T16>(L16, 0, 32768);
    WriteSample<T16>(L16, 1, -40000.0);
    WriteSample<T16>(L16, 2, 2.5);
    EXPECT_EQ(std::vector<uint8_t>(L16, L16 + 6), (std::vector<uint8_t>{0xFF, 0x7F, 0x00, 0x80, 0x02, 0x00}));

    // 24 bits packed: three bytes a sample, the top one carries the sign.
    uint8_t L24[] = {0x00, 0x00, 0x80, 0xFF, 0xFF, 0x7F, 0xFF, 0xFF, 0xFF};
    EXPECT_EQ(ReadSample<T24>(L24, 0), -8388608);
    EXPECT_EQ(ReadSample<T24>(L24, 1), 8388607);
    EXPECT_EQ(ReadSample<T24>(L24, 2), -1);
    WriteSample<T24>(L24, 0, 8388608);
    WriteSample<T24>(L24, 1, -2);
    WriteSample<T24>(L24, 2, -1e9);
    EXPECT_EQ(std::vector<uint8_t>(L24, L24 + 9),
              (std::vector<uint8_t>{0xFF, 0xFF, 0x7F, 0xFE, 0xFF, 0xFF, 0x00, 0x00, 0x80}));

    uint8_t L32[] = {0x00, 0x00, 0x00, 0x80, 0xFF, 0xFF, 0xFF, 0x7F};
    EXPECT_EQ(ReadSample<T32>(L32, 0), std::numeric_limits<int32_t>::min());
    EXPECT_EQ(ReadSample<T32>(L32, 1), std::numeric_limits<int32_t>::max());
    WriteSample<T32>(L32, 0, uint64_t{1} << 63);
    WriteSample<T32>(L32, 1, -3e9);
    EXPECT_EQ(ReadSample<T32>(L32, 0), std::numeric_limits<int32_t>::max());
    EXPECT_EQ(ReadSample<T32>(L32, 1), std::numeric_limits<int32_t>::min());
    WriteSample<T32>(L32, 1, std::nan(""));
    EXPECT_EQ(ReadSample<T32>(L32, 1), 0);
}

TEST(SNSampleAccess, VisitsByWidthAndAddressesFramesAndChannels)
{
    EXPECT_EQ(VisitSampleWidth(24, [](auto AWidth) { return decltype(AWidth)::Bytes; }), 3u);
    EXPECT_THROW(VisitSampleWidth(12, [](auto) { return 0; }), std::invalid_argument);

    for (const uint32_t LBits : {8u, 16u, 24u, 32u}) {
        const ISNAudioBufferPtr LBuffer = TSNAudioBuffer::CreateSize(48000, LBits, 3, 4);
        VisitSampleWidth(LBits, [&](auto AWidth) {
            using TWidth = decltype(AWidth);
            WriteSample<TWidth>(*LBuffer, 2, 1, TWidth::Min);
            EXPECT_EQ(ReadSample<TWidth>(*LBuffer, 2, 1), TWidth::Min);
            EXPECT_EQ(ReadSample<TWidth>(*LBuffer, 2, 0), 0) << LBits;
            EXPECT_EQ(ReadSample<TWidth>(*LBuffer, 2, 2), 0) << LBits;
        });
        // The buffer's own reading agrees: 8-bit GetItem gives the stored byte.
        EXPECT_EQ(LBuffer->GetItem(2, 1), LBits == 8 ? 0 : -(int64_t{1} << (LBits - 1))) << LBits;
    }
}

} // namespace
} // namespace Sonorix
