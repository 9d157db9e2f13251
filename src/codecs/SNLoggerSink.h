// SPDX-License-Identifier: MIT
// Where TSNLAVAudioLogger writes its stream: the native writer of plain PCM
// WAV files (package library) or libav's encoders and muxers (the libav
// module, loaded when a file needs it).
#pragma once

#include "SNExport.h"
#include "SNTypes.h"

#include <cstdint>
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

// A plain PCM WAV file written without libav: null when the file or its
// settings need libav (nothing in AFailure), or when it cannot be written.
TSNLoggerSinkPtr OpenWavLoggerSink(TSNLoggerOpenRequest& ARequest, TSNLoggerFailure& AFailure);

// The libav module's entry for the logger: sets AResult, or AFailure.
using TSNOpenLAVLoggerSink = void (*)(TSNLoggerOpenRequest& ARequest, TSNLoggerFailure& AFailure,
                                      TSNLoggerSinkPtr& AResult);
inline constexpr const char* CLAVLoggerSinkEntryPoint = "SonorixOpenLAVLoggerSink";

} // namespace Sonorix
