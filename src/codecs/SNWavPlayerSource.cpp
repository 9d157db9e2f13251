// SPDX-License-Identifier: MIT
// The player's reader of plain PCM WAV files (RIFF and RF64; PCM and
// extensible PCM of 8, 16, 24 and 32 bits): samples go from the file straight
// into the player's buffers, and no libav library is loaded. It takes a file
// only when it reads it exactly as libav would (same format, channel mask
// and length); anything else is left to libav, whose messages then apply.
#include "SNPlayerSource.h"

#include "XVLAVSupport.h"

#include <algorithm>
#include <bit>
#include <cerrno>
#include <cstring>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace Sonorix {

namespace {

constexpr uint32_t CWavePcm = 1;
constexpr uint32_t CWaveExtensible = 0xFFFE;
// KSDATAFORMAT_SUBTYPE_PCM after its first four bytes (the format tag).
constexpr uint8_t CGuidTail[12] = {0x00, 0x00, 0x10, 0x00, 0x80, 0x00, 0x00, 0xAA, 0x00, 0x38, 0x9B, 0x71};
// Enough for any real header; a file of more chunks goes to libav.
constexpr int CMaxChunks = 1024;
constexpr uint32_t CMaxRate = 1000000;

uint32_t Le16(const uint8_t* AData)
{
    return AData[0] | AData[1] << 8;
}

uint32_t Le32(const uint8_t* AData)
{
    return Le16(AData) | static_cast<uint32_t>(Le16(AData + 2)) << 16;
}

uint64_t Le64(const uint8_t* AData)
{
    return Le32(AData) | static_cast<uint64_t>(Le32(AData + 4)) << 32;
}

bool IsTag(const uint8_t* AData, const char* ATag)
{
    return std::memcmp(AData, ATag, 4) == 0;
}

// Reads exactly ASize bytes at AOffset.
bool ReadAt(int AFile, void* ADest, size_t ASize, uint64_t AOffset)
{
    auto* LDest = static_cast<uint8_t*>(ADest);
    while (ASize > 0) {
        const ssize_t LRead = pread(AFile, LDest, ASize, static_cast<off_t>(AOffset));
        if (LRead < 0 && errno == EINTR)
            continue;
        if (LRead <= 0)
            return false;
        LDest += LRead;
        ASize -= static_cast<size_t>(LRead);
        AOffset += static_cast<uint64_t>(LRead);
    }
    return true;
}

struct TFileDescriptor {
    int Fd = -1;
    explicit TFileDescriptor(int AFd) : Fd(AFd) {}
    TFileDescriptor(const TFileDescriptor&) = delete;
    TFileDescriptor& operator=(const TFileDescriptor&) = delete;
    ~TFileDescriptor()
    {
        if (Fd >= 0)
            close(Fd);
    }
};

// The fmt chunk as the player's format; false for anything but plain integer
// PCM of a width the player keeps.
bool ParseFormat(const uint8_t* AData, uint32_t ASize, WAVEFORMATEXTENSIBLE& AFormat)
{
    if (ASize < 16)
        return false;
    const uint32_t LTag = Le16(AData);
    const uint32_t LChannels = Le16(AData + 2);
    const uint32_t LRate = Le32(AData + 4);
    const uint32_t LAlign = Le16(AData + 12);
    const uint32_t LBits = Le16(AData + 14);
    uint32_t LMask = 0;
    if (LTag == CWaveExtensible) {
        if (ASize < 40 || Le16(AData + 16) < 22 || Le32(AData + 24) != CWavePcm ||
            std::memcmp(AData + 28, CGuidTail, sizeof(CGuidTail)) != 0)
            return false;
        // libav takes the valid bits as the sample width.
        if (const uint32_t LValid = Le16(AData + 18); LValid != 0 && LValid != LBits)
            return false;
        LMask = Le32(AData + 20);
        if (LMask != 0 && static_cast<uint32_t>(std::popcount(LMask)) != LChannels)
            return false;
    } else if (LTag != CWavePcm) {
        return false;
    }
    if (LChannels == 0 || LChannels > 32 || LRate == 0 || LRate > CMaxRate ||
        (LBits != 8 && LBits != 16 && LBits != 24 && LBits != 32) || LAlign != LChannels * LBits / 8)
        return false;
    AFormat = MakeWaveFormat(LRate, LBits, LChannels, LMask != 0 ? LMask : DefaultChannelMask(LChannels));
    return true;
}

class TWavPlayerSource : public ISNPlayerSource {
public:
    TWavPlayerSource(int AFile, uint64_t ADataOffset, int64_t AFrames, uint32_t ABlockAlign)
        : FFile(AFile), FDataOffset(ADataOffset), FFrames(AFrames), FBlockAlign(ABlockAlign)
    {
    }

    uint32_t Read(uint8_t* ADest, uint32_t AFrames) override
    {
        const int64_t LCount = std::min<int64_t>(AFrames, std::max<int64_t>(FFrames - FPosition, 0));
        size_t LWanted = static_cast<size_t>(LCount) * FBlockAlign;
        uint64_t LOffset = FDataOffset + static_cast<uint64_t>(FPosition) * FBlockAlign;
        size_t LGot = 0;
        // A file cut short since it was opened ends where it ends.
        while (LGot < LWanted) {
            const ssize_t LRead = pread(FFile.Fd, ADest + LGot, LWanted - LGot, static_cast<off_t>(LOffset + LGot));
            if (LRead < 0 && errno == EINTR)
                continue;
            if (LRead <= 0)
                break;
            LGot += static_cast<size_t>(LRead);
        }
        const uint32_t LFrames = static_cast<uint32_t>(LGot / FBlockAlign);
        FPosition += LFrames;
        return LFrames;
    }

    void Seek(int64_t AFrame) override { FPosition = AFrame; }

private:
    TFileDescriptor FFile;
    uint64_t FDataOffset;
    int64_t FFrames;
    uint32_t FBlockAlign;
    int64_t FPosition = 0;
};

} // namespace

bool NativePlayerPath(const TSNPlayerOpenRequest& ARequest, std::string& APath)
{
    const std::string& LName = ARequest.FileName;
    // Protocols, pipe: and decoder choices are libav's.
    const bool LFileProtocol = LName.starts_with("file:");
    if ((!LFileProtocol && LName.find(':') != std::string::npos) ||
        (ARequest.Audio && (ARequest.Audio->GetStreamIndex() > 0 || !ARequest.Audio->GetOptions().empty())))
        return false;
    APath = LFileProtocol ? LName.substr(5) : LName;
    return true;
}

TSNPlayerSourcePtr OpenWavPlayerSource(const TSNPlayerOpenRequest& ARequest, TSNPlayerStream& AStream,
                                       TSNPlayerFailure& AFailure)
{
    const std::string& LName = ARequest.FileName;
    std::string LPath;
    if (!NativePlayerPath(ARequest, LPath))
        return nullptr;
    // Non-blocking: a FIFO must not wait for a writer before it is refused.
    TFileDescriptor LFile(open(LPath.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK));
    struct stat LStat {};
    if (LFile.Fd < 0 || fstat(LFile.Fd, &LStat) != 0)
        return nullptr;
    if (!S_ISREG(LStat.st_mode)) {
        AFailure = {"cannot open '" + LName + "': not a regular file (read streams through pipe:)", EINVAL, {}};
        return nullptr;
    }
    const uint64_t LSize = static_cast<uint64_t>(LStat.st_size);
    uint8_t LHead[12];
    if (!ReadAt(LFile.Fd, LHead, sizeof(LHead), 0) || !IsTag(LHead + 8, "WAVE"))
        return nullptr;
    const bool LRF64 = IsTag(LHead, "RF64");
    if (!LRF64 && !IsTag(LHead, "RIFF"))
        return nullptr;

    uint64_t LPos = 12;
    uint64_t LBigDataSize = 0;
    if (LRF64) {
        // ds64 comes first and holds the sizes that do not fit 32 bits.
        uint8_t LDs64[32];
        if (!ReadAt(LFile.Fd, LDs64, sizeof(LDs64), LPos) || !IsTag(LDs64, "ds64") || Le32(LDs64 + 4) < 24 ||
            Le32(LDs64 + 4) % 2 != 0)
            return nullptr;
        LBigDataSize = Le64(LDs64 + 16);
        LPos += 8 + Le32(LDs64 + 4);
    }
    bool LHaveFormat = false;
    bool LHaveData = false;
    // Whether this reader takes the file; the walk goes on either way.
    bool LNative = true;
    uint64_t LDataOffset = 0;
    uint64_t LDataSize = 0;
    // Every chunk up to the end: libav looks past the data too, and a file it
    // would read differently (a second fmt or data chunk) is left to it.
    for (int LChunk = 0; LPos + 8 <= LSize; ++LChunk) {
        uint8_t LHeader[8];
        if (LChunk == CMaxChunks || !ReadAt(LFile.Fd, LHeader, sizeof(LHeader), LPos))
            return nullptr;
        const uint64_t LChunkSize = Le32(LHeader + 4);
        // libav reads a LIST, bext or id3 chunk whole into memory at its
        // stated size: one that claims more than the file holds is damage,
        // and a few hundred bytes could otherwise cost gigabytes.
        if (!IsTag(LHeader, "data") && LChunkSize > LSize - (LPos + 8)) {
            const std::string LTag(reinterpret_cast<const char*>(LHeader), 4);
            AFailure = {"cannot open '" + LName + "': its chunk '" + LTag + "' at byte " + std::to_string(LPos) +
                            " claims " + std::to_string(LChunkSize) + " bytes, more than the file holds",
                        static_cast<int>(CPlayerInvalidDataCode),
                        {}};
            return nullptr;
        }
        if (IsTag(LHeader, "fmt ")) {
            uint8_t LFmt[40] = {};
            const uint32_t LRead = static_cast<uint32_t>(std::min<uint64_t>(LChunkSize, sizeof(LFmt)));
            if (LHaveFormat || LHaveData || !ReadAt(LFile.Fd, LFmt, LRead, LPos + 8) ||
                !ParseFormat(LFmt, LRead, AStream.Format))
                LNative = false;
            LHaveFormat = true;
        } else if (IsTag(LHeader, "data")) {
            if (!LHaveFormat || LHaveData)
                LNative = false;
            LHaveData = true;
            LDataOffset = LPos + 8;
            LDataSize = LRF64 ? LBigDataSize : LChunkSize;
            // Unknown or open-ended lengths are libav's to guess.
            if (LDataSize == 0 || (!LRF64 && LChunkSize == 0xFFFFFFFF) || LDataSize > LSize - LDataOffset)
                LNative = false;
            if (LRF64) {
                LPos = LDataOffset + LDataSize + (LDataSize & 1);
                continue;
            }
        } else if (IsTag(LHeader, "SMV0")) {
            LNative = false;
        }
        LPos += 8 + LChunkSize + (LChunkSize & 1);
    }
    if (!LNative)
        return nullptr;
    const uint32_t LAlign = AStream.Format.Format.nBlockAlign;
    if (!LHaveData || LDataSize % LAlign != 0)
        return nullptr;
    AStream.Samples = static_cast<int64_t>(LDataSize / LAlign);
    AStream.ExactLength = true;
    const int LFd = LFile.Fd;
    LFile.Fd = -1;
    return std::make_unique<TWavPlayerSource>(LFd, LDataOffset, AStream.Samples, LAlign);
}

} // namespace Sonorix
