// SPDX-License-Identifier: MIT
// Where TSNLAVAudioPlayer takes its samples from: the native readers of plain
// PCM WAV and of FLAC files (package library) or libav's demuxers and decoders
// (the libav module, loaded when a file needs it).
#pragma once

#include "SNExport.h"
#include "SNTypes.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

namespace Sonorix {

class TXVLAVMediaPlayerAudio;

// What an opened source delivers.
struct TSNPlayerStream {
    WAVEFORMATEXTENSIBLE Format{};
    int64_t Samples = 0;
    // The container states the length exactly: ending earlier is truncation.
    bool ExactLength = false;
};

// Why a file cannot be played: the player's OnError message, code and detail.
struct TSNPlayerFailure {
    std::string Message;
    int Code = 0;
    std::string Detail;
};

class ISNPlayerSource {
public:
    virtual ~ISNPlayerSource() = default;
    // Up to AFrames frames of the stream's format into ADest; 0 at the end.
    virtual uint32_t Read(uint8_t* ADest, uint32_t AFrames) = 0;
    // The next Read starts at frame AFrame (>= 0, possibly past the end).
    virtual void Seek(int64_t AFrame) = 0;
};

using TSNPlayerSourcePtr = std::unique_ptr<ISNPlayerSource>;
// A packet that did not decode ("detail"); the stream goes on.
using TSNPlayerDropEvent = std::function<void(const std::string& ADetail)>;

struct TSNPlayerOpenRequest {
    std::string FileName;
    const TXVLAVMediaPlayerAudio* Audio = nullptr;
    TSNPlayerDropEvent OnDrop;
};

// -AVERROR_EOF: the code of a file that ends before its stated length.
inline constexpr uint32_t CPlayerTruncatedCode = 'E' | 'O' << 8 | 'F' << 16 | ' ' << 24;
// -AVERROR_INVALIDDATA: the code of a file whose structure is damaged.
inline constexpr uint32_t CPlayerInvalidDataCode = 'I' | 'N' << 8 | 'D' << 16 | 'A' << 24;

// A plain PCM WAV file read without libav: null when the file is anything
// else or anything the reader does not fully understand (left to libav), or
// when it must be refused (AFailure says why). Exported for the test that
// compares the two readers.
SN_API TSNPlayerSourcePtr OpenWavPlayerSource(const TSNPlayerOpenRequest& ARequest, TSNPlayerStream& AStream,
                                       TSNPlayerFailure& AFailure);

// The file a native reader may open for ARequest: false for names with a
// protocol (pipe: among them) and for stream or decoder choices, all libav's.
bool NativePlayerPath(const TSNPlayerOpenRequest& ARequest, std::string& APath);

// A native FLAC file of one or two channels and 16 or 24 bits read through
// libFLAC (loaded on first use): null when the file is anything else, or
// when libFLAC is missing (left to libav). Exported for the test that
// compares the two readers.
SN_API TSNPlayerSourcePtr OpenFlacPlayerSource(const TSNPlayerOpenRequest& ARequest, TSNPlayerStream& AStream);

// The libav module's entry for the player: sets AResult, or AFailure.
using TSNOpenLAVPlayerSource = void (*)(const TSNPlayerOpenRequest& ARequest, TSNPlayerStream& AStream,
                                        TSNPlayerFailure& AFailure, TSNPlayerSourcePtr& AResult);
inline constexpr const char* CLAVPlayerSourceEntryPoint = "SonorixOpenLAVPlayerSource";

#ifdef SONORIX_LAV_MODULE
// A function of the libav module (the player's reader, the logger's writer),
// which is loaded on first need; throws EModuleError when the module or the
// function is missing.
void* LAVModuleFunction(const char* AName);
#endif

} // namespace Sonorix
