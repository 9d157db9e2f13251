// SPDX-License-Identifier: MIT
// Shared plain types of the package: wave formats, GUIDs and the exception
// classes every component raises.
#pragma once

#include "SNExport.h"

#include <cstdint>
#include <cstring>
#include <stdexcept>
#include <string>

namespace Sonorix {
SN_API_BEGIN

// Format tags of the wave format header.
constexpr uint16_t WAVE_FORMAT_PCM = 0x0001;
constexpr uint16_t WAVE_FORMAT_IEEE_FLOAT = 0x0003;
constexpr uint16_t WAVE_FORMAT_EXTENSIBLE = 0xFFFE;

// Speaker positions of dwChannelMask.
constexpr uint32_t SPEAKER_FRONT_LEFT = 0x1;
constexpr uint32_t SPEAKER_FRONT_RIGHT = 0x2;
constexpr uint32_t SPEAKER_FRONT_CENTER = 0x4;
constexpr uint32_t SPEAKER_LOW_FREQUENCY = 0x8;
constexpr uint32_t SPEAKER_BACK_LEFT = 0x10;
constexpr uint32_t SPEAKER_BACK_RIGHT = 0x20;

struct GUID {
    uint8_t Bytes[16];
    friend bool operator==(const GUID& a, const GUID& b) { return std::memcmp(a.Bytes, b.Bytes, 16) == 0; }
};

// {00000001-0000-0010-8000-00AA00389B71} in its little-endian byte layout.
constexpr GUID KSDATAFORMAT_SUBTYPE_PCM{
    {0x01, 0x00, 0x00, 0x00, 0x00, 0x00, 0x10, 0x00, 0x80, 0x00, 0x00, 0xAA, 0x00, 0x38, 0x9B, 0x71}};
constexpr GUID KSDATAFORMAT_SUBTYPE_IEEE_FLOAT{
    {0x03, 0x00, 0x00, 0x00, 0x00, 0x00, 0x10, 0x00, 0x80, 0x00, 0x00, 0xAA, 0x00, 0x38, 0x9B, 0x71}};

#pragma pack(push, 1)
struct WAVEFORMATEX {
    uint16_t wFormatTag = WAVE_FORMAT_PCM;
    uint16_t nChannels = 0;
    uint32_t nSamplesPerSec = 0;
    uint32_t nAvgBytesPerSec = 0;
    uint16_t nBlockAlign = 0;
    uint16_t wBitsPerSample = 0;
    uint16_t cbSize = 0;
};

struct WAVEFORMATEXTENSIBLE {
    WAVEFORMATEX Format;
    union {
        uint16_t wValidBitsPerSample;
        uint16_t wSamplesPerBlock;
        uint16_t wReserved;
    } Samples{0};
    uint32_t dwChannelMask = 0;
    GUID SubFormat{};
};
#pragma pack(pop)

static_assert(sizeof(WAVEFORMATEX) == 18);
static_assert(sizeof(WAVEFORMATEXTENSIBLE) == 40);

// The usual speaker mask for a channel count (front left/right first).
uint32_t DefaultChannelMask(unsigned AChannels);

// A complete integer PCM format: WAVE_FORMAT_EXTENSIBLE with every derived
// field (block align, byte rate, valid bits) filled in.
WAVEFORMATEXTENSIBLE MakeWaveFormat(uint32_t ASampleRate, unsigned ABits, unsigned AChannels,
                                    uint32_t AChannelMask = 0);

// Human-readable "48000 Hz, 16 bits, 2 channels".
std::string DescribeWaveFormat(const WAVEFORMATEXTENSIBLE& AFormat);

// Root of the package's exceptions.
class EDGException : public std::runtime_error {
public:
    explicit EDGException(const std::string& AMessage) : std::runtime_error(AMessage) {}
    // ADetail says what and where, beside a message whose text is fixed.
    EDGException(const std::string& AMessage, std::string ADetail)
        : std::runtime_error(AMessage), FDetail(std::move(ADetail)) {}
    const std::string& GetDetail() const { return FDetail; }

private:
    std::string FDetail;
};

// A codec wrapper library or one of its exports could not be loaded.
class EDGDLLLoadError : public EDGException {
public:
    using EDGException::EDGException;
};

// A file could not be created ("Cannot create %s.").
class EFOpenError : public EDGException {
public:
    using EDGException::EDGException;
};

// An internal inconsistency ("Unkonwn filter type"); raised, never aborts.
class EAssertionFailed : public EDGException {
public:
    using EDGException::EDGException;
};

// A property name, path or value that the registry cannot resolve or parse.
class EPropertyError : public EDGException {
public:
    using EDGException::EDGException;
};

// A pin connection that is not allowed (types differ, sink already fed).
class EPinConnectError : public EDGException {
public:
    using EDGException::EDGException;
};

// The runtime's range-check error: a value does not fit the type it is
// converted to. A generator that raises it stops its stream.
class ERangeError : public EDGException {
public:
    using EDGException::EDGException;
};

// The runtime's overflow error: an integer step left its 32-bit range.
class EIntOverflow : public EDGException {
public:
    using EDGException::EDGException;
};

// Raises EAssertionFailed with AMessage when ACondition is false.
inline void SNAssert(bool ACondition, const char* AMessage)
{
    if (!ACondition)
        throw EAssertionFailed(AMessage);
}

SN_API_END
} // namespace Sonorix
