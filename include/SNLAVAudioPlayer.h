// SPDX-License-Identifier: MIT
#pragma once

#include "SNExport.h"

#include "SNBasicCommonPlayer.h"
#include "XVLAVSupport.h"

#include <memory>

namespace Sonorix {
SN_API_BEGIN

class ISNPlayerSource;

// Plays the audio of a media file of any container and codec that libav
// reads (WAV, FLAC, Ogg, MP3, MP4/M4A, Opus, ...), as a stream of integer
// PCM buffers on OutputPin.
//
// The output width follows the file: 8 and 16-bit samples stay as they are,
// 24-bit sources (FLAC, WAV) come out as 24 bits, 32-bit integers and every
// float format as 32 bits (x * 2147483647, rounded and saturated). Plain PCM
// WAV files are read by the package itself, without loading libav. Open
// failures, decoding errors and a file that ends before its declared length
// go through OnError and then EDGException unless handled.
//
//   TSNLAVAudioPlayer LPlayer;
//   LPlayer.SetFileName("in.flac");
//   LPlayer.GetOutputPin().Connect(LLogger.GetInputPin()); LPlayer.StartSource();
class TSNLAVAudioPlayer : public TSNBasicCommonPlayer, public TLAVErrorSource {
public:
    TSNLAVAudioPlayer();
    ~TSNLAVAudioPlayer() override;
    static const TClassDescription& ClassDescription();
    const TClassDescription& GetClassDescription() const override { return ClassDescription(); }

    TXVLAVMediaPlayerAudio& GetAudio() { return FAudio; }

    int64_t GetSamplesCount() override;
    int64_t GetCurrentSample() override;
    // Sample-accurate: the next buffer starts at AValue.
    void SetCurrentSample(int64_t AValue) override;
    uint32_t GetSampleRate() override;
    // The stream's format (valid while open).
    WAVEFORMATEXTENSIBLE GetWaveFormat();

protected:
    bool IntOpen() override;
    void IntClose() override;
    void IntStart() override;
    void IntPump() override;
    // Fills ABuffer (BufferSize frames) from the source; false when no frame
    // could be filled.
    bool GenerateSoundFrame(ISNAudioBufferPtr& ABuffer);

private:
    bool Fail(const std::string& AMessage, int ACode, const std::string& ADetail = {});

    TXVLAVMediaPlayerAudio FAudio;
    // The open file: the native WAV reader or the libav module's reader.
    std::unique_ptr<ISNPlayerSource> FSource;
    int64_t FNumberSamples = 0;
    bool FExactLength = false;
    WAVEFORMATEXTENSIBLE FFormat{};
    int64_t FPosition = 0;
    bool FAtEnd = false;
};

namespace SNLAVAudioPlayer {
void RegisterPkg();
} // namespace SNLAVAudioPlayer

SN_API_END
} // namespace Sonorix
