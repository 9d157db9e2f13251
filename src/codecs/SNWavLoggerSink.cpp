// SPDX-License-Identifier: MIT
// The logger's writer of plain PCM WAV files: the header libav's WAV muxer
// writes for the stream (PCM or extensible PCM, the same speaker mask), then
// each buffer's bytes straight from the buffer, since the file's layout is
// the buffer's. No libav library is loaded. The sizes in the header follow
// the audio every half second of it and a failed write leaves the file cut
// back to its last whole buffer, as on the libav path.
#include "SNLoggerSink.h"

#include "SNOutputFile.h"
#include "XVLAVSupport.h"

#include <algorithm>
#include <bit>
#include <cerrno>
#include <cstring>

#include <unistd.h>

namespace Sonorix {

namespace {

// libav's default layouts of 1 to 8 channels; wider streams without a mask
// of their own have no native layout there and stay with libav.
constexpr uint32_t CDefaultMasks[9] = {0, 0x4, 0x3, 0xB, 0x107, 0x37, 0x3F, 0x70F, 0x63F};
// Mask bits that a WAV header carries (the higher ones are written as 0).
constexpr uint32_t CWavMaskLimit = 0x40000;
constexpr uint32_t CUnknownSize = 0xFFFFFFFF;

void PutLE16(uint8_t*& P, uint32_t V)
{
    *P++ = static_cast<uint8_t>(V);
    *P++ = static_cast<uint8_t>(V >> 8);
}

void PutLE32(uint8_t*& P, uint32_t V)
{
    PutLE16(P, V & 0xFFFF);
    PutLE16(P, V >> 16);
}

void PutTag(uint8_t*& P, const char* ATag)
{
    std::memcpy(P, ATag, 4);
    P += 4;
}

// The speaker mask libav gives the stream, or 0 when it has none we write
// alike.
uint32_t StreamMask(const WAVEFORMATEXTENSIBLE& AFormat)
{
    const unsigned LChannels = AFormat.Format.nChannels;
    const uint32_t LMask = AFormat.dwChannelMask;
    if (LMask != 0 && static_cast<unsigned>(std::popcount(LMask)) == LChannels)
        return LMask < CWavMaskLimit ? LMask : 0;
    return LChannels < std::size(CDefaultMasks) ? CDefaultMasks[LChannels] : 0;
}

class TWavLoggerSink final : public ISNLoggerSink {
public:
    ~TWavLoggerSink() override { Complete(); }
    bool Open(const std::string& AFileName, const WAVEFORMATEXTENSIBLE& AFormat, uint32_t AMask,
              TSNLoggerFailure& AFailure);
    bool Write(const uint8_t* AData, uint32_t AFrames, TSNLoggerFailure& AFailure) override;
    bool Finish(TSNLoggerFailure& AFailure) override;

private:
    // Writes ASize bytes at the end; 0 or an errno.
    int Append(const uint8_t* AData, size_t ASize);
    // The RIFF and data sizes of a file that ends at AEnd with AData bytes of
    // audio (sizes past 4 GiB are left as they were).
    void PatchSizes(int64_t AEnd, int64_t AData) const;
    // Pads, brings the header up to date and closes; 0 or an errno.
    int Complete();
    bool Fail(TSNLoggerFailure& AFailure, const std::string& AMessage, int AError);

    TSNOutputFile FFile;
    std::string FFileName;
    uint32_t FBlockAlign = 0;
    uint32_t FRate = 0;
    int64_t FDataStart = 0;
    int64_t FEnd = 0;
    int64_t FPatchedFrames = 0;
    bool FFailed = false;
};

bool TWavLoggerSink::Fail(TSNLoggerFailure& AFailure, const std::string& AMessage, int AError)
{
    AFailure = {AMessage, AError, "'" + FFileName + "': " + std::strerror(AError)};
    return false;
}

bool TWavLoggerSink::Open(const std::string& AFileName, const WAVEFORMATEXTENSIBLE& AFormat, uint32_t AMask,
                          TSNLoggerFailure& AFailure)
{
    FFileName = AFileName;
    const unsigned LBits = AFormat.Format.wBitsPerSample;
    const unsigned LChannels = AFormat.Format.nChannels;
    FRate = AFormat.Format.nSamplesPerSec;
    FBlockAlign = LChannels * LBits / 8;
    if (const int LOpened = FFile.Open(LocalFileName(AFileName));
        LOpened < 0) {
        AFailure = OpenFailure(AFileName, -LOpened);
        return false;
    }
    // Mono and stereo in their usual speakers, up to 16 bits and 48 kHz, are
    // plain PCM; everything else is extensible.
    const bool LExtensible = (AMask != 0x4 && AMask != 0x3) || FRate > 48000 || LBits > 16;
    uint8_t LHeader[68];
    uint8_t* P = LHeader;
    PutTag(P, "RIFF");
    uint8_t* LRiffSize = P;
    PutLE32(P, CUnknownSize);
    PutTag(P, "WAVE");
    PutTag(P, "fmt ");
    PutLE32(P, LExtensible ? 40 : 16);
    PutLE16(P, LExtensible ? 0xFFFE : 1);
    PutLE16(P, LChannels);
    PutLE32(P, FRate);
    PutLE32(P, FRate * FBlockAlign);
    PutLE16(P, FBlockAlign);
    PutLE16(P, LBits);
    if (LExtensible) {
        PutLE16(P, 22);
        PutLE16(P, LBits);
        PutLE32(P, AMask);
        // The PCM subformat's GUID.
        for (uint32_t LPart : {0x00000001u, 0x00100000u, 0xAA000080u, 0x719B3800u})
            PutLE32(P, LPart);
    }
    PutTag(P, "data");
    uint8_t* LDataSize = P;
    PutLE32(P, CUnknownSize);
    FDataStart = P - LHeader;
    // A regular file starts with sizes that read (no audio yet); a stream
    // keeps the unknown ones, as libav leaves them.
    if (FFile.Regular()) {
        PutLE32(LRiffSize, static_cast<uint32_t>(FDataStart - 8));
        PutLE32(LDataSize, 0);
    }
    if (const int LError = Append(LHeader, static_cast<size_t>(FDataStart)); LError != 0) {
        FFile.Close();
        return Fail(AFailure, "Error while writing audio frame", LError);
    }
    if (const int LCommitted = FFile.Commit(); LCommitted < 0) {
        FFile.Close();
        AFailure = OpenFailure(AFileName, -LCommitted);
        return false;
    }
    return true;
}

int TWavLoggerSink::Append(const uint8_t* AData, size_t ASize)
{
    size_t LWritten = 0;
    const int LError = FFile.WriteAll(AData, ASize, FEnd, LWritten);
    if (LError == 0)
        FEnd += static_cast<int64_t>(ASize);
    return LError;
}

bool TWavLoggerSink::Write(const uint8_t* AData, uint32_t AFrames, TSNLoggerFailure& AFailure)
{
    if (FFile.Fd() < 0)
        return true;
    if (const int LError = Append(AData, size_t{AFrames} * FBlockAlign); LError != 0) {
        // Cut back to the last whole buffer (shrinking works on a full disk
        // and under a size limit) with the sizes to match.
        FFailed = true;
        Complete();
        return Fail(AFailure, "Error while writing audio frame", LError);
    }
    const int64_t LFrames = (FEnd - FDataStart) / FBlockAlign;
    if (FFile.Regular() && 2 * (LFrames - FPatchedFrames) >= FRate) {
        PatchSizes(FEnd, FEnd - FDataStart);
        FPatchedFrames = LFrames;
    }
    return true;
}

bool TWavLoggerSink::Finish(TSNLoggerFailure& AFailure)
{
    if (const int LError = Complete(); LError != 0)
        return Fail(AFailure, "Error while writing audio frame", LError);
    return true;
}

void TWavLoggerSink::PatchSizes(int64_t AEnd, int64_t AData) const
{
    // Inside what is already written: neither a full disk nor a size limit
    // refuses it, and a failure leaves the previous sizes, which still read.
    uint8_t LValue[4];
    uint8_t* P = LValue;
    if (AEnd - 8 <= INT64_C(0xFFFFFFFF)) {
        PutLE32(P, static_cast<uint32_t>(AEnd - 8));
        [[maybe_unused]] const ssize_t LRiff = ::pwrite(FFile.Fd(), LValue, 4, 4);
    }
    if (AData < INT64_C(0xFFFFFFFF)) {
        P = LValue;
        PutLE32(P, static_cast<uint32_t>(AData));
        [[maybe_unused]] const ssize_t LSize = ::pwrite(FFile.Fd(), LValue, 4, FDataStart - 4);
    }
}

int TWavLoggerSink::Complete()
{
    if (FFile.Fd() < 0)
        return 0;
    int LError = 0;
    if (FFile.Regular()) {
        if (FFailed) {
            FEnd = FDataStart + (FEnd - FDataStart) / FBlockAlign * FBlockAlign;
            if (::ftruncate(FFile.Fd(), FEnd) != 0)
                FEnd = -1;
        }
        const int64_t LData = FEnd - FDataStart;
        // A data chunk of odd size is padded to an even one (one too long for
        // its size field is left as it is, as libav leaves it).
        if (FEnd >= 0 && LData % 2 != 0 && !FFailed && LData < INT64_C(0xFFFFFFFF)) {
            const uint8_t LPad = 0;
            LError = Append(&LPad, 1);
        }
        if (FEnd >= 0 && LError == 0)
            PatchSizes(FEnd, LData);
    }
    if (const int LClosed = FFile.Close(); LClosed < 0 && LError == 0)
        LError = -LClosed;
    return LError;
}

} // namespace

TSNLoggerSinkPtr OpenWavLoggerSink(TSNLoggerOpenRequest& ARequest, TSNLoggerFailure& AFailure)
{
    const WAVEFORMATEXTENSIBLE& LFormat = ARequest.Format;
    const uint32_t LMask = StreamMask(LFormat);
    // The byte rate of the header holds 32 bits.
    if (!IsDefaultLocalRequest(ARequest, "wav") || LMask == 0 || LFormat.Format.nSamplesPerSec > 0x7FFFFFFF / 32 / 4)
        return nullptr;
    auto LSink = std::make_unique<TWavLoggerSink>();
    if (!LSink->Open(ARequest.FileName, LFormat, LMask, AFailure))
        return nullptr;
    return LSink;
}

} // namespace Sonorix
