// SPDX-License-Identifier: MIT
// The two ends the codec fuzz targets put around a decoder: a source of
// binary blocks and an audio sink that takes everything.
#pragma once

#include "CVPlainClass.h"
#include "DGBuffers.h"
#include "PNOperations.h"
#include "PNPins.h"
#include "SNAudioBuffer.h"

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

// Thrown by a sink whose input went over its budget of frames.
class EFuzzOutputBudget : public std::exception {
public:
    const char* what() const noexcept override { return "the fuzz sink's output budget is spent"; }
};

// Takes everything; with a budget, it throws EFuzzOutputBudget at the first
// buffer past that many frames. A header may claim 1 Hz for output at
// 44.1 kHz: the decoder then rightly makes 44,100 frames of every frame of
// the stream, hours of audio from a few KiB and seconds of the fuzzer's time
// per input, which the budget cuts short. The throw passes through the
// decoder as any failure downstream would, so its unwinding is tested too.
class TFuzzSink : public TPersistent {
public:
    explicit TFuzzSink(uint64_t AFrameBudget = UINT64_MAX) : Pin(this, "InputPin"), FFramesLeft(AFrameBudget)
    {
        Pin.SetDispatch([this](TPNPin&, const IPNNotifyOperationPtr& AOperation) {
            if (const auto* LBuffer = OperationAs<TPNSuppliedBufferOperation>(AOperation);
                LBuffer && LBuffer->AudioBuffer) {
                const uint32_t LFrames = LBuffer->AudioBuffer->GetSize();
                if (LFrames > FFramesLeft)
                    throw EFuzzOutputBudget();
                FFramesLeft -= LFrames;
            }
            return true;
        });
    }
    static const TClassDescription& ClassDescription() { return TFuzzSource::ClassDescription(); }
    const TClassDescription& GetClassDescription() const override { return ClassDescription(); }
    TSNPNAudioSinkPin Pin;

private:
    uint64_t FFramesLeft;
};

// Hands blocks to a pin, reusing one block and one operation while nothing
// downstream kept them: a fresh pair per block costs more than the decoder
// spends on a short block.
class TBlockFeeder {
public:
    explicit TBlockFeeder(TDGPNBinarySourcePin& APin) : FPin(APin) {}
    void Feed(const uint8_t* AData, size_t ASize)
    {
        if (!FOperation || FOperation.use_count() > 1 || !FOperation->Block || FOperation->Block.use_count() > 1)
            FOperation = std::make_shared<TPNSuppliedBufferOperation>(TDGBlockBuffer::CreateSize(ASize));
        else
            FOperation->Block->Resize(ASize);
        if (ASize > 0)
            std::memcpy(FOperation->Block->Write(), AData, ASize);
        FPin.Notify(FOperation);
    }

private:
    TDGPNBinarySourcePin& FPin;
    std::shared_ptr<TPNSuppliedBufferOperation> FOperation;
};

// Framed packet streams into an Ogg codec's decoder: the first byte picks the
// output width, rate and channel count (so the conversion paths run too) and
// how the stream is cut into blocks; the rest is the byte stream of framed
// packets (28-byte headers and data). Errors must come through OnError, never
// as a crash, a hang or unbounded memory.
//
// Blocks are the whole input, or 98, 195 or 292 bytes, or of 1, 2, ..., 16
// bytes in turn: the last puts a cut at every offset of a header over a few
// packets at an eighth of the cost of byte-sized blocks.
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
    const size_t LStep = LMode & 0x80 ? (LMode >> 5 & 3) * 97 : ASize;
    TFuzzSource LSource;
    // About 95 s at 44.1 kHz, which streams at a real rate reach only when
    // made of the shortest packets.
    TFuzzSink LSink(uint64_t{1} << 22);
    LSource.Pin.Connect(LDecoder.GetInputPin());
    LDecoder.GetOutputPin().Connect(LSink.Pin);
    TBlockFeeder LFeeder(LSource.Pin);
    try {
        LSource.Pin.Notify(std::make_shared<TPNStartSampleRateOperation>(0));
        size_t LSmall = 0;
        for (size_t LAt = 0; LAt < ASize;) {
            const size_t LChunk = LStep > 0 ? LStep + 1 : 1 + LSmall++ % 16;
            const size_t LSize = std::min(LChunk, ASize - LAt);
            LFeeder.Feed(AData + LAt, LSize);
            LAt += LSize;
        }
        LSource.Pin.Notify(std::make_shared<TPNStopOperation>());
    } catch (const std::exception&) {
    }
    return 0;
}

} // namespace Sonorix::Fuzz
