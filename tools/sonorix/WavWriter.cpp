// SPDX-License-Identifier: MIT
#include "WavWriter.h"

#include "CliError.h"

#include <algorithm>
#include <bit>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <exception>
#include <fcntl.h>
#include <sys/types.h>
#include <unistd.h>

namespace Sonorix::Cli {

namespace {

constexpr uint32_t PlainFmtBytes = 16;
constexpr uint32_t ExtensibleFmtBytes = 40;
constexpr uint16_t ExtensionBytes = ExtensibleFmtBytes - 18;
constexpr uint64_t MaxChunkField = 0xFFFFFFFFu;
constexpr uint32_t RiffSizeOffset = 4;
constexpr size_t BufferBytes = 64 * 1024;

uint32_t UsualMask(unsigned AChannels)
{
    // The positions a plain PCM header implies.
    if (AChannels == 1)
        return SPEAKER_FRONT_CENTER;
    if (AChannels == 2)
        return SPEAKER_FRONT_LEFT | SPEAKER_FRONT_RIGHT;
    return 0;
}

void Put16(std::vector<uint8_t>& AOut, uint16_t AValue)
{
    AOut.push_back(static_cast<uint8_t>(AValue));
    AOut.push_back(static_cast<uint8_t>(AValue >> 8));
}

void Put32(std::vector<uint8_t>& AOut, uint32_t AValue)
{
    for (int Shift = 0; Shift < 32; Shift += 8)
        AOut.push_back(static_cast<uint8_t>(AValue >> Shift));
}

void PutTag(std::vector<uint8_t>& AOut, const char* ATag)
{
    AOut.insert(AOut.end(), ATag, ATag + 4);
}

uint16_t Get16(const uint8_t* AIn)
{
    return static_cast<uint16_t>(AIn[0] | (AIn[1] << 8));
}

uint32_t Get32(const uint8_t* AIn)
{
    return uint32_t{AIn[0]} | (uint32_t{AIn[1]} << 8) | (uint32_t{AIn[2]} << 16) | (uint32_t{AIn[3]} << 24);
}

bool IsSupportedWidth(unsigned ABits)
{
    return ABits == 8 || ABits == 16 || ABits == 24 || ABits == 32;
}

std::string Quoted(const std::string& APath)
{
    return DisplayName(APath);
}

} // namespace

// ---------------------------------------------------------------- TWavWriter

TWavWriter::TWavWriter(const std::string& APath, const WAVEFORMATEXTENSIBLE& AFormat) : FPath(APath)
{
    const WAVEFORMATEX& F = AFormat.Format;
    const std::string Where = "WAV file " + Quoted(APath) + ": ";
    const bool GivenExtensible = F.wFormatTag == WAVE_FORMAT_EXTENSIBLE;
    if (F.wFormatTag != WAVE_FORMAT_PCM && !GivenExtensible)
        throw EWavError(Where + "format tag " + std::to_string(F.wFormatTag) + " is not integer PCM");
    if (GivenExtensible && !(AFormat.SubFormat == KSDATAFORMAT_SUBTYPE_PCM))
        throw EWavError(Where + "subformat is not integer PCM");
    if (!IsSupportedWidth(F.wBitsPerSample))
        throw EWavError(Where + std::to_string(F.wBitsPerSample) + " bits per sample (8, 16, 24 or 32 expected)");
    if (F.nChannels < 1 || F.nChannels > 32)
        throw EWavError(Where + std::to_string(F.nChannels) + " channels (1 to 32 expected)");
    if (F.nSamplesPerSec == 0)
        throw EWavError(Where + "sample rate 0");

    unsigned ValidBits = F.wBitsPerSample;
    uint32_t Mask = 0;
    if (GivenExtensible) {
        if (AFormat.Samples.wValidBitsPerSample != 0)
            ValidBits = AFormat.Samples.wValidBitsPerSample;
        Mask = AFormat.dwChannelMask;
    }
    if (ValidBits > F.wBitsPerSample)
        throw EWavError(Where + std::to_string(ValidBits) + " valid bits in " + std::to_string(F.wBitsPerSample) +
                        "-bit samples");
    if (Mask == 0)
        Mask = UsualMask(F.nChannels);
    if (static_cast<unsigned>(std::popcount(Mask)) > F.nChannels)
        throw EWavError(Where + "channel mask names more than " + std::to_string(F.nChannels) + " channels");

    FBlockAlign = F.nChannels * (F.wBitsPerSample / 8u);
    if (uint64_t{F.nSamplesPerSec} * FBlockAlign > MaxChunkField)
        throw EWavError(Where + "sample rate " + std::to_string(F.nSamplesPerSec) +
                        " makes the byte rate pass 32 bits");
    FExtensible = F.nChannels > 2 || F.wBitsPerSample > 16 || ValidBits != F.wBitsPerSample ||
                  Mask != UsualMask(F.nChannels);
    const uint32_t FmtBytes = FExtensible ? ExtensibleFmtBytes : PlainFmtBytes;
    FHeaderBytes = 12 + 8 + FmtBytes + 8;
    // The RIFF size must stay within 32 bits, counting a pad byte after odd data.
    const uint64_t Room = MaxChunkField - (FHeaderBytes - 8) - 1;
    FDataLimit = Room - Room % FBlockAlign;

    std::vector<uint8_t> Header;
    PutTag(Header, "RIFF");
    Put32(Header, FHeaderBytes - 8);
    PutTag(Header, "WAVE");
    PutTag(Header, "fmt ");
    Put32(Header, FmtBytes);
    Put16(Header, FExtensible ? WAVE_FORMAT_EXTENSIBLE : WAVE_FORMAT_PCM);
    Put16(Header, F.nChannels);
    Put32(Header, F.nSamplesPerSec);
    Put32(Header, static_cast<uint32_t>(uint64_t{F.nSamplesPerSec} * FBlockAlign));
    Put16(Header, static_cast<uint16_t>(FBlockAlign));
    Put16(Header, F.wBitsPerSample);
    if (FExtensible) {
        Put16(Header, ExtensionBytes);
        Put16(Header, static_cast<uint16_t>(ValidBits));
        Put32(Header, Mask);
        Header.insert(Header.end(), KSDATAFORMAT_SUBTYPE_PCM.Bytes, KSDATAFORMAT_SUBTYPE_PCM.Bytes + 16);
    }
    PutTag(Header, "data");
    Put32(Header, 0);

    FFd = open(APath.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
    if (FFd < 0)
        throw EFOpenError("Cannot create " + APath + ".: " + std::strerror(errno));
    try {
        // On disk at once, so even an empty run leaves a readable file.
        WriteAt(0, Header.data(), Header.size());
    } catch (...) {
        close(FFd);
        FFd = -1;
        throw;
    }
    FBuffer.reserve(BufferBytes);
}

TWavWriter::~TWavWriter()
{
    try {
        Close();
    } catch (...) {
        // A destructor cannot report; Close() is there for callers who care.
    }
}

void TWavWriter::FailIo(const char* AWhat, int AErrno)
{
    throw EWavError("WAV file " + Quoted(FPath) + ": " + AWhat + ": " + std::strerror(AErrno));
}

// Positioned writes: the header can be patched whatever happened to the data.
void TWavWriter::WriteAt(uint64_t AOffset, const void* AData, size_t ABytes)
{
    const auto* Bytes = static_cast<const uint8_t*>(AData);
    while (ABytes > 0) {
        const ssize_t Done = pwrite(FFd, Bytes, ABytes, static_cast<off_t>(AOffset));
        if (Done < 0 && errno == EINTR)
            continue;
        if (Done <= 0) {
            FWriteFailed = true;
            FailIo("write failed", Done < 0 ? errno : ENOSPC);
        }
        Bytes += Done;
        ABytes -= static_cast<size_t>(Done);
        AOffset += static_cast<uint64_t>(Done);
    }
}

void TWavWriter::FlushBuffer()
{
    if (FBuffer.empty())
        return;
    const uint64_t Offset = FHeaderBytes + FDiskBytes;
    try {
        WriteAt(Offset, FBuffer.data(), FBuffer.size());
    } catch (...) {
        // Part of the buffer may have reached the file: count none of it, so
        // the header never claims missing bytes; the next write goes over it.
        FBuffer.clear();
        FDataBytes = FDiskBytes;
        throw;
    }
    FDiskBytes += FBuffer.size();
    FBuffer.clear();
}

void TWavWriter::SetDataLimit(uint64_t ABytes)
{
    if (ABytes < FDataLimit)
        FDataLimit = ABytes - ABytes % FBlockAlign;
}

void TWavWriter::Write(const void* AData, size_t ABytes)
{
    if (FFd < 0)
        throw EWavError("WAV file " + Quoted(FPath) + ": write after close");
    if (ABytes % FBlockAlign != 0)
        throw EWavError("WAV file " + Quoted(FPath) + ": " + std::to_string(ABytes) +
                        " bytes is not a whole number of " + std::to_string(FBlockAlign) + "-byte frames");
    if (FDataBytes > FDataLimit || ABytes > FDataLimit - FDataBytes)
        throw EWavError("WAV file " + Quoted(FPath) + ": " + std::to_string(FDataBytes + ABytes) +
                        " bytes of data would pass the limit of " + std::to_string(FDataLimit) +
                        " bytes (4 GiB for a WAV file)");
    if (ABytes == 0)
        return;
    const auto* Bytes = static_cast<const uint8_t*>(AData);
    if (FBuffer.size() + ABytes > BufferBytes)
        FlushBuffer();
    if (ABytes <= BufferBytes) {
        FBuffer.insert(FBuffer.end(), Bytes, Bytes + ABytes);
        FDataBytes += ABytes;
        return;
    }
    // Large blocks go straight to the file rather than through the buffer.
    try {
        WriteAt(FHeaderBytes + FDiskBytes, Bytes, ABytes);
    } catch (...) {
        FDataBytes = FDiskBytes;
        throw;
    }
    FDiskBytes += ABytes;
    FDataBytes = FDiskBytes;
}

// Called with the buffer flushed, so FDiskBytes is all the data.
void TWavWriter::PatchSizes(uint64_t ARiffTail)
{
    auto PutField = [&](uint32_t AOffset, uint64_t AValue) {
        uint8_t Field[4];
        for (int I = 0; I < 4; ++I)
            Field[I] = static_cast<uint8_t>(AValue >> (8 * I));
        WriteAt(AOffset, Field, 4);
    };
    PutField(RiffSizeOffset, FHeaderBytes - 8 + FDiskBytes + ARiffTail);
    PutField(FHeaderBytes - 4, FDiskBytes);
}

void TWavWriter::Flush()
{
    if (FFd < 0)
        return;
    // The file is complete for any reader once the kernel has it; a sync to
    // the device would only guard against the machine failing, and costs
    // milliseconds at every stop.
    FlushBuffer();
    PatchSizes(0);
}

void TWavWriter::Close()
{
    if (FFd < 0)
        return;
    const int Fd = FFd;
    std::exception_ptr Failure;
    try {
        FlushBuffer();
    } catch (...) {
        Failure = std::current_exception();
    }
    // Chunks are word-aligned: odd data gets a pad byte that only the RIFF size counts.
    const uint64_t Pad = FDiskBytes % 2;
    try {
        if (Pad != 0) {
            const uint8_t Zero = 0;
            WriteAt(FHeaderBytes + FDiskBytes, &Zero, 1);
        }
        PatchSizes(Pad);
    } catch (...) {
        if (!Failure)
            Failure = std::current_exception();
    }
    if (FWriteFailed && ftruncate(Fd, static_cast<off_t>(FHeaderBytes + FDiskBytes + Pad)) != 0) {
        // Harmless: what a failed write left past the data is outside every chunk.
    }
    FFd = -1;
    if (close(Fd) != 0 && !Failure) {
        const int Error = errno;
        FailIo("close failed", Error);
    }
    if (Failure)
        std::rethrow_exception(Failure);
}

// ---------------------------------------------------------------- TWavReader

TWavReader::TWavReader(const std::string& APath)
{
    const std::string Where = "WAV file " + Quoted(APath) + ": ";
    struct TCloser {
        std::FILE* File;
        ~TCloser() { std::fclose(File); }
    };
    std::FILE* File = std::fopen(APath.c_str(), "rbe");
    if (!File)
        throw EWavError("Cannot open " + Quoted(APath) + ": " + std::strerror(errno));
    TCloser Closer{File};

    if (fseeko(File, 0, SEEK_END) != 0)
        throw EWavError(Where + "cannot seek: " + std::strerror(errno));
    const off_t SizeOrError = ftello(File);
    if (SizeOrError < 0)
        throw EWavError(Where + "cannot seek: " + std::strerror(errno));
    const uint64_t FileSize = static_cast<uint64_t>(SizeOrError);

    auto ReadAt = [&](uint64_t AOffset, void* ABuffer, size_t ABytes) {
        if (fseeko(File, static_cast<off_t>(AOffset), SEEK_SET) != 0 ||
            std::fread(ABuffer, 1, ABytes, File) != ABytes)
            throw EWavError(Where + "cannot read " + std::to_string(ABytes) + " bytes at offset " +
                            std::to_string(AOffset));
    };

    if (FileSize < 12)
        throw EWavError(Where + "too short for a WAV file (" + std::to_string(FileSize) + " bytes)");
    uint8_t Head[12];
    ReadAt(0, Head, 12);
    if (std::memcmp(Head, "RIFF", 4) != 0 || std::memcmp(Head + 8, "WAVE", 4) != 0)
        throw EWavError(Where + "no RIFF/WAVE header");
    const uint64_t RiffEnd = 8 + uint64_t{Get32(Head + 4)};
    if (RiffEnd > FileSize)
        throw EWavError(Where + "truncated: the RIFF header announces " + std::to_string(RiffEnd) +
                        " bytes, the file has " + std::to_string(FileSize));

    uint8_t Fmt[ExtensibleFmtBytes] = {};
    uint32_t FmtBytes = 0;
    bool HaveFmt = false, HaveData = false;
    uint64_t DataOffset = 0, DataBytes = 0;
    for (uint64_t Pos = 12; Pos + 8 <= RiffEnd;) {
        uint8_t Chunk[8];
        ReadAt(Pos, Chunk, 8);
        const uint64_t Size = Get32(Chunk + 4);
        const uint64_t Body = Pos + 8;
        const std::string Id(reinterpret_cast<const char*>(Chunk), 4);
        if (Size > RiffEnd - Body)
            throw EWavError(Where + "chunk at offset " + std::to_string(Pos) + " claims " + std::to_string(Size) +
                            " bytes, only " + std::to_string(RiffEnd - Body) + " follow");
        if (Id == "fmt " && !HaveFmt) {
            if (Size < PlainFmtBytes)
                throw EWavError(Where + "fmt chunk of " + std::to_string(Size) + " bytes (16 at least expected)");
            FmtBytes = static_cast<uint32_t>(std::min<uint64_t>(Size, ExtensibleFmtBytes));
            ReadAt(Body, Fmt, FmtBytes);
            HaveFmt = true;
        } else if (Id == "data" && !HaveData) {
            DataOffset = Body;
            DataBytes = Size;
            HaveData = true;
        }
        Pos = Body + Size + Size % 2;
    }
    if (!HaveFmt)
        throw EWavError(Where + "no fmt chunk");
    if (!HaveData)
        throw EWavError(Where + "no data chunk");

    WAVEFORMATEX& F = FFormat.Format;
    F.wFormatTag = Get16(Fmt);
    F.nChannels = Get16(Fmt + 2);
    F.nSamplesPerSec = Get32(Fmt + 4);
    F.nAvgBytesPerSec = Get32(Fmt + 8);
    F.nBlockAlign = Get16(Fmt + 12);
    F.wBitsPerSample = Get16(Fmt + 14);
    FFormat.SubFormat = KSDATAFORMAT_SUBTYPE_PCM;
    FFormat.Samples.wValidBitsPerSample = F.wBitsPerSample;
    if (F.wFormatTag == WAVE_FORMAT_EXTENSIBLE) {
        F.cbSize = FmtBytes >= 18 ? Get16(Fmt + 16) : 0;
        if (FmtBytes < ExtensibleFmtBytes || F.cbSize < ExtensionBytes)
            throw EWavError(Where + "WAVE_FORMAT_EXTENSIBLE with a short fmt chunk");
        FFormat.Samples.wValidBitsPerSample = Get16(Fmt + 18);
        FFormat.dwChannelMask = Get32(Fmt + 20);
        std::memcpy(FFormat.SubFormat.Bytes, Fmt + 24, 16);
        if (!(FFormat.SubFormat == KSDATAFORMAT_SUBTYPE_PCM))
            throw EWavError(Where + "subformat is not integer PCM");
    } else if (F.wFormatTag != WAVE_FORMAT_PCM) {
        throw EWavError(Where + "format tag " + std::to_string(F.wFormatTag) + " is not integer PCM");
    }
    if (!IsSupportedWidth(F.wBitsPerSample))
        throw EWavError(Where + std::to_string(F.wBitsPerSample) + " bits per sample (8, 16, 24 or 32 expected)");
    if (F.nChannels == 0)
        throw EWavError(Where + "0 channels");
    if (F.nSamplesPerSec == 0)
        throw EWavError(Where + "sample rate 0");
    if (F.nBlockAlign != F.nChannels * (F.wBitsPerSample / 8u))
        throw EWavError(Where + "block align " + std::to_string(F.nBlockAlign) + " does not match " +
                        std::to_string(F.nChannels) + " channels of " + std::to_string(F.wBitsPerSample) + " bits");
    if (FFormat.Samples.wValidBitsPerSample == 0 || FFormat.Samples.wValidBitsPerSample > F.wBitsPerSample)
        throw EWavError(Where + std::to_string(FFormat.Samples.wValidBitsPerSample) + " valid bits in " +
                        std::to_string(F.wBitsPerSample) + "-bit samples");
    if (DataBytes % F.nBlockAlign != 0)
        throw EWavError(Where + "data size " + std::to_string(DataBytes) + " is not a whole number of " +
                        std::to_string(F.nBlockAlign) + "-byte frames");

    // DataBytes was checked against the file size above, so this is bounded.
    FData.resize(DataBytes);
    if (DataBytes != 0)
        ReadAt(DataOffset, FData.data(), FData.size());
}

std::vector<int32_t> TWavReader::Samples() const
{
    const unsigned Bytes = FFormat.Format.wBitsPerSample / 8u;
    const unsigned Shift = 32 - 8 * Bytes;
    std::vector<int32_t> Result(FData.size() / Bytes);
    for (size_t I = 0; I < Result.size(); ++I) {
        const uint8_t* P = FData.data() + I * Bytes;
        uint32_t Word = 0;
        for (unsigned B = 0; B < Bytes; ++B)
            Word |= uint32_t{P[B]} << (8 * B);
        // 8-bit WAV is offset binary; wider widths are two's complement.
        if (Bytes == 1)
            Word ^= 0x80;
        // Left-justify then shift back arithmetically to sign-extend.
        Result[I] = static_cast<int32_t>(Word << Shift) >> Shift;
    }
    return Result;
}

} // namespace Sonorix::Cli
