// SPDX-License-Identifier: MIT
#include "LAVFileOutput.h"

extern "C" {
#include <libavformat/avio.h>
#include <libavutil/error.h>
#include <libavutil/mem.h>
}

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace Sonorix::LAV {

namespace {

constexpr int CBufferSize = 32768;
// Enough for every header libavformat writes before the audio of a WAV or
// AIFF file (format, channel layout, metadata chunks).
constexpr size_t CHeaderWindow = 65536;

uint32_t GetLE32(const uint8_t* P) { return P[0] | P[1] << 8 | P[2] << 16 | uint32_t{P[3]} << 24; }
uint32_t GetBE32(const uint8_t* P) { return uint32_t{P[0]} << 24 | P[1] << 16 | P[2] << 8 | P[3]; }
uint16_t GetBE16(const uint8_t* P) { return static_cast<uint16_t>(P[0] << 8 | P[1]); }
void PutLE32(uint8_t* P, uint32_t V)
{
    for (int I = 0; I < 4; ++I)
        P[I] = static_cast<uint8_t>(V >> (8 * I));
}
void PutBE32(uint8_t* P, uint32_t V)
{
    for (int I = 0; I < 4; ++I)
        P[I] = static_cast<uint8_t>(V >> (8 * (3 - I)));
}

// The offset of the first chunk named AId among the RIFF-style chunks from
// AFirst on (sizes little- or big-endian, padded to even), or -1.
int64_t FindChunk(const uint8_t* AHeader, size_t ASize, size_t AFirst, const char* AId, bool ABigEndian)
{
    for (size_t LPos = AFirst; LPos + 8 <= ASize;) {
        if (std::memcmp(AHeader + LPos, AId, 4) == 0)
            return static_cast<int64_t>(LPos);
        const uint32_t LSize = ABigEndian ? GetBE32(AHeader + LPos + 4) : GetLE32(AHeader + LPos + 4);
        LPos += 8 + size_t{LSize} + (LSize & 1);
    }
    return -1;
}

} // namespace

int TLAVFileOutput::Open(const std::string& AFileName, const char* AFormatName, int ASampleRate)
{
    Close();
    if (const int LOpened = FFile.Open(AFileName); LOpened < 0)
        return AVERROR(-LOpened);
    FFd = FFile.Fd();
    // A device or a FIFO (/dev/stdout, a named pipe) is written in order,
    // without seeks or patches; a file we may write but not read gets no
    // header patches.
    FSeekable = FFile.Regular();
    const std::string LFormat = AFormatName && FSeekable && FFile.Readable() ? AFormatName : "";
    FKind = LFormat == "wav" ? TKind::Wav : LFormat == "aiff" ? TKind::Aiff : LFormat == "flac" ? TKind::Flac
                                                                                                : TKind::Other;
    FSampleRate = std::max(ASampleRate, 1);
    FPosition = FGoodEnd = FGoodSamples = 0;
    FPatchedSamples = -1;
    FError = 0;
    auto* LBuffer = static_cast<unsigned char*>(av_malloc(CBufferSize));
    FContext = LBuffer ? avio_alloc_context(LBuffer, CBufferSize, 1, this, nullptr, WriteCallback,
                                            FSeekable ? SeekCallback : nullptr)
                       : nullptr;
    if (!FContext) {
        av_free(LBuffer);
        Close();
        return AVERROR(ENOMEM);
    }
    return 0;
}

int TLAVFileOutput::WriteCallback(void* AOpaque, uint8_t* ABuffer, int ASize)
{
    auto& LSelf = *static_cast<TLAVFileOutput*>(AOpaque);
    // After a failure nothing more is written: what is on the disk stays as
    // Salvage finds it.
    if (LSelf.FError)
        return LSelf.FError;
    size_t LWritten = 0;
    const int LError = LSelf.FFile.WriteAll(ABuffer, static_cast<size_t>(ASize), LSelf.FPosition, LWritten);
    LSelf.FPosition += static_cast<int64_t>(LWritten);
    if (LError != 0) {
        LSelf.FError = AVERROR(LError);
        return LSelf.FError;
    }
    return ASize;
}

int64_t TLAVFileOutput::SeekCallback(void* AOpaque, int64_t AOffset, int AWhence)
{
    auto& LSelf = *static_cast<TLAVFileOutput*>(AOpaque);
    struct stat LStat {};
    const int64_t LEnd = ::fstat(LSelf.FFd, &LStat) == 0 ? static_cast<int64_t>(LStat.st_size) : -1;
    switch (AWhence & ~AVSEEK_FORCE) {
    case AVSEEK_SIZE:
        return LEnd < 0 ? AVERROR(errno) : LEnd;
    case SEEK_SET:
        break;
    case SEEK_CUR:
        AOffset += LSelf.FPosition;
        break;
    case SEEK_END:
        if (LEnd < 0)
            return AVERROR(errno);
        AOffset += LEnd;
        break;
    default:
        return AVERROR(EINVAL);
    }
    if (AOffset < 0)
        return AVERROR(EINVAL);
    LSelf.FPosition = AOffset;
    return AOffset;
}

int TLAVFileOutput::PacketWritten(int64_t ASamplesEnd)
{
    if (!FContext)
        return AVERROR(EINVAL);
    avio_flush(FContext);
    if (FError)
        return FError;
    if (FContext->error < 0)
        return FContext->error;
    FGoodEnd = std::max(FGoodEnd, FPosition);
    FGoodSamples = std::max(FGoodSamples, ASamplesEnd);
    // The first call (the header alone) patches too: an AIFF header as the
    // muxer starts it (sizes 0) does not read.
    if (FKind != TKind::Other && (FPatchedSamples < 0 || 2 * (FGoodSamples - FPatchedSamples) >= FSampleRate)) {
        PatchHeaders(FGoodEnd, FGoodSamples);
        FPatchedSamples = FGoodSamples;
    }
    return 0;
}

int TLAVFileOutput::Commit()
{
    const int LResult = FFile.Commit();
    return LResult < 0 ? AVERROR(-LResult) : 0;
}

void TLAVFileOutput::Salvage()
{
    if (FFd < 0 || !FSeekable)
        return;
    // A packet that reached the disk in part is cut off; shrinking a file
    // works on a full disk and under a size limit.
    if (::ftruncate(FFd, FGoodEnd) != 0)
        return;
    PatchHeaders(FGoodEnd, FGoodSamples);
}

int TLAVFileOutput::Close()
{
    int LResult = 0;
    if (FContext) {
        avio_flush(FContext);
        LResult = FError ? FError : FContext->error;
        av_freep(&FContext->buffer);
        avio_context_free(&FContext);
    }
    if (const int LClosed = FFile.Close(); LClosed < 0 && LResult >= 0)
        LResult = AVERROR(-LClosed);
    FFd = -1;
    return LResult;
}

void TLAVFileOutput::PatchHeaders(int64_t AEnd, int64_t ASamples)
{
    switch (FKind) {
    case TKind::Wav:
        PatchWav(AEnd);
        break;
    case TKind::Aiff:
        PatchAiff(AEnd);
        break;
    case TKind::Flac:
        PatchFlac(ASamples);
        break;
    case TKind::Other:
        break;
    }
}

bool TLAVFileOutput::ReadAt(int64_t AOffset, uint8_t* AData, size_t ASize) const
{
    return ::pread(FFd, AData, ASize, AOffset) == static_cast<ssize_t>(ASize);
}

void TLAVFileOutput::WriteAt(int64_t AOffset, const uint8_t* AData, size_t ASize) const
{
    // Inside what is already written: neither a full disk nor a size limit
    // refuses it. A failure leaves the previous sizes, which still read.
    [[maybe_unused]] const ssize_t LWritten = ::pwrite(FFd, AData, ASize, AOffset);
}

void TLAVFileOutput::PatchWav(int64_t AEnd)
{
    uint8_t LHeader[CHeaderWindow];
    const size_t LSize = static_cast<size_t>(std::min<int64_t>(AEnd, CHeaderWindow));
    if (AEnd > INT64_C(0xFFFFFFFF) || LSize < 12 || !ReadAt(0, LHeader, LSize) ||
        std::memcmp(LHeader, "RIFF", 4) != 0 || std::memcmp(LHeader + 8, "WAVE", 4) != 0)
        return;
    const int64_t LData = FindChunk(LHeader, LSize, 12, "data", false);
    if (LData < 0)
        return;
    uint8_t LValue[4];
    PutLE32(LValue, static_cast<uint32_t>(AEnd - 8));
    WriteAt(4, LValue, 4);
    PutLE32(LValue, static_cast<uint32_t>(AEnd - LData - 8));
    WriteAt(LData + 4, LValue, 4);
}

void TLAVFileOutput::PatchAiff(int64_t AEnd)
{
    uint8_t LHeader[CHeaderWindow];
    const size_t LSize = static_cast<size_t>(std::min<int64_t>(AEnd, CHeaderWindow));
    if (AEnd > INT64_C(0xFFFFFFFF) || LSize < 12 || !ReadAt(0, LHeader, LSize) ||
        std::memcmp(LHeader, "FORM", 4) != 0)
        return;
    const int64_t LComm = FindChunk(LHeader, LSize, 12, "COMM", true);
    const int64_t LSound = FindChunk(LHeader, LSize, 12, "SSND", true);
    if (LComm < 0 || LSound < 0 || size_t(LComm) + 16 > LSize)
        return;
    // Frame size from the COMM chunk: channels x whole bytes per sample.
    const uint32_t LFrameBytes = GetBE16(LHeader + LComm + 8) * ((GetBE16(LHeader + LComm + 14) + 7u) / 8u);
    const int64_t LAudio = AEnd - LSound - 16; // After the offset and block size fields.
    if (LFrameBytes == 0 || LAudio < 0)
        return;
    uint8_t LValue[4];
    PutBE32(LValue, static_cast<uint32_t>(AEnd - 8));
    WriteAt(4, LValue, 4);
    PutBE32(LValue, static_cast<uint32_t>(LAudio / LFrameBytes));
    WriteAt(LComm + 10, LValue, 4);
    PutBE32(LValue, static_cast<uint32_t>(AEnd - LSound - 8));
    WriteAt(LSound + 4, LValue, 4);
}

void TLAVFileOutput::PatchFlac(int64_t ASamples)
{
    // "fLaC", the STREAMINFO block's header, then the block: the 36-bit
    // sample count takes the low nibble of its byte 13 and bytes 14 to 17.
    uint8_t LHeader[26];
    if (!ReadAt(0, LHeader, sizeof LHeader) || std::memcmp(LHeader, "fLaC", 4) != 0 || (LHeader[4] & 0x7F) != 0)
        return;
    const auto LSamples = static_cast<uint64_t>(std::clamp<int64_t>(ASamples, 0, (INT64_C(1) << 36) - 1));
    uint8_t LValue[5];
    LValue[0] = static_cast<uint8_t>((LHeader[21] & 0xF0) | (LSamples >> 32));
    PutBE32(LValue + 1, static_cast<uint32_t>(LSamples));
    WriteAt(21, LValue, sizeof LValue);
}

} // namespace Sonorix::LAV
