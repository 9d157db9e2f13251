// SPDX-License-Identifier: MIT
// Feeding streams into analysers and recording what their real-number and
// value pins send, for the analysis tests.
#pragma once

#include "CVPlainClass.h"
#include "PNPins.h"
#include "SNAudioBuffer.h"
#include "TestComponents.h"
#include "TestSamples.h"

#include <cmath>
#include <functional>
#include <memory>
#include <mutex>
#include <numbers>
#include <random>
#include <vector>

// A namespace of its own: other test kits have helpers of the same names.
namespace Sonorix::Test::Analysis {

// Pushes a stream through its pin on the calling thread.
struct TFeeder {
    TTestCollector Owner;
    TSNPNAudioSourcePin Pin{&Owner, "Feed"};

    void Start(const WAVEFORMATEXTENSIBLE& AFormat) { Pin.SendStart(AFormat); }
    void Send(const ISNAudioBufferPtr& ABuffer) { Pin.SendBuffer(ABuffer); }
    void Stop() { Pin.SendStop(); }
    // Sends frames [AFirst, AFirst + ACount) of ASource as one buffer.
    void SendPart(const ISNAudioBuffer& ASource, uint32_t AFirst, uint32_t ACount)
    {
        ISNAudioBufferPtr LPart = TSNAudioBuffer::CreateWaveFormat(ASource.GetWaveFormat(), ACount);
        ASource.CopyTo(AFirst, *LPart, 0, ACount);
        Send(LPart);
    }
    // Sends ASource cut into buffers of random sizes 1 .. AMaxPart.
    void SendRandomSplit(const ISNAudioBuffer& ASource, uint32_t ASeed, uint32_t AMaxPart)
    {
        std::mt19937 LRandom(ASeed);
        std::uniform_int_distribution<uint32_t> LSize(1, AMaxPart);
        for (uint32_t LDone = 0; LDone < ASource.GetSize();) {
            const uint32_t LCount = std::min(LSize(LRandom), ASource.GetSize() - LDone);
            SendPart(ASource, LDone, LCount);
            LDone += LCount;
        }
    }
};

// Records what arrives at a real-number or value pin.
class TRealRecorder : public TPersistent {
public:
    explicit TRealRecorder(TPNDataType AType) : FPin(this, "In", AType)
    {
        FPin.SetDispatch([this](TPNPin&, const IPNNotifyOperationPtr& AOperation) { return Receive(AOperation); });
    }
    static const TClassDescription& ClassDescription() { return PlainClassDescription<"TRealRecorder">(); }
    const TClassDescription& GetClassDescription() const override { return ClassDescription(); }

    void Listen(TPNPin& ASource) { static_cast<TPNSourcePin&>(ASource).Connect(FPin); }
    TPNSinkPin& GetPin() { return FPin; }

    std::vector<std::vector<double>> Buffers() const { return Locked(FBuffers); }
    std::vector<double> Values() const { return Locked(FValues); }
    std::vector<std::pair<double, double>> Ranges() const { return Locked(FRanges); }

private:
    bool Receive(const IPNNotifyOperationPtr& AOperation)
    {
        std::lock_guard LGuard(FMutex);
        if (auto* LBuffer = OperationAs<TPNSuppliedBufferOperation>(AOperation); LBuffer && LBuffer->Reals)
            FBuffers.emplace_back(LBuffer->Reals->Read(), LBuffer->Reals->Read() + LBuffer->Reals->GetSize());
        else if (auto* LValue = OperationAs<TPNRealValueOperation>(AOperation)) {
            FValues.push_back(LValue->Value);
            FRanges.emplace_back(LValue->Min, LValue->Max);
        } else if (auto* LRange = OperationAs<TPNRealRangeOperation>(AOperation))
            FRanges.emplace_back(LRange->Min, LRange->Max);
        return true;
    }
    template <class T>
    T Locked(const T& AField) const
    {
        std::lock_guard LGuard(FMutex);
        return AField;
    }

    TPNSinkPin FPin;
    mutable std::mutex FMutex;
    std::vector<std::vector<double>> FBuffers;
    std::vector<double> FValues;
    std::vector<std::pair<double, double>> FRanges;
};

// A meter fed by hand, with a recorder on each output pin and its events kept.
template <class TMeter>
struct TMeterRig {
    struct TEvent {
        int32_t Channel;
        double Value, Min, Max;
    };
    TFeeder Feeder;
    TMeter Meter;
    std::vector<std::unique_ptr<TRealRecorder>> Pins;
    std::vector<TEvent> Events;

    explicit TMeterRig(int AChannels = 2)
    {
        Meter.SetCountChannels(AChannels);
        Feeder.Pin.Connect(Meter.GetInputPin());
        for (int c = 0; c < AChannels; ++c) {
            Pins.push_back(std::make_unique<TRealRecorder>(TPNDataType::dtRealValue));
            Pins.back()->Listen(Meter.GetOutputPins()[c]);
        }
    }
    // Starts a stream of AInput's format and sends AInput, whole or (ASeed > 0)
    // cut at random into parts of up to AMaxPart frames; channel 0's readings.
    std::vector<double> Run(const ISNAudioBufferPtr& AInput, uint32_t ASeed = 0, uint32_t AMaxPart = 3000)
    {
        Feeder.Start(AInput->GetWaveFormat());
        if (ASeed > 0)
            Feeder.SendRandomSplit(*AInput, ASeed, AMaxPart);
        else
            Feeder.Send(AInput);
        return Pins[0]->Values();
    }
    void RecordEvents()
    {
        Meter.SetOnValueChange([this](TPersistent&, int32_t C, double V, double AMin, double AMax) {
            Events.push_back({C, V, AMin, AMax});
        });
    }
};

// Largest value of a width (8-bit: distance from 128 to 255).
inline int32_t FullScale(unsigned ABits)
{
    return ABits == 8 ? 127 : static_cast<int32_t>((int64_t{1} << (ABits - 1)) - 1);
}

// A buffer whose sample (frame f, channel c) is AValue(f, c) in signed units,
// stored with the 8-bit offset where needed.
inline ISNAudioBufferPtr MakeSignal(uint32_t ARate, unsigned ABits, unsigned AChannels, uint32_t AFrames,
                                    const std::function<double(uint32_t, unsigned)>& AValue)
{
    ISNAudioBufferPtr LBuffer = TSNAudioBuffer::CreateSize(ARate, ABits, AChannels, AFrames);
    for (uint32_t f = 0; f < AFrames; ++f)
        for (unsigned c = 0; c < AChannels; ++c) {
            const auto LValue = static_cast<int32_t>(std::lround(AValue(f, c)));
            PutSample(*LBuffer, f, c, ABits == 8 ? LValue + 128 : LValue);
        }
    return LBuffer;
}

} // namespace Sonorix::Test::Analysis

namespace Sonorix::Test {
using namespace Analysis;
}
