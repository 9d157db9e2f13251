// SPDX-License-Identifier: MIT
#include "LAVCodecHeader.h"

#include <cstring>

namespace Sonorix::LAV {

namespace {

constexpr char CMagic[8] = {'S', 'N', 'L', 'A', 'V', 'C', 'P', '1'};

void Put32(std::vector<uint8_t>& AOut, uint32_t AValue)
{
    for (int I = 0; I < 4; ++I)
        AOut.push_back(static_cast<uint8_t>(AValue >> (8 * I)));
}

struct TReader {
    const uint8_t* Data;
    size_t Size;
    size_t Pos = 0;
    bool Get32(uint32_t& AValue)
    {
        if (Size - Pos < 4)
            return false;
        AValue = uint32_t{Data[Pos]} | uint32_t{Data[Pos + 1]} << 8 | uint32_t{Data[Pos + 2]} << 16 |
                 uint32_t{Data[Pos + 3]} << 24;
        Pos += 4;
        return true;
    }
    bool GetBytes(size_t ACount, const uint8_t*& ABytes)
    {
        if (Size - Pos < ACount)
            return false;
        ABytes = Data + Pos;
        Pos += ACount;
        return true;
    }
};

} // namespace

std::vector<uint8_t> WriteCodecHeader(const TLAVCodecHeader& AHeader)
{
    std::vector<uint8_t> LOut(CMagic, CMagic + sizeof(CMagic));
    Put32(LOut, AHeader.SampleRate);
    Put32(LOut, AHeader.Channels);
    Put32(LOut, AHeader.ChannelMask);
    Put32(LOut, AHeader.Bits);
    Put32(LOut, static_cast<uint32_t>(AHeader.FrameSize));
    Put32(LOut, static_cast<uint32_t>(AHeader.InitialPadding));
    Put32(LOut, static_cast<uint32_t>(AHeader.CodecName.size()));
    LOut.insert(LOut.end(), AHeader.CodecName.begin(), AHeader.CodecName.end());
    Put32(LOut, static_cast<uint32_t>(AHeader.ExtraData.size()));
    LOut.insert(LOut.end(), AHeader.ExtraData.begin(), AHeader.ExtraData.end());
    return LOut;
}

bool ReadCodecHeader(const uint8_t* AData, size_t ASize, TLAVCodecHeader& AHeader)
{
    if (ASize < sizeof(CMagic) || std::memcmp(AData, CMagic, sizeof(CMagic)) != 0)
        return false;
    TReader LReader{AData, ASize, sizeof(CMagic)};
    uint32_t LFrameSize = 0, LPadding = 0, LNameSize = 0, LExtraSize = 0;
    const uint8_t* LBytes = nullptr;
    if (!LReader.Get32(AHeader.SampleRate) || !LReader.Get32(AHeader.Channels) ||
        !LReader.Get32(AHeader.ChannelMask) || !LReader.Get32(AHeader.Bits) || !LReader.Get32(LFrameSize) ||
        !LReader.Get32(LPadding) || !LReader.Get32(LNameSize) || LNameSize > 64 ||
        !LReader.GetBytes(LNameSize, LBytes))
        return false;
    AHeader.CodecName.assign(reinterpret_cast<const char*>(LBytes), LNameSize);
    if (!LReader.Get32(LExtraSize) || LExtraSize > (1u << 20) || !LReader.GetBytes(LExtraSize, LBytes))
        return false;
    AHeader.ExtraData.assign(LBytes, LBytes + LExtraSize);
    AHeader.FrameSize = static_cast<int32_t>(LFrameSize);
    AHeader.InitialPadding = static_cast<int32_t>(LPadding);
    return AHeader.SampleRate > 0 && AHeader.Channels > 0 && AHeader.Channels <= 32;
}

} // namespace Sonorix::LAV
