// SPDX-License-Identifier: MIT
// Writing and comparing samples of any width in tests.
#pragma once

#include "SNAudioBuffer.h"

#include <cstdint>
#include <cstring>

namespace Sonorix::Test {

// Stores a value (raw 0..255 for 8 bits, signed otherwise) at a frame and
// channel of a buffer.
inline void PutSample(ISNAudioBuffer& ABuffer, uint32_t AFrame, uint32_t AChannel, int32_t AValue)
{
    const uint32_t LBytes = ABuffer.GetBitsPerSample() / 8;
    uint8_t* LTarget = ABuffer.ByteWrite() + size_t{AFrame} * ABuffer.GetDataStep() + size_t{AChannel} * LBytes;
    // Little-endian: the low bytes of the value are the sample.
    for (uint32_t I = 0; I < LBytes; ++I)
        LTarget[I] = static_cast<uint8_t>(static_cast<uint32_t>(AValue) >> (8 * I));
}

// Whether two buffers hold the same format and samples.
inline bool SameSamples(const ISNAudioBuffer& A, const ISNAudioBuffer& B)
{
    return A.GetSize() == B.GetSize() && A.GetChannels() == B.GetChannels() &&
           A.GetBitsPerSample() == B.GetBitsPerSample() && A.GetByteSize() == B.GetByteSize() &&
           std::memcmp(A.ByteRead(), B.ByteRead(), A.GetByteSize()) == 0;
}

} // namespace Sonorix::Test
