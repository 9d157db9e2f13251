// SPDX-License-Identifier: MIT
#include "SNRepack.h"

#include "CVRegistry.h"
#include "SNCatalogue.h"

namespace Sonorix {

TSNRepack::TSNRepack() : FChangeFormat([this](const ISNAudioBufferPtr& ABuffer) { DoProcessBuffer(ABuffer); }) {}

TSNRepack::~TSNRepack() = default;

const TClassDescription& TSNRepack::ClassDescription()
{
    static const TClassDescription LDescription = [] {
        using C = TSNRepack;
        TClassDescription LClass;
        ApplyCatalogue(LClass, "TSNRepack");
        LClass.Parent = &TSNCommonFilter::ClassDescription();
        LClass.AutoInitPropertyFields = true;
        LClass.Properties = {
            DescribeObject("AudioFormat", &C::GetAudioFormat),
            DescribeProperty(AutoSizeBufferProperty, &C::GetAutoSizeBuffer, &C::SetAutoSizeBuffer),
            DescribeProperty(BufferSizeProperty, &C::GetBufferSize, &C::SetBufferSize),
        };
        LClass.Factory = [] { return std::make_shared<TSNRepack>(); };
        return LClass;
    }();
    return LDescription;
}

void TSNRepack::SetAudioFormat(const TSNOptionalBasicAudioFormat& AValue)
{
    FAudioFormat.Assign(AValue);
    FAudioFormat.SetEnabled(AValue.GetEnabled());
}

bool TSNRepack::GetAutoSizeBuffer() const
{
    return FOutputLock->Getter(FAutoSizeBuffer);
}

void TSNRepack::SetAutoSizeBuffer(bool AValue)
{
    FOutputLock->NotifySetter(FAutoSizeBuffer, AValue);
}

int32_t TSNRepack::GetBufferSize() const
{
    return FOutputLock->Getter(FBufferSize);
}

void TSNRepack::SetBufferSize(int32_t AValue)
{
    FOutputLock->NotifySetterMinMax(FBufferSize, AValue, static_cast<int32_t>(*BufferSizeProperty.Min),
                                    static_cast<int32_t>(*BufferSizeProperty.Max));
}

void TSNRepack::AudioStreamStart(const TPNStartWaveOperation& AStartOperation)
{
    // The start that goes on is the output format's, not the incoming one.
    TLockAccess LAccess = FInputLock->WriteLock();
    FWaveFormat = AStartOperation.WaveFormat;
    FOutputFormat = FAudioFormat.Merge(FWaveFormat);
    const bool LAutoSize = GetAutoSizeBuffer();
    FChangeFormat.SetInputFormat(FWaveFormat);
    FChangeFormat.SetOutputFormat(FOutputFormat);
    FChangeFormat.SetAutoSizeBuffer(LAutoSize);
    FChangeFormat.Reset();
    FOutputBuffer.reset();
    if (!LAutoSize)
        FOutputBuffer = TSNAudioBuffer::CreateSizeEx(
            FOutputFormat.Format.nSamplesPerSec, FOutputFormat.Format.wBitsPerSample, FOutputFormat.Format.nChannels,
            static_cast<uint32_t>(GetBufferSize()), FOutputFormat.dwChannelMask);
    OutputPinsNotify(std::make_shared<TPNStartWaveOperation>(FOutputFormat));
    FStartSent = true;
}

void TSNRepack::FilterInternalOperation(const ISNAudioBufferPtr& AInBuffer, ISNAudioBufferPtr& /*AOutBuffer*/,
                                        bool& ASendOutputData)
{
    // Called with FInputLock held; output goes through DoProcessBuffer.
    ASendOutputData = false;
    FChangeFormat.Process(AInBuffer, FOutputBuffer);
}

void TSNRepack::DoProcessBuffer(const ISNAudioBufferPtr& ABuffer)
{
    if (!NeedsOutput())
        return;
    OutputPinsNotify(MakePooled<TPNSuppliedBufferOperation>(
        FChangeFormat.GetAutoSizeBuffer() ? ABuffer : TSNAudioBuffer::CreateCopy(*ABuffer)));
}

bool TSNRepack::MasterPump(const IPNNotifyOperationPtr& AOperation)
{
    if (const auto* LPump = OperationAs<TPNMasterPumpOperation>(AOperation))
        FMasterPump = LPump->Source;
    return TSNCommonFilter::MasterPump(AOperation);
}

namespace SNRepack {
void RegisterPkg()
{
    RegisterComponents({&TSNRepack::ClassDescription()});
}
} // namespace SNRepack

} // namespace Sonorix
