// SPDX-License-Identifier: MIT
// One sample of an audio buffer at a time, for each width a buffer holds,
// without knowing how the width is laid out in memory.
//
// Values are signed at every width: an 8-bit sample (stored unsigned, 128 is
// silence) reads as stored - 128, so -128 .. 127; a 24-bit sample (three
// bytes, little-endian) is sign-extended. Writing saturates at the width's
// limits; a real value is rounded to nearest with ties to even (as
// ISNAudioBuffer::MultiplyByReal) and NaN writes silence. A sample's index
// in the interleaved bytes is frame * channels + channel.
//
// The width is chosen once per buffer, not per sample:
//
//   VisitSampleWidth(LBuffer->GetBitsPerSample(), [&](auto AWidth) {
//       using TWidth = decltype(AWidth);
//       WriteSample<TWidth>(LBuffer->ByteWrite(), 0, ReadSample<TWidth>(LBuffer->ByteRead(), 0) / 2);
//   });
#pragma once

#include "SNExport.h"

#include "SNAudioBuffer.h"

#include <bit>
#include <cmath>
#include <concepts>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <stdexcept>
#include <string>

namespace Sonorix {
SN_API_BEGIN

// A sample width as a type: its bits, bytes and signed range.
template <uint32_t ABits>
struct TSNSampleWidth {
    static_assert(ABits == 8 || ABits == 16 || ABits == 24 || ABits == 32, "a buffer holds 8, 16, 24 or 32 bits");
    static constexpr uint32_t Bits = ABits;
    static constexpr size_t Bytes = ABits / 8;
    static constexpr int32_t Min = static_cast<int32_t>(-(int64_t{1} << (ABits - 1)));
    static constexpr int32_t Max = static_cast<int32_t>((int64_t{1} << (ABits - 1)) - 1);
};

// Calls AVisitor with the TSNSampleWidth of ABits; std::invalid_argument for
// a width no buffer holds.
template <class F>
decltype(auto) VisitSampleWidth(uint32_t ABits, F&& AVisitor)
{
    switch (ABits) {
    case 8:
        return AVisitor(TSNSampleWidth<8>{});
    case 16:
        return AVisitor(TSNSampleWidth<16>{});
    case 24:
        return AVisitor(TSNSampleWidth<24>{});
    case 32:
        return AVisitor(TSNSampleWidth<32>{});
    default:
        throw std::invalid_argument("VisitSampleWidth: " + std::to_string(ABits) +
                                    " bits is not a sample width of an audio buffer");
    }
}

// The sample at AIndex of interleaved samples, as a signed value.
template <class TWidth>
int32_t ReadSample(const uint8_t* ASamples, size_t AIndex)
{
    const uint8_t* LByte = ASamples + AIndex * TWidth::Bytes;
    if constexpr (TWidth::Bits == 8) {
        return int32_t{LByte[0]} - 128;
    } else if constexpr (std::endian::native == std::endian::little && TWidth::Bits == 16) {
        int16_t LValue;
        std::memcpy(&LValue, LByte, 2);
        return LValue;
    } else if constexpr (std::endian::native == std::endian::little && TWidth::Bits == 32) {
        int32_t LValue;
        std::memcpy(&LValue, LByte, 4);
        return LValue;
    } else {
        uint32_t LBits = 0;
        for (size_t LIndex = 0; LIndex < TWidth::Bytes; ++LIndex)
            LBits |= uint32_t{LByte[LIndex]} << (8 * LIndex);
        // Move the width's sign bit to bit 31, then back with the sign.
        return static_cast<int32_t>(LBits << (32 - TWidth::Bits)) >> (32 - TWidth::Bits);
    }
}

// AValue rounded (ties to even) and saturated to the width's range.
template <class TWidth>
int32_t SaturateSample(double AValue)
{
    if (std::isnan(AValue))
        return 0;
    if (AValue <= double{TWidth::Min})
        return TWidth::Min;
    if (AValue >= double{TWidth::Max})
        return TWidth::Max;
    return static_cast<int32_t>(std::nearbyint(AValue));
}

// Stores AValue, an integer or a real in sample units, at AIndex.
template <class TWidth, class TValue>
    requires std::integral<TValue> || std::floating_point<TValue>
void WriteSample(uint8_t* ASamples, size_t AIndex, TValue AValue)
{
    int32_t LValue = 0;
    if constexpr (std::floating_point<TValue>) {
        LValue = SaturateSample<TWidth>(static_cast<double>(AValue));
    } else if constexpr (std::unsigned_integral<TValue>) {
        LValue = static_cast<uint64_t>(AValue) > static_cast<uint64_t>(TWidth::Max) ? TWidth::Max
                                                                                      : static_cast<int32_t>(AValue);
    } else {
        const int64_t LWide = static_cast<int64_t>(AValue);
        LValue = static_cast<int32_t>(LWide < TWidth::Min ? TWidth::Min : LWide > TWidth::Max ? TWidth::Max : LWide);
    }
    uint8_t* LByte = ASamples + AIndex * TWidth::Bytes;
    if constexpr (TWidth::Bits == 8) {
        LByte[0] = static_cast<uint8_t>(LValue + 128);
    } else {
        const auto LBits = static_cast<uint32_t>(LValue);
        for (size_t LIndex = 0; LIndex < TWidth::Bytes; ++LIndex)
            LByte[LIndex] = static_cast<uint8_t>(LBits >> (8 * LIndex));
    }
}

// The same by frame and channel of a buffer of that width (no range check:
// the caller stays within GetSize() and GetChannels()).
template <class TWidth>
int32_t ReadSample(const ISNAudioBuffer& ABuffer, uint32_t AFrame, uint32_t AChannel)
{
    return ReadSample<TWidth>(ABuffer.ByteRead(), size_t{AFrame} * ABuffer.GetChannels() + AChannel);
}

template <class TWidth, class TValue>
    requires std::integral<TValue> || std::floating_point<TValue>
void WriteSample(ISNAudioBuffer& ABuffer, uint32_t AFrame, uint32_t AChannel, TValue AValue)
{
    WriteSample<TWidth>(ABuffer.ByteWrite(), size_t{AFrame} * ABuffer.GetChannels() + AChannel, AValue);
}

SN_API_END
} // namespace Sonorix
