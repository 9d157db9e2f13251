// SPDX-License-Identifier: MIT
#pragma once

#include "SNExport.h"

#include "SNCommonLogger.h"
#include "XVLAVSupport.h"

#include <memory>

struct AVPacket;

namespace Sonorix {
SN_API_BEGIN

namespace LAV {
class TLAVEncoder;
class TLAVFileOutput;
}

// Writes the stream arriving on InputPin into a media file of any container
// and audio codec that libav writes.
//
// The container comes from FileFormat.FormatName or, when that is empty, from
// the file name's extension. The codec comes from AudioCompression.CodecName
// or, when that is empty, is the container's usual audio codec; for PCM
// containers (WAV, AIFF, CAF, ...) it is the PCM codec of the stream's own
// width, so 24- and 32-bit streams keep every bit. Codecs with a fixed frame
// size get exactly that many frames per frame (samples that do not fit are
// kept for the next one; the last frame may be shorter). The stop drains the
// encoder, writes the trailer and closes the file.
//
// A local file survives every way a run can end: each packet is on the disk
// once written, WAV and AIFF sizes and the FLAC sample count are kept up to
// date every half second of audio, and MP4-family files (mp4, m4a, mov, ...) are
// written in fragments of half a second. After a failed write (a full disk,
// a size limit) the file is cut back to its last whole packet and its headers
// made to match, so it reads with the audio that reached the disk.
//
//   TSNLAVAudioLogger LLogger;
//   LLogger.SetFileName("out.flac");
//   LPlayer.GetOutputPin().Connect(LLogger.GetInputPin());
class TSNLAVAudioLogger : public TSNCommonLogger, public TLAVErrorSource {
public:
    TSNLAVAudioLogger();
    ~TSNLAVAudioLogger() override;
    static const TClassDescription& ClassDescription();
    const TClassDescription& GetClassDescription() const override { return ClassDescription(); }

    TXVLAVAudioFileFormat& GetFileFormat() { return FFileFormat; }
    TSNLAVAudioCompression& GetAudioCompression() { return FAudioCompression; }

protected:
    void BeginAudio(const WAVEFORMATEXTENSIBLE& AWaveFormat) override;
    void RenderAudio(const ISNAudioBufferPtr& AAudioBuffer) override;
    void EndAudio() override;
    // Called with FInputLock held.
    void OpenContext(const std::string& AFileName);
    void TryWriteHeaders(const std::string& AFileName);

private:
    void WritePacket(AVPacket* APacket);
    // Releases everything; writes the trailer when AComplete.
    int Release(bool AComplete);
    void Fail(const std::string& AMessage, int ACode, const std::string& ADetail = {});

    TXVLAVAudioFileFormat FFileFormat;
    TSNLAVAudioCompression FAudioCompression;
    AVFormatContext* FAVFormatContext = nullptr;
    std::unique_ptr<LAV::TLAVEncoder> FEncoder;
    // The local file, when the output is one (not a pipe).
    std::unique_ptr<LAV::TLAVFileOutput> FOutput;
    AVStream* FStream = nullptr;
    bool FHeaderWritten = false;
    WAVEFORMATEXTENSIBLE FFormat{};
    std::string FFileName;
};

namespace SNLAVAudioLogger {
void RegisterPkg();
} // namespace SNLAVAudioLogger

SN_API_END
} // namespace Sonorix
