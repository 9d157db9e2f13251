// SPDX-License-Identifier: MIT
// The two ends the codec fuzz targets put around a decoder: a source of
// binary blocks and an audio sink that takes everything.
#pragma once

#include "CVPlainClass.h"
#include "DGBuffers.h"
#include "PNOperations.h"
#include "PNPins.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <exception>
#include <memory>

namespace Sonorix::Fuzz {

class TFuzzSource : public TPersistent {
public:
    TFuzzSource() : Pin(this, "OutputPin") {}
    static const TClassDescription& ClassDescription() { return PlainClassDescription<"TFuzzSource">(); }
    const TClassDescription& GetClassDescription() const override { return ClassDescription(); }
    TDGPNBinarySourcePin Pin;
};

class TFuzzSink : public TPersistent {
public:
    TFuzzSink() : Pin(this, "InputPin")
    {
        Pin.SetDispatch([](TPNPin&, const IPNNotifyOperationPtr&) { return true; });
    }
    static const TClassDescription& ClassDescription() { return TFuzzSource::ClassDescription(); }
    const TClassDescription& GetClassDescription() const override { return ClassDescription(); }
    TSNPNAudioSinkPin Pin;
};

// Framed packet streams into an Ogg codec's decoder: the first byte picks the
// output width, rate and channel count (so the conversion paths run too) and
// the size of the blocks the stream is cut into; the rest is the byte stream
// of framed packets (28-byte headers and data). Errors must come through
// OnError, never as a crash, a hang or unbounded memory.
template <class TDecoder>
int FeedFramedPackets(const uint8_t* AData, size_t ASize, const int (&ARates)[4])
{
    if (ASize < 1)
        return 0;
    const uint8_t LMode = AData[0];
    ++AData;
    --ASize;
    static const int CBits[] = {16, 8, 24, 32};
    TDecoder LDecoder;
    LDecoder.SetOnError([](TPersistent&, const std::string&, uint32_t, bool& AHandled) { AHandled = true; });
    LDecoder.GetAudioFormat().SetBits(CBits[LMode & 3]);
    LDecoder.GetAudioFormat().SetSampleRate(ARates[(LMode >> 2) & 3]);
    LDecoder.GetAudioFormat().SetCountChannels(1 + (LMode >> 4 & 1));
    const size_t LChunk = LMode & 0x80 ? 1 + (LMode >> 5 & 3) * 97 : ASize;
    TFuzzSource LSource;
    TFuzzSink LSink;
    LSource.Pin.Connect(LDecoder.GetInputPin());
    LDecoder.GetOutputPin().Connect(LSink.Pin);
    try {
        LSource.Pin.Notify(std::make_shared<TPNStartSampleRateOperation>(0));
        for (size_t LAt = 0; LAt < ASize;) {
            const size_t LSize = std::min(LChunk, ASize - LAt);
            IDGBlockBufferPtr LBlock = TDGBlockBuffer::CreateSize(LSize);
            std::memcpy(LBlock->Write(), AData + LAt, LSize);
            LSource.Pin.Notify(std::make_shared<TPNSuppliedBufferOperation>(LBlock));
            LAt += LSize;
        }
        LSource.Pin.Notify(std::make_shared<TPNStopOperation>());
    } catch (const std::exception&) {
    }
    return 0;
}

} // namespace Sonorix::Fuzz
