// SPDX-License-Identifier: MIT
#pragma once

#include "SNExport.h"

#include "SNAudioBuffer.h"

#include <functional>
#include <memory>

namespace Sonorix {
SN_API_BEGIN


// Converts audio buffers to an output sample rate and cuts the result into
// output buffers of a fixed size (or of the converted size), handing each
// completed output buffer to a callback. Not a component: the repack owns
// one, and other components may too.
//
// Whole ratios (22050 -> 44100) repeat every frame (sample and hold); other
// ratios go through a band-limited resampler whose history runs on from
// buffer to buffer, so a stream cut into buffers is resampled as one piece.
// The output buffer's own copy (CopyTo) then brings width and channels to
// the output format.
//
// In fixed-size mode the callback receives the same buffer object each time:
// a receiver that keeps it must copy it.
//
//   TSNChangeFormat LChange([&](const ISNAudioBufferPtr& ABuffer) { Send(ABuffer); });
//   LChange.SetInputFormat(LIn);
//   LChange.SetOutputFormat(LOut);
//   LChange.SetAutoSizeBuffer(false);
//   ISNAudioBufferPtr LOutBuffer = TSNAudioBuffer::CreateWaveFormat(LOut, 1024);
//   LChange.Process(LBuffer, LOutBuffer);
class TSNChangeFormat {
public:
    using TOnBuffer = std::function<void(const ISNAudioBufferPtr&)>;

    explicit TSNChangeFormat(TOnBuffer AOnBuffer);
    ~TSNChangeFormat();
    TSNChangeFormat(const TSNChangeFormat&) = delete;
    TSNChangeFormat& operator=(const TSNChangeFormat&) = delete;

    void SetInputFormat(const WAVEFORMATEXTENSIBLE& AFormat) { FInputFormat = AFormat; }
    void SetOutputFormat(const WAVEFORMATEXTENSIBLE& AFormat) { FOutputFormat = AFormat; }
    // True (the default): each input buffer gives one output buffer of its
    // converted length, made anew.
    void SetAutoSizeBuffer(bool AValue) { FAutoSizeBuffer = AValue; }
    const WAVEFORMATEXTENSIBLE& GetInputFormat() const { return FInputFormat; }
    const WAVEFORMATEXTENSIBLE& GetOutputFormat() const { return FOutputFormat; }
    bool GetAutoSizeBuffer() const { return FAutoSizeBuffer; }
    uint32_t GetOutputBufferPos() const { return FOutputBufferPos; }

    // Discards a partly filled output buffer and the resampler's history.
    void Reset();
    // Converts ABuffer and distributes it into AOutput, calling the callback
    // each time AOutput is full. In auto-size mode AOutput is replaced.
    void Process(const ISNAudioBufferPtr& ABuffer, ISNAudioBufferPtr& AOutput);

private:
    // ABuffer at the output rate: ABuffer itself, the sample-and-hold
    // repetition, or the resampler's output.
    ISNAudioBufferPtr Convert(const ISNAudioBufferPtr& ABuffer);
    // The reused buffer of converted frames, in ABuffer's layout at ARate.
    ISNAudioBufferPtr& Scratch(const ISNAudioBuffer& ABuffer, uint32_t ARate, uint32_t AFrames);
    ISNAudioBufferPtr Repeat(const ISNAudioBuffer& ABuffer, uint32_t AFactor);
    ISNAudioBufferPtr Resample(const ISNAudioBuffer& ABuffer, uint32_t AOutputRate);

    WAVEFORMATEXTENSIBLE FInputFormat{};
    WAVEFORMATEXTENSIBLE FOutputFormat{};
    uint32_t FOutputBufferPos = 0;
    bool FAutoSizeBuffer = true;
    TOnBuffer FOnBuffer;
    // The converted frames of the current input buffer, reused.
    ISNAudioBufferPtr FConverted;
};

SN_API_END
} // namespace Sonorix
