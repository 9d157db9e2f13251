// SPDX-License-Identifier: MIT
#include "TestComponents.h"

#include "IPPExtraFunctions.h"
#include "TestSamples.h"

namespace Sonorix::Test {

TTestSource::TTestSource() : FOutputPin(this, "OutputPin")
{
    FOutputPin.SetDispatch([](TPNPin&, const IPNNotifyOperationPtr&) { return false; });
}

TTestSource::~TTestSource()
{
    StopSource();
}

const TClassDescription& TTestSource::ClassDescription()
{
    static const TClassDescription LDescription = [] {
        TClassDescription LClass;
        LClass.ClassName = "TSNTestSource";
        LClass.Unit = "TestComponents";
        LClass.Category = TPaletteCategory::pcGenerators;
        LClass.DisplayName = "Counting Test Source";
        LClass.Parent = &TLockComponent::ClassDescription();
        LClass.Properties = {
            DescribePin("OutputPin", "TSNPNAudioSourcePin", &TTestSource::GetOutputPin).AsPrimary(),
            DescribeObject("AudioFormat", &TTestSource::GetAudioFormat),
            DescribeProperty(MaxBuffersProperty, &TTestSource::GetMaxBuffers, &TTestSource::SetMaxBuffers),
            DescribeProperty(FailProperty, &TTestSource::GetFailAfterStart, &TTestSource::SetFailAfterStart),
            DescribeProperty(ThrowProperty, &TTestSource::GetThrowAtBuffer, &TTestSource::SetThrowAtBuffer),
            DescribeProperty(PumpRequestProperty, &TTestSource::GetPumpRequest, &TTestSource::SetPumpRequest),
        };
        LClass.Events = {{"OnError", [](TPersistent& AObject, TGenericEventHandler AHandler) {
                              static_cast<TTestSource&>(AObject).FOnError = std::move(AHandler);
                          }}};
        LClass.Factory = [] { return std::make_shared<TTestSource>(); };
        return LClass;
    }();
    return LDescription;
}

int32_t TTestSource::ExpectedSample(uint64_t AFrame, unsigned AChannel, unsigned AChannels, unsigned ABits)
{
    const uint64_t LValue = AFrame * AChannels + AChannel;
    switch (ABits) {
    case 8: return static_cast<int32_t>(LValue & 0xFF);
    case 16: return static_cast<int16_t>(LValue & 0xFFFF);
    case 24: return static_cast<int32_t>(static_cast<uint32_t>(LValue & 0xFFFFFF) << 8) >> 8;
    default: return static_cast<int32_t>(static_cast<uint32_t>(LValue));
    }
}

void TTestSource::StartSource()
{
    const WAVEFORMATEXTENSIBLE LFormat = FAudioFormat.GetWaveFormat();
    const int64_t LPeriod = int64_t{FAudioFormat.GetBufferSize()} * DGTimeUnitsPerSecond / LFormat.Format.nSamplesPerSec;
    FFrame = 0;
    FSent = 0;
    FRunning = true;
    FPaused = false;
    if (FPumpRequest) {
        auto LRequest = std::make_shared<TPNPumpRequestOperation>(this, ptSoftware, 0);
        FOutputPin.Notify(LRequest);
        FPumpObject = LRequest->PumpObject;
    }
    FOutputPin.SendStart(LFormat);
    if (FFailAfterStart && FOnError)
        FOnError(*this, "OnError", {{"message", std::string("test failure")}, {"code", int64_t{7}}});
    // The first buffer covers audio time 0; tick k sends the buffer at k.
    Tick();
    if (!FRunning)
        return;
    FClock = std::make_unique<TDGClockGen>(LPeriod, [this] { Tick(); });
    FClock->Start();
}

void TTestSource::SetPaused(bool APaused)
{
    if (FPaused.exchange(APaused) == APaused || !FRunning)
        return;
    if (APaused)
        FOutputPin.Notify(std::make_shared<TPNDGPauseOperation>());
    else
        FOutputPin.Notify(std::make_shared<TPNDGResumeOperation>());
}

void TTestSource::Tick()
{
    if (!FRunning || FPaused)
        return;
    if (FThrowAtBuffer > 0 && FSent + 1 == FThrowAtBuffer)
        throw EDGException("test source failed at buffer " + std::to_string(FThrowAtBuffer));
    const WAVEFORMATEXTENSIBLE LFormat = FAudioFormat.GetWaveFormat();
    const unsigned LChannels = LFormat.Format.nChannels;
    const unsigned LBits = LFormat.Format.wBitsPerSample;
    const uint32_t LFrames = static_cast<uint32_t>(FAudioFormat.GetBufferSize());
    ISNAudioBufferPtr LBuffer = TSNAudioBuffer::CreateWaveFormat(LFormat, LFrames);
    for (uint32_t F = 0; F < LFrames; ++F)
        for (unsigned C = 0; C < LChannels; ++C)
            PutSample(*LBuffer, F, C, ExpectedSample(FFrame + F, C, LChannels, LBits));
    FFrame += LFrames;
    FOutputPin.SendBuffer(LBuffer);
    ++FSent;
    if (OnBufferSent)
        OnBufferSent(FSent);
    if (FMaxBuffers > 0 && FSent >= FMaxBuffers)
        StopSource();
}

void TTestSource::StopSource()
{
    if (FClock)
        FClock->Stop();
    if (FRunning.exchange(false))
        FOutputPin.SendStop();
}

TTestCollector::TTestCollector() : FInputPin(this, "InputPin")
{
    FInputPin.SetDispatch([this](TPNPin&, const IPNNotifyOperationPtr& AOperation) { return Receive(AOperation); });
}

const TClassDescription& TTestCollector::ClassDescription()
{
    static const TClassDescription LDescription = [] {
        TClassDescription LClass;
        LClass.ClassName = "TSNTestCollector";
        LClass.Unit = "TestComponents";
        LClass.Category = TPaletteCategory::pcLoggers;
        LClass.DisplayName = "Test Collector";
        LClass.Parent = &TLockComponent::ClassDescription();
        LClass.Properties = {DescribePin("InputPin", "TSNPNAudioSinkPin", &TTestCollector::GetInputPin).AsPrimary()};
        LClass.Factory = [] { return std::make_shared<TTestCollector>(); };
        return LClass;
    }();
    return LDescription;
}

bool TTestCollector::Receive(const IPNNotifyOperationPtr& AOperation)
{
    std::lock_guard LGuard(FMutex);
    FLog.push_back(AOperation->GetName());
    if (auto* LStart = OperationAs<TPNStartWaveOperation>(AOperation))
        FStarts.push_back(LStart->WaveFormat);
    else if (auto* LBuffer = OperationAs<TPNSuppliedBufferOperation>(AOperation))
        FBuffers.push_back(LBuffer->AudioBuffer);
    else if (OperationAs<TPNStopOperation>(AOperation))
        ++FStops;
    return true;
}

uint64_t TTestCollector::Frames() const
{
    std::lock_guard LGuard(FMutex);
    uint64_t LFrames = 0;
    for (const auto& LBuffer : FBuffers)
        LFrames += LBuffer->GetSize();
    return LFrames;
}

constexpr const char* CTestModeNames[] = {"tmFirst", "tmSecond", "tmThird"};
const TEnumInfo TTestModeInfo{"TTestMode", CTestModeNames};

const TClassDescription& TTestItem::ClassDescription()
{
    static const TClassDescription LDescription = [] {
        TClassDescription LClass;
        LClass.ClassName = "TTestItem";
        LClass.Properties = {DescribeProperty(FrequencyProperty, &TTestItem::GetFrequency, &TTestItem::SetFrequency)};
        LClass.AutoInitPropertyFields = true;
        return LClass;
    }();
    return LDescription;
}

void TTestItems::SetCount(int ACount)
{
    FItems.resize(static_cast<size_t>(std::max(ACount, 0)));
    for (auto& LItem : FItems)
        if (!LItem)
            LItem = std::make_unique<TTestItem>();
    if (FOnCount)
        FOnCount();
}

TTestKitchenSink::TTestKitchenSink()
    : FItems([this] { FInputPins.SetCount(FItems.GetCount()); }),
      FInputPins(this, "InputPins", TPNDataType::dtAudio, TPNPinDirection::pdSink,
                 [this](int) { return std::make_unique<TSNPNAudioSinkPin>(this, "InputPin"); }),
      FOutputPin(this, "OutputPin"), FRealInputPin(this, "RealInputPin")
{
    FItems.SetCount(2);
}

const TClassDescription& TTestKitchenSink::ClassDescription()
{
    static const TClassDescription LDescription = [] {
        using C = TTestKitchenSink;
        TClassDescription LClass;
        LClass.ClassName = "TSNTestKitchenSink";
        LClass.Unit = "TestComponents";
        LClass.Category = TPaletteCategory::pcMixers;
        LClass.DisplayName = "Test Kitchen Sink";
        LClass.Parent = &TLockComponent::ClassDescription();
        LClass.AutoInitPropertyFields = true;
        LClass.Properties = {
            DescribeProperty(CountProperty, &C::GetCount, &C::SetCount),
            DescribeProperty(GainProperty, &C::GetGain, &C::SetGain),
            DescribeProperty(PhaseProperty, &C::GetPhase, &C::SetPhase),
            DescribeProperty(ActiveProperty, &C::GetActive, &C::SetActive),
            DescribeProperty(ModeProperty, &C::GetMode, &C::SetMode),
            DescribeProperty(FileNameProperty, &C::GetFileName, &C::SetFileName),
            DescribeReadOnly("Position", "int64", &C::GetPosition),
            DescribeObject("AudioFormat", &C::GetAudioFormat),
            DescribeCollection("Channels", &C::GetItems),
            DescribePinList("InputPins", "TSNPNAudioSinkPin", &C::GetInputPins).AsPrimary().ResizedBy("Channels"),
            DescribePin("OutputPin", "TSNPNAudioSourcePin", &C::GetOutputPin).AsPrimary(),
            DescribePin("RealInputPin", "TDGPNRealSinkPin", &C::GetRealInputPin),
        };
        LClass.RemovedProperties = {{"Boolean", "UseCustomFormat", "AudioFormat.Channels"}};
        LClass.Events = {{"OnValueChange", [](TPersistent& AObject, TGenericEventHandler AHandler) {
                              static_cast<C&>(AObject).FOnValueChange = std::move(AHandler);
                          }}};
        LClass.Factory = [] { return std::make_shared<TTestKitchenSink>(); };
        return LClass;
    }();
    return LDescription;
}

void TTestKitchenSink::FireValue(double AValue)
{
    if (FOnValueChange)
        FOnValueChange(*this, "OnValueChange", {{"channel", int64_t{0}}, {"value", AValue}});
}

void RegisterTestComponents()
{
    RegisterComponents({&TTestSource::ClassDescription(), &TTestCollector::ClassDescription(),
                        &TTestKitchenSink::ClassDescription()});
}

} // namespace Sonorix::Test
