// SPDX-License-Identifier: MIT
// The header packet that opens a libav packet stream: which codec, and what
// the decoder must know before the first packet.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace Sonorix::LAV {

struct TLAVCodecHeader {
    std::string CodecName;
    uint32_t SampleRate = 0;
    uint32_t Channels = 0;
    uint32_t ChannelMask = 0;
    uint32_t Bits = 0;
    int32_t FrameSize = 0;
    int32_t InitialPadding = 0;
    std::vector<uint8_t> ExtraData;
};

// "SNLAVCP1", then the fields little-endian, the name and the extra data
// each after a 32-bit length.
std::vector<uint8_t> WriteCodecHeader(const TLAVCodecHeader& AHeader);
// False when AData is not a well-formed header (lengths are checked against
// ASize; a name over 64 bytes or extra data over 1 MiB is refused).
bool ReadCodecHeader(const uint8_t* AData, size_t ASize, TLAVCodecHeader& AHeader);

} // namespace Sonorix::LAV
