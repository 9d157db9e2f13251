// SPDX-License-Identifier: MIT
#pragma once

#include "SNExport.h"

#include "SNCommonLogger.h"
#include "XVLAVSupport.h"

#include <memory>

namespace Sonorix {
SN_API_BEGIN

class ISNLoggerSink;
struct TSNLoggerFailure;

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
// made to match, so it reads with the audio that reached the disk. A regular
// file takes its name only once its header is written: until then it is
// written under a temporary name beside it. Plain PCM WAV files are written
// by the package itself, without loading libav.
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

private:
    // Completes what was written, then reports.
    void Fail(const TSNLoggerFailure& AFailure);

    TXVLAVAudioFileFormat FFileFormat;
    TSNLAVAudioCompression FAudioCompression;
    // The open file: the native WAV writer or the libav module's writer.
    std::unique_ptr<ISNLoggerSink> FSink;
    WAVEFORMATEXTENSIBLE FFormat{};
};

namespace SNLAVAudioLogger {
void RegisterPkg();
} // namespace SNLAVAudioLogger

SN_API_END
} // namespace Sonorix
