// SPDX-License-Identifier: MIT
// The audio buffer: format bookkeeping, saturating arithmetic per width,
// CopyTo between widths and channel counts against hand-computed tables,
// bounds, Resize and shared memory.
#include "SNAudioBuffer.h"
#include "TestSamples.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <string>
#include <tuple>
#include <vector>

namespace Sonorix {
namespace {

using TSamples = std::vector<int64_t>;
using Test::PutSample;

// All samples, interleaved.
TSamples Samples(const ISNAudioBuffer& ABuffer)
{
    TSamples LResult;
    for (uint32_t f = 0; f < ABuffer.GetSize(); ++f)
        for (uint32_t c = 0; c < ABuffer.GetChannels(); ++c)
            LResult.push_back(ABuffer.GetItem(f, c));
    return LResult;
}

ISNAudioBufferPtr MakeBuffer(uint32_t ABits, uint32_t AChannels, const TSamples& AInterleaved,
                             uint32_t ARate = 48000)
{
    auto LBuffer =
        TSNAudioBuffer::CreateSize(ARate, ABits, AChannels, static_cast<uint32_t>(AInterleaved.size() / AChannels));
    for (size_t i = 0; i < AInterleaved.size(); ++i)
        PutSample(*LBuffer, static_cast<uint32_t>(i / AChannels), static_cast<uint32_t>(i % AChannels),
                  AInterleaved[i]);
    return LBuffer;
}

// Runs AStatement and returns the what() of the exception it throws.
template <class TException, class F>
std::string MessageOf(F AStatement)
{
    try {
        AStatement();
    } catch (const TException& LError) {
        return LError.what();
    }
    ADD_FAILURE() << "nothing thrown";
    return {};
}

struct TWidth {
    uint32_t Bits;
    int64_t Min, Max, Zero; // Zero: the stored value of silence
};
const TWidth CWidths[] = {
    {8, 0, 255, 128}, {16, INT16_MIN, INT16_MAX, 0}, {24, -8388608, 8388607, 0}, {32, INT32_MIN, INT32_MAX, 0}};

TEST(AudioBufferWidthTest, FormatSilenceReadsResizeAndBounds)
{
    for (const TWidth& W : CWidths) {
        SCOPED_TRACE(W.Bits);
        const int64_t z = W.Zero;
        const auto LEmpty = TSNAudioBuffer::CreateSize(44100, W.Bits, 2, 7);
        const uint32_t LBytes = W.Bits / 8;
        EXPECT_EQ(LEmpty->GetChannelMask(), SPEAKER_FRONT_LEFT | SPEAKER_FRONT_RIGHT);
        EXPECT_EQ(LEmpty->GetByteSize(), 7 * 2 * LBytes);
        const WAVEFORMATEXTENSIBLE LFormat = LEmpty->GetWaveFormat();
        EXPECT_EQ(LFormat.Format.nBlockAlign, 2 * LBytes);
        EXPECT_EQ(LFormat.Format.nAvgBytesPerSec, 44100 * 2 * LBytes);
        EXPECT_EQ(LFormat.Samples.wValidBitsPerSample, W.Bits);
        EXPECT_EQ(Samples(*LEmpty), TSamples(14, z));
        const auto LBuffer = MakeBuffer(W.Bits, 3, {W.Min, W.Max, z, z + 1, z - 1, W.Max - 1});
        EXPECT_EQ(Samples(*LBuffer), (TSamples{W.Min, W.Max, z, z + 1, z - 1, W.Max - 1}));
        EXPECT_THROW(LBuffer->GetItem(0, 3), std::out_of_range);
        const std::string LMessage = MessageOf<std::out_of_range>([&] { LBuffer->GetItem(5, 1); });
        EXPECT_NE(LMessage.find("frame 5"), std::string::npos) << LMessage;
        EXPECT_NE(LMessage.find("2 frames"), std::string::npos) << LMessage;
        EXPECT_THROW(LBuffer->GetItem(2, 0), std::out_of_range);
        // Resize keeps the leading frames and silences new ones; growing
        // again must not bring back dropped frames.
        LBuffer->Resize(3);
        EXPECT_EQ(LBuffer->GetByteSize(), size_t{3} * LBuffer->GetDataStep());
        EXPECT_EQ(Samples(*LBuffer), (TSamples{W.Min, W.Max, z, z + 1, z - 1, W.Max - 1, z, z, z}));
        LBuffer->Resize(1);
        LBuffer->Resize(2);
        EXPECT_EQ(Samples(*LBuffer), (TSamples{W.Min, W.Max, z, z, z, z}));
        LBuffer->Zero();
        EXPECT_EQ(Samples(*LBuffer), TSamples(6, z));
        LBuffer->Resize(0);
        EXPECT_EQ(LBuffer->GetSize(), 0u);
    }
}

// Rounding and the other factors: the kernels' own MultiplyByRealTest.
TEST(AudioBufferWidthTest, MultiplyAndAddSaturateAndRefuseOtherLayouts)
{
    for (const TWidth& W : CWidths) {
        SCOPED_TRACE(W.Bits);
        const int64_t z = W.Zero;
        const auto LDoubled = MakeBuffer(W.Bits, 2, {W.Max, W.Min, W.Max - 1, z + 3});
        LDoubled->MultiplyByReal(2.0);
        EXPECT_EQ(Samples(*LDoubled), (TSamples{W.Max, W.Min, W.Max, z + 6}));
        const auto LSum = MakeBuffer(W.Bits, 2, {W.Max, W.Min, z + 5, z - 1, z, W.Max});
        const auto LOther = MakeBuffer(W.Bits, 2, {z + 1, z - 1, z + 7, W.Max, W.Min, W.Min});
        LSum->Add(*LOther);
        EXPECT_EQ(Samples(*LSum), (TSamples{W.Max, W.Min, z + 12, W.Max - 1, W.Min, W.Max + W.Min - z}));
        EXPECT_EQ(Samples(*LOther), (TSamples{z + 1, z - 1, z + 7, W.Max, W.Min, W.Min})) << "only read";
        // Only the frames both buffers have.
        const auto LLong = MakeBuffer(W.Bits, 1, {z + 1, z + 2, z + 3, z + 4});
        const auto LShort = MakeBuffer(W.Bits, 1, {z + 10, z + 20});
        LLong->Add(*LShort);
        EXPECT_EQ(Samples(*LLong), (TSamples{z + 11, z + 22, z + 3, z + 4}));
        LShort->Add(*LLong);
        EXPECT_EQ(Samples(*LShort), (TSamples{z + 21, z + 42}));
        const auto LStereo = TSNAudioBuffer::CreateSize(48000, W.Bits, 2, 4);
        const auto LMono = TSNAudioBuffer::CreateSize(48000, W.Bits, 1, 4);
        const std::string LMessage = MessageOf<EAssertionFailed>([&] { LStereo->Add(*LMono); });
        const std::string LBits = "48000 Hz, " + std::to_string(W.Bits) + " bits, ";
        EXPECT_NE(LMessage.find(LBits + "1 channel"), std::string::npos) << LMessage;
        EXPECT_NE(LMessage.find(LBits + "2 channels"), std::string::npos) << LMessage;
        EXPECT_THROW(LStereo->Add(*TSNAudioBuffer::CreateSize(44100, W.Bits == 16 ? 24 : 16, 2, 4)), EAssertionFailed);
        EXPECT_EQ(Samples(*LStereo), TSamples(8, z));
    }
}

TEST(AudioBufferWidthTest, CopyToSameFormatHonoursOffsetsAndChecksBothRanges)
{
    for (const TWidth& W : CWidths) {
        SCOPED_TRACE(W.Bits);
        TSamples LValues;
        for (int64_t i = 0; i < 20; ++i)
            LValues.push_back(W.Zero + (i % 2 == 0 ? i : -i));
        const auto LSource = MakeBuffer(W.Bits, 2, LValues);
        const auto LDest = TSNAudioBuffer::CreateSize(22050, W.Bits, 2, 8);
        LSource->CopyTo(2, *LDest, 3, 4);
        TSamples LExpected(16, W.Zero);
        std::copy(LValues.begin() + 4, LValues.begin() + 12, LExpected.begin() + 6);
        EXPECT_EQ(Samples(*LDest), LExpected);
        EXPECT_EQ(LDest->GetSamplesPerSecond(), 22050u) << "the destination keeps its rate";
        // Within one buffer, overlapping.
        const auto LBuffer = MakeBuffer(W.Bits, 1, {W.Zero + 1, W.Zero + 2, W.Zero + 3, W.Zero + 4, W.Zero + 5});
        LBuffer->CopyTo(0, *LBuffer, 1, 4);
        EXPECT_EQ(Samples(*LBuffer), (TSamples{W.Zero + 1, W.Zero + 1, W.Zero + 2, W.Zero + 3, W.Zero + 4}));
        const auto LSix = MakeBuffer(W.Bits, 1, TSamples(6, W.Max));
        const auto LFour = TSNAudioBuffer::CreateSize(48000, 16, 2, 4);
        const std::string LSourceMessage = MessageOf<std::out_of_range>([&] { LSix->CopyTo(4, *LFour, 0, 3); });
        EXPECT_NE(LSourceMessage.find("offset 4"), std::string::npos) << LSourceMessage;
        EXPECT_NE(LSourceMessage.find("6 frames"), std::string::npos) << LSourceMessage;
        const std::string LDestMessage = MessageOf<std::out_of_range>([&] { LSix->CopyTo(0, *LFour, 2, 3); });
        EXPECT_NE(LDestMessage.find("offset 2"), std::string::npos) << LDestMessage;
        EXPECT_NE(LDestMessage.find("4 frames"), std::string::npos) << LDestMessage;
        // Offsets near 2^32 must not wrap around.
        EXPECT_THROW(LSix->CopyTo(0xFFFFFFFFu, *LFour, 0, 2), std::out_of_range);
        EXPECT_THROW(LSix->CopyTo(0, *LFour, 0xFFFFFFFFu, 2), std::out_of_range);
        EXPECT_EQ(Samples(*LFour), TSamples(8, 0)) << "nothing written on failure";
        // Ranges that end exactly at the ends are fine, and so is an empty one.
        LSix->CopyTo(2, *LFour, 0, 4);
        LSix->CopyTo(6, *LFour, 4, 0);
    }
}

TEST(AudioBufferWidthTest, UniversalBuffersShareTheBlockCopiesAreIndependentAndAssignTakesAll)
{
    for (const TWidth& W : CWidths) {
        SCOPED_TRACE(W.Bits);
        const uint32_t LBytes = W.Bits / 8;
        // Three stereo frames and a partial one.
        const auto LBlock = TDGBlockBuffer::CreateSize(3 * 2 * LBytes + 1);
        const auto LBuffer = TSNAudioBuffer::CreateUniversal(MakeWaveFormat(32000, W.Bits, 2), LBlock);
        EXPECT_EQ(LBuffer->GetSize(), 3u);
        EXPECT_EQ(LBuffer->Read(), LBlock->Read());
        PutSample(*LBuffer, 2, 1, W.Max);
        EXPECT_EQ(static_cast<const uint8_t*>(LBlock->Read())[(2 * 2 + 1) * LBytes + LBytes - 1],
                  W.Bits == 8 ? 0xFF : 0x7F);
        static_cast<uint8_t*>(LBlock->Modify())[0] = 0x01;
        EXPECT_EQ(LBuffer->GetItem(0, 0), 1);
        // Resize works on the shared block itself; the frame count follows the block.
        LBuffer->Resize(4);
        EXPECT_EQ(LBlock->GetSize(), 4 * 2 * LBytes);
        EXPECT_EQ(LBuffer->GetItem(3, 0), W.Zero);
        LBlock->Resize(2 * LBytes);
        EXPECT_EQ(LBuffer->GetSize(), 1u);
        const auto LSource = TSNAudioBuffer::CreateSizeEx(8000, W.Bits, 3, 2, 0x7);
        PutSample(*LSource, 1, 2, W.Min);
        const auto LCopy = TSNAudioBuffer::CreateCopy(*LSource);
        EXPECT_EQ(LCopy->GetChannelMask(), 0x7u);
        EXPECT_EQ(LCopy->GetSamplesPerSecond(), 8000u);
        PutSample(*LSource, 1, 2, W.Max);
        EXPECT_EQ(LCopy->GetItem(1, 2), W.Min);
        EXPECT_EQ(LCopy->GetItem(1, 1), W.Zero);
        const auto LThree = MakeBuffer(W.Bits, 3, {W.Min, W.Zero, W.Max});
        const auto LTarget = TSNAudioBuffer::CreateSize(11025, W.Bits == 8 ? 16 : 8, 1, 50);
        LTarget->Assign(*LThree);
        EXPECT_EQ(LTarget->GetBitsPerSample(), W.Bits);
        EXPECT_EQ(LTarget->GetSamplesPerSecond(), 48000u);
        LTarget->Assign(*LTarget);
        EXPECT_EQ(Samples(*LTarget), (TSamples{W.Min, W.Zero, W.Max}));
    }
}

// What CopyTo makes of a stored value: scaled by 2^(to - from) and floored
// (widening shifts left, narrowing shifts right arithmetically); 8-bit
// samples are offset by 128.
int64_t Converted(int64_t AValue, uint32_t AFrom, uint32_t ATo)
{
    const double LScaled = std::ldexp(double(AFrom == 8 ? AValue - 128 : AValue), int(ATo) - int(AFrom));
    return static_cast<int64_t>(std::floor(LScaled)) + (ATo == 8 ? 128 : 0);
}

TEST(CopyToTest, ConvertsEverySampleOfBothChannelsBetweenAnyTwoWidths)
{
    // Values either side of every rounding boundary of each width.
    const std::pair<uint32_t, TSamples> LValues[] = {
        {8, {0, 1, 127, 128, 129, 255}},
        {16, {-32768, -32767, -257, -256, -1, 0, 1, 255, 256, 32767}},
        {24, {-8388608, -8388607, -65537, -65536, -257, -256, -1, 0, 255, 256, 65535, 65536, 8388607}},
        {32, {INT32_MIN, INT32_MIN + 1, -16777217, -16777216, -65537, -65536, -257, -256, -1, 0, 255, 256, 65535,
              65536, 16777215, 16777216, INT32_MAX}}};
    for (const auto& [LFrom, LSource] : LValues)
        for (const uint32_t LTo : {8u, 16u, 24u, 32u}) {
            SCOPED_TRACE(std::to_string(LFrom) + " to " + std::to_string(LTo) + " bits");
            // The left channel holds the values, the right the same reversed;
            // one silent frame either side of the copied range.
            const size_t n = LSource.size();
            const int64_t LSilence = LTo == 8 ? 128 : 0;
            TSamples LStereo, LExpected{LSilence, LSilence};
            for (size_t i = 0; i < n; ++i) {
                LStereo.insert(LStereo.end(), {LSource[i], LSource[n - 1 - i]});
                LExpected.insert(LExpected.end(),
                                 {Converted(LSource[i], LFrom, LTo), Converted(LSource[n - 1 - i], LFrom, LTo)});
            }
            LExpected.insert(LExpected.end(), {LSilence, LSilence});
            const auto LDest = TSNAudioBuffer::CreateSize(8000, LTo, 2, static_cast<uint32_t>(n + 2));
            MakeBuffer(LFrom, 2, LStereo)->CopyTo(0, *LDest, 1, static_cast<uint32_t>(n));
            EXPECT_EQ(Samples(*LDest), LExpected);
        }
    // By hand, the extremes: 255 at 8 bits is 2130706432 at 32; INT32_MIN + 1 is -32768 at 16.
    EXPECT_EQ(Converted(255, 8, 32), 2130706432);
    EXPECT_EQ(Converted(INT32_MIN + 1, 32, 16), -32768);
    EXPECT_EQ(Converted(-257, 24, 8), 127);
}

TEST(CopyToTest, MapsChannels)
{
    // Two frames each; a mono destination takes the floored mean
    // ((10 + 21) / 2 = 15.5 -> 15, (-7 - 8) / 2 = -7.5 -> -8, 61 / 3 -> 20,
    // -25 / 3 -> -9).
    const TSamples LMono{10, -7}, LStereo{10, 21, -7, -8}, LThree{10, 21, 30, -7, -8, -10};
    const std::tuple<uint32_t, TSamples, uint32_t, TSamples> LCases[] = {
        {1, LMono, 1, LMono},          {1, LMono, 2, {10, 10, -7, -7}}, {1, LMono, 3, {10, 10, 10, -7, -7, -7}},
        {2, LStereo, 1, {15, -8}},     {2, LStereo, 2, LStereo},        {2, LStereo, 3, {10, 21, 0, -7, -8, 0}},
        {3, LThree, 1, {20, -9}},      {3, LThree, 2, {10, 21, -7, -8}}, {3, LThree, 3, LThree},
        {2, LStereo, 6, {10, 21, 0, 0, 0, 0, -7, -8, 0, 0, 0, 0}}};
    for (const auto& [LFrom, LSource, LTo, LExpected] : LCases) {
        SCOPED_TRACE(std::to_string(LFrom) + " to " + std::to_string(LTo) + " channels");
        // Old content everywhere, so that channels the source lacks must be cleared.
        const auto LDest = MakeBuffer(16, LTo, TSamples(2 * LTo, 12345));
        MakeBuffer(16, LFrom, LSource)->CopyTo(0, *LDest, 0, 2);
        EXPECT_EQ(Samples(*LDest), LExpected);
    }
}

TEST(CopyToMixedTest, WidthAndChannelsTogether)
{
    // 16-bit stereo to 8-bit with four channels: 256 -> 1, -512 -> -2, the rest silent.
    const auto LStereo16 = MakeBuffer(16, 2, {256, -512});
    const auto LQuad8 = MakeBuffer(8, 4, {7, 7, 7, 7});
    LStereo16->CopyTo(0, *LQuad8, 0, 1);
    EXPECT_EQ(Samples(*LQuad8), (TSamples{129, 126, 128, 128}));
    // Means are taken at the destination width: 8-bit (+1, +2) is 1.5, 384 at 16 bits.
    const auto LStereo8 = MakeBuffer(8, 2, {129, 130});
    const auto LMono16 = TSNAudioBuffer::CreateSize(48000, 16, 1, 1);
    LStereo8->CopyTo(0, *LMono16, 0, 1);
    EXPECT_EQ(LMono16->GetItem(0, 0), 384);
    // 16-bit (256, 513) averages 384.5, which is 1.502 at 8 bits -> 1; (-1, -2) -> -0.006 -> -1.
    const auto LPairs = MakeBuffer(16, 2, {256, 513, -1, -2});
    const auto LMono8 = TSNAudioBuffer::CreateSize(48000, 8, 1, 2);
    LPairs->CopyTo(0, *LMono8, 0, 2);
    EXPECT_EQ(Samples(*LMono8), (TSamples{129, 127}));
    // 8-bit mono 200 (+72) into 24-bit stereo.
    const auto LMono8Source = MakeBuffer(8, 1, {200});
    const auto LStereo24 = TSNAudioBuffer::CreateSize(48000, 24, 2, 1);
    LMono8Source->CopyTo(0, *LStereo24, 0, 1);
    EXPECT_EQ(Samples(*LStereo24), (TSamples{72 << 16, 72 << 16}));
    // Full-scale 32-bit channels do not overflow the mean.
    const auto LThree32 = MakeBuffer(32, 3, {INT32_MAX, INT32_MAX, INT32_MAX, INT32_MIN, INT32_MIN, INT32_MIN,
                                             INT32_MAX, INT32_MIN, 0});
    const auto LMono16b = TSNAudioBuffer::CreateSize(48000, 16, 1, 3);
    LThree32->CopyTo(0, *LMono16b, 0, 3);
    EXPECT_EQ(Samples(*LMono16b), (TSamples{32767, -32768, -1}));
}

TEST(AudioBufferFormatTest, RefusesUnsupportedLayoutsFloatAndInconsistentHeadersNamingTheValue)
{
    for (const auto& [LBits, LChannels] : {std::pair{12u, 2u}, {16u, 0u}, {16u, 33u}}) {
        const std::string LMessage =
            MessageOf<EAssertionFailed>([&] { TSNAudioBuffer::CreateSize(48000, LBits, LChannels, 4); });
        EXPECT_NE(LMessage.find(std::to_string(LBits == 12 ? LBits : LChannels)), std::string::npos) << LMessage;
    }
    EXPECT_NO_THROW(TSNAudioBuffer::CreateSize(48000, 16, 32, 4));
    EXPECT_THROW(TSNAudioBuffer::CreateWaveFormat(MakeWaveFormat(48000, 20, 2), 4), EAssertionFailed);
    WAVEFORMATEXTENSIBLE LFloat = MakeWaveFormat(48000, 32, 2);
    LFloat.SubFormat = KSDATAFORMAT_SUBTYPE_IEEE_FLOAT;
    EXPECT_THROW(TSNAudioBuffer::CreateWaveFormat(LFloat, 4), EAssertionFailed);
    WAVEFORMATEXTENSIBLE LFloatTag = MakeWaveFormat(48000, 32, 2);
    LFloatTag.Format.wFormatTag = WAVE_FORMAT_IEEE_FLOAT;
    EXPECT_THROW(TSNAudioBuffer::CreateWaveFormat(LFloatTag, 4), EAssertionFailed);
    WAVEFORMATEXTENSIBLE LPadded = MakeWaveFormat(48000, 24, 2);
    LPadded.Format.nBlockAlign = 8;
    const std::string LMessage = MessageOf<EAssertionFailed>([&] { TSNAudioBuffer::CreateWaveFormat(LPadded, 4); });
    EXPECT_NE(LMessage.find("8"), std::string::npos) << LMessage;
    EXPECT_NE(LMessage.find("6 expected"), std::string::npos) << LMessage;
    EXPECT_THROW(TSNAudioBuffer::CreateUniversal(MakeWaveFormat(48000, 16, 2), nullptr), EAssertionFailed);
}

// Descriptions: in MultiplyAndAdd...; block sizes: in FormatSilenceReads...
TEST(AudioBufferFormatTest, DefaultChannelMasksAndPlainAndExtensibleHeaders)
{
    const std::pair<unsigned, uint32_t> LMasks[] = {{1, 0x4}, {2, 0x3}, {3, 0x7}, {4, 0x33}, {5, 0x37},
                                                    {6, 0x3F}, {8, 0xFF}, {32, 0xFFFFFFFF}};
    for (const auto& [LChannels, LMask] : LMasks)
        EXPECT_EQ(DefaultChannelMask(LChannels), LMask) << LChannels;
    WAVEFORMATEXTENSIBLE LPlain{};
    LPlain.Format.wFormatTag = WAVE_FORMAT_PCM;
    LPlain.Format.nChannels = 1;
    LPlain.Format.nSamplesPerSec = 22050;
    LPlain.Format.wBitsPerSample = 8;
    LPlain.Format.nBlockAlign = 1;
    const auto LMono = TSNAudioBuffer::CreateWaveFormat(LPlain, 5);
    EXPECT_EQ(LMono->GetChannelMask(), SPEAKER_FRONT_CENTER);
    EXPECT_EQ(Samples(*LMono), TSamples(5, 128));
    const auto LSurround =
        TSNAudioBuffer::CreateWaveFormat(MakeWaveFormat(96000, 24, 6, SPEAKER_FRONT_LEFT | SPEAKER_FRONT_RIGHT), 2);
    EXPECT_EQ(LSurround->GetChannelMask(), SPEAKER_FRONT_LEFT | SPEAKER_FRONT_RIGHT);
    EXPECT_EQ(LSurround->GetWaveFormat().Format.nAvgBytesPerSec, 96000u * 18);
}

TEST(AudioBufferBoundsTest, ArithmeticStaysInsideAViewsFrames)
{
    // A view whose block ends in a partial frame: the trailing bytes are no
    // frame of the buffer, and whole-buffer operations must leave them alone.
    for (const uint32_t LBits : {8u, 16u, 24u, 32u}) {
        SCOPED_TRACE(LBits);
        const uint32_t LBytes = LBits / 8;
        auto LBlock = TDGBlockBuffer::CreateSize(3 * LBytes + LBytes - 1);
        uint8_t* LData = static_cast<uint8_t*>(LBlock->Write());
        std::memset(LData, 0x11, LBlock->GetSize());
        const auto LBuffer = TSNAudioBuffer::CreateUniversal(MakeBuffer(LBits, 1, {1})->GetWaveFormat(), LBlock);
        ASSERT_EQ(LBuffer->GetSize(), 3u);
        const auto LOther = MakeBuffer(LBits, 1, {1, 1, 1});
        LBuffer->MultiplyByReal(2.0);
        LBuffer->Add(*LOther);
        LBuffer->Zero();
        for (uint32_t i = 3 * LBytes; i < LBlock->GetSize(); ++i)
            EXPECT_EQ(static_cast<const uint8_t*>(LBlock->Read())[i], 0x11) << "byte " << i;
    }
}

} // namespace
} // namespace Sonorix
