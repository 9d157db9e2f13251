// SPDX-License-Identifier: MIT
// The logger's writer of Ogg Vorbis files: what libav writes for an .ogg
// file left at its defaults (libvorbis at quality 3, variable bit rate),
// encoded through the Vorbis wrapper library, so that no libav library is
// loaded. libvorbis' block decisions follow the pieces it is handed, so the
// stream reaches it in the 64-frame pieces libav's encoder hands it: both
// writers make the same packets of the same audio. Pages go to the disk as
// they fill or, at low bit rates, every half second of audio, and the file takes its name with its first page of audio (a
// file of headers alone does not read everywhere); after a failed write it
// is cut back to its last whole page, which reads as a stream without its
// end.
#include "SNLoggerSink.h"

#include "SNOutputFile.h"
#include "XVLAVSupport.h"
#include "codecs/SNVorbisEncoder.h"

#include <algorithm>
#include <cstring>
#include <random>

#include <unistd.h>

namespace Sonorix {

namespace {

// libav's libvorbis encoder: its frame size and its default quality (3 on
// the 0 to 10 scale).
constexpr uint32_t CPieceFrames = 64;
constexpr float CDefaultQuality = 0.3f;
constexpr unsigned CMaxChannels = 2;

class TOggVorbisLoggerSink final : public ISNLoggerSink {
public:
    ~TOggVorbisLoggerSink() override
    {
        Complete();
        if (FStream)
            ogg_stream_clear(FStream.get());
    }
    // False when libvorbis refuses the stream (libav reports why).
    bool OpenEncoder(const WAVEFORMATEXTENSIBLE& AFormat);
    bool Open(const std::string& AFileName, TSNLoggerFailure& AFailure);
    bool Write(const uint8_t* AData, uint32_t AFrames, TSNLoggerFailure& AFailure) override;
    bool Finish(TSNLoggerFailure& AFailure) override;

private:
    // One piece to the encoder and its packets to the stream; 0 or an errno.
    int Encode(const uint8_t* AData, uint32_t AFrames);
    // The encoder's packets into the stream and its full pages (all of them
    // with AFlush, or when half a second waits) to the disk; 0 or an errno.
    int Drain(bool AFlush);
    int WritePages(bool AFlush);
    // Puts the file under its name once it holds audio; 0 or an errno.
    int CommitAudio();
    // Ends the stream (or, after a failed write, cuts the file back) and
    // closes; 0 or an errno.
    int Complete();
    // Completes the file after a failed write; AFailure says why.
    bool Fail(TSNLoggerFailure& AFailure, int AError);
    TSNLoggerFailure WriteFailure(int AError) const;

    TVorbisEncoder FEncoder;
    // Initialised while it exists.
    std::unique_ptr<ogg_stream_state, TVorbisStructFree> FStream;
    std::unique_ptr<ogg_page, TVorbisStructFree> FPage;
    TSNOutputFile FFile;
    std::string FFileName;
    unsigned FBits = 0;
    int64_t FHalfSecond = 0; // In frames.
    int64_t FWrittenGranule = 0; // The granule position of the last page on the disk.
    uint32_t FBlockAlign = 0;
    // Frames that wait for a whole piece.
    uint8_t FCarry[CPieceFrames * CMaxChannels * 4];
    uint32_t FCarryFrames = 0;
    int64_t FEnd = 0; // The end of the last whole page on the disk.
    int64_t FHeadersEnd = -1; // -1 until the headers are on the disk.
    bool FCommitted = false;
    bool FFailed = false;
};

bool TOggVorbisLoggerSink::Fail(TSNLoggerFailure& AFailure, int AError)
{
    FFailed = true;
    Complete();
    AFailure = WriteFailure(AError);
    return false;
}

TSNLoggerFailure TOggVorbisLoggerSink::WriteFailure(int AError) const
{
    return {"Error while writing audio frame", AError, "'" + FFileName + "': " + std::strerror(AError)};
}

bool TOggVorbisLoggerSink::OpenEncoder(const WAVEFORMATEXTENSIBLE& AFormat)
{
    FBits = AFormat.Format.wBitsPerSample;
    FHalfSecond = AFormat.Format.nSamplesPerSec / 2;
    FBlockAlign = AFormat.Format.nChannels * FBits / 8;
    if (FEncoder.Open(AFormat.Format.nChannels, AFormat.Format.nSamplesPerSec, 0, CDefaultQuality) != 0)
        return false;
    FStream.reset(static_cast<ogg_stream_state*>(DLL_GetOggStreamStateStruct()));
    FPage.reset(static_cast<ogg_page*>(DLL_Getogg_pageStruct()));
    std::random_device LRandom;
    ogg_stream_init(FStream.get(), static_cast<int>(LRandom() & 0x7FFFFFFF));
    return true;
}

bool TOggVorbisLoggerSink::Open(const std::string& AFileName, TSNLoggerFailure& AFailure)
{
    FFileName = AFileName;
    if (const int LOpened = FFile.Open(LocalFileName(AFileName));
        LOpened < 0) {
        AFailure = OpenFailure(AFileName, -LOpened);
        return false;
    }
    vorbis_comment LComment;
    vorbis_comment_init(&LComment);
    ogg_packet* LHeaders[3];
    FEncoder.Headers(LComment, LHeaders);
    // The identification header has a page of its own; the audio starts on
    // a page after the other two.
    ogg_stream_packetin(FStream.get(), LHeaders[0]);
    int LError = WritePages(true);
    for (int i = 1; i < 3 && LError == 0; ++i)
        ogg_stream_packetin(FStream.get(), LHeaders[i]);
    if (LError == 0)
        LError = WritePages(true);
    vorbis_comment_clear(&LComment);
    if (LError != 0)
        return Fail(AFailure, LError);
    FHeadersEnd = FEnd;
    return true;
}

int TOggVorbisLoggerSink::CommitAudio()
{
    if (FCommitted || FHeadersEnd < 0 || FEnd == FHeadersEnd)
        return 0;
    FCommitted = true;
    const int LCommitted = FFile.Commit();
    return LCommitted < 0 ? -LCommitted : 0;
}

int TOggVorbisLoggerSink::WritePages(bool AFlush)
{
    ogg_stream_state* LStream = FStream.get();
    ogg_page* LPage = FPage.get();
    while (AFlush ? ogg_stream_flush(LStream, LPage) != 0 : ogg_stream_pageout(LStream, LPage) != 0) {
        size_t LWritten = 0;
        int LError = FFile.WriteAll(LPage->header, static_cast<size_t>(LPage->header_len), FEnd, LWritten);
        if (LError == 0)
            LError = FFile.WriteAll(LPage->body, static_cast<size_t>(LPage->body_len),
                                    FEnd + LPage->header_len, LWritten);
        if (LError != 0)
            return LError;
        FEnd += LPage->header_len + LPage->body_len;
        FWrittenGranule = std::max<int64_t>(FWrittenGranule, ogg_page_granulepos(LPage));
    }
    return 0;
}

int TOggVorbisLoggerSink::Drain(bool AFlush)
{
    while (ogg_packet* LPacket = FEncoder.NextPacket()) {
        ogg_stream_packetin(FStream.get(), LPacket);
        AFlush |= LPacket->granulepos - FWrittenGranule >= FHalfSecond;
    }
    const int LError = WritePages(AFlush);
    return LError != 0 ? LError : CommitAudio();
}

int TOggVorbisLoggerSink::Encode(const uint8_t* AData, uint32_t AFrames)
{
    FEncoder.Write(AData, AFrames, FBits);
    return Drain(false);
}

bool TOggVorbisLoggerSink::Write(const uint8_t* AData, uint32_t AFrames, TSNLoggerFailure& AFailure)
{
    if (FFile.Fd() < 0)
        return true;
    int LError = 0;
    if (FCarryFrames > 0) {
        const uint32_t LTaken = std::min(AFrames, CPieceFrames - FCarryFrames);
        std::memcpy(FCarry + size_t{FCarryFrames} * FBlockAlign, AData, size_t{LTaken} * FBlockAlign);
        FCarryFrames += LTaken;
        AData += size_t{LTaken} * FBlockAlign;
        AFrames -= LTaken;
        if (FCarryFrames == CPieceFrames) {
            FCarryFrames = 0;
            LError = Encode(FCarry, CPieceFrames);
        }
    }
    for (; AFrames >= CPieceFrames && LError == 0; AFrames -= CPieceFrames, AData += size_t{CPieceFrames} * FBlockAlign)
        LError = Encode(AData, CPieceFrames);
    if (LError != 0)
        return Fail(AFailure, LError);
    std::memcpy(FCarry + size_t{FCarryFrames} * FBlockAlign, AData, size_t{AFrames} * FBlockAlign);
    FCarryFrames += AFrames;
    return true;
}

bool TOggVorbisLoggerSink::Finish(TSNLoggerFailure& AFailure)
{
    if (const int LError = Complete(); LError != 0) {
        AFailure = WriteFailure(LError);
        return false;
    }
    return true;
}

int TOggVorbisLoggerSink::Complete()
{
    if (FFile.Fd() < 0)
        return 0;
    int LError = 0;
    if (!FFailed) {
        // The short last piece, then the packets the encoder still holds;
        // the last one ends the stream.
        if (FCarryFrames > 0)
            FEncoder.Write(FCarry, FCarryFrames, FBits);
        FCarryFrames = 0;
        FEncoder.Finish();
        LError = Drain(true);
    }
    if ((FFailed || LError != 0) && FFile.Regular()) {
        // Shrinking works on a full disk and under a size limit.
        [[maybe_unused]] const int LCut = ::ftruncate(FFile.Fd(), FEnd);
        CommitAudio();
    }
    if (const int LClosed = FFile.Close(); LClosed < 0 && LError == 0)
        LError = -LClosed;
    return LError;
}

} // namespace

TSNLoggerSinkPtr OpenOggVorbisLoggerSink(TSNLoggerOpenRequest& ARequest, TSNLoggerFailure& AFailure)
{
    const WAVEFORMATEXTENSIBLE& LFormat = ARequest.Format;
    const unsigned LChannels = LFormat.Format.nChannels;
    // Mono and stereo in their usual speakers: libav keeps them as they are.
    const uint32_t LMask = LFormat.dwChannelMask;
    if (!IsDefaultLocalRequest(ARequest, "ogg", "libvorbis") || LChannels > CMaxChannels ||
        (LMask != 0 && LMask != (LChannels == 1 ? 0x4u : 0x3u)))
        return nullptr;
    auto LSink = std::make_unique<TOggVorbisLoggerSink>();
    if (!LSink->OpenEncoder(LFormat))
        return nullptr;
    if (!LSink->Open(ARequest.FileName, AFailure))
        return nullptr;
    // The libav path's own words for the same conversion.
    ARequest.Warning = "converting the stream for the codec";
    ARequest.WarningDetail =
        "for the libvorbis encoder: " + std::to_string(LFormat.Format.wBitsPerSample) + "-bit integer samples to fltp";
    return LSink;
}

} // namespace Sonorix
