// SPDX-License-Identifier: MIT
#pragma once

#include "SNExport.h"

#include "SNCommonSplitter.h"

namespace Sonorix {
SN_API_BEGIN

// Sends each channel of a stream as a mono stream of its own: output pin i
// carries channel i, samples unchanged, same rate and width. The mono buffers
// carry the stream's channel mask (the start announces front left) and the
// width of its valid bits: 24 valid bits in a 32-bit container give 24-bit
// buffers holding the top 24 bits.
//
// Pins: InputPin (audio in), OutputPins (one TSNPNAudioSourcePin per channel,
// as many as CountChannels). Pins beyond the stream's channel count stay idle.
//
//   TSNChannelSplitter LSplit;                      // two outputs by default
//   LSource.GetOutputPin().Connect(LSplit.GetInputPin());
//   static_cast<TPNSourcePin&>(LSplit.GetOutputPins()[1]).Connect(LRight.GetInputPin());
class TSNChannelSplitter : public TSNCommonSplitter {
public:
    TSNChannelSplitter();
    ~TSNChannelSplitter() override;

    static const TClassDescription& ClassDescription();
    const TClassDescription& GetClassDescription() const override { return ClassDescription(); }

protected:
    void AudioStreamStart(const WAVEFORMATEXTENSIBLE* AWaveFormat) override;
    void Strip8Bits(int32_t AChannel, const ISNAudioBufferPtr& ABuffer) override;
    void Strip16Bits(int32_t AChannel, const ISNAudioBufferPtr& ABuffer) override;
    void Strip24Bits(int32_t AChannel, const ISNAudioBufferPtr& ABuffer) override;
    void Strip32Bits(int32_t AChannel, const ISNAudioBufferPtr& ABuffer) override;
    std::unique_ptr<TPNPin> CreateSourcePin(int AIndex) override;

private:
    template <unsigned ABytes>
    void Strip(int32_t AChannel, const ISNAudioBuffer& ABuffer);

    // The mono format sent on every output.
    WAVEFORMATEXTENSIBLE FOutputFormat{};
    // The width of the mono buffers: the running format's valid bits,
    // rounded up to a width a buffer holds.
    uint32_t MonoBits() const;
};

namespace SNChannelSplitter {
// Registers TSNChannelSplitter with the component registry.
void RegisterPkg();
} // namespace SNChannelSplitter

SN_API_END
} // namespace Sonorix
