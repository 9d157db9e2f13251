// SPDX-License-Identifier: MIT
// Where TSNLAVAudioLogger writes its stream: the native writers of plain PCM
// WAV and of Ogg Vorbis files (package library) or libav's encoders and
// muxers (the libav module, loaded when a file needs it).
#pragma once

#include "SNExport.h"
#include "SNTypes.h"

#include <cstdint>
#include <cstring>
#include <memory>
#include <string>

namespace Sonorix {

class TXVLAVAudioFileFormat;
class TSNLAVAudioCompression;

// Why a file cannot be written: the logger's OnError message, code and detail.
struct TSNLoggerFailure {
    std::string Message;
    int Code = 0;
    std::string Detail;
};

// An open file with its header written. Destroying a sink completes the file
// as far as it was written.
class ISNLoggerSink {
public:
    virtual ~ISNLoggerSink() = default;
    // AFrames frames of the stream's format. False after a failed write, when
    // the file is already completed from what reached the disk.
    virtual bool Write(const uint8_t* AData, uint32_t AFrames, TSNLoggerFailure& AFailure) = 0;
    // Drains, completes and closes the file.
    virtual bool Finish(TSNLoggerFailure& AFailure) = 0;
};

using TSNLoggerSinkPtr = std::unique_ptr<ISNLoggerSink>;

struct TSNLoggerOpenRequest {
    std::string FileName;
    WAVEFORMATEXTENSIBLE Format{};
    TXVLAVAudioFileFormat* FileFormat = nullptr;
    TSNLAVAudioCompression* Compression = nullptr;
    // Set by the opener: a conversion that the stream goes through (OnWarning).
    std::string Warning;
    std::string WarningDetail;
};

// The local path of a logger's file name (without a "file:" prefix).
inline std::string LocalFileName(const std::string& AFileName)
{
    return AFileName.starts_with("file:") ? AFileName.substr(5) : AFileName;
}

// The failure of a local file that could not be created or named (AError: an errno).
inline TSNLoggerFailure OpenFailure(const std::string& AFileName, int AError)
{
    return {"Could not open " + AFileName, AError, std::strerror(AError)};
}

// Whether the request is for a local file of the format AFormatName
// (FileFormat.FormatName, or else the file name's extension) with libav's
// defaults for it (no codec named, or ACodecName; no options; no bit rate),
// of a stream of 8, 16, 24 or 32 bits. The native writers take only such
// files, which they write as libav would.
bool IsDefaultLocalRequest(const TSNLoggerOpenRequest& ARequest, const char* AFormatName,
                           const char* ACodecName = nullptr);

// A plain PCM WAV file written without libav: null when the file or its
// settings need libav (nothing in AFailure), or when it cannot be written.
TSNLoggerSinkPtr OpenWavLoggerSink(TSNLoggerOpenRequest& ARequest, TSNLoggerFailure& AFailure);

// An Ogg Vorbis file (variable bit rate at quality 3, mono or stereo)
// written through the Vorbis wrapper library instead of libav: null when the
// file or its settings need libav (nothing in AFailure), or when it cannot
// be written.
TSNLoggerSinkPtr OpenOggVorbisLoggerSink(TSNLoggerOpenRequest& ARequest, TSNLoggerFailure& AFailure);

// The libav module's entry for the logger: sets AResult, or AFailure.
using TSNOpenLAVLoggerSink = void (*)(TSNLoggerOpenRequest& ARequest, TSNLoggerFailure& AFailure,
                                      TSNLoggerSinkPtr& AResult);
inline constexpr const char* CLAVLoggerSinkEntryPoint = "SonorixOpenLAVLoggerSink";

} // namespace Sonorix
