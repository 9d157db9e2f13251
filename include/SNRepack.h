// SPDX-License-Identifier: MIT
#pragma once

#include "SNExport.h"

#include "SNAudioFormat.h"
#include "SNCommonFilter.h"
#include "SNRateChange.h"

namespace Sonorix {
SN_API_BEGIN

// Re-cuts a stream into buffers of BufferSize frames and, when AudioFormat
// is enabled, converts it to that format (channels, rate, sample width), so
// downstream components receive buffers of a predictable length.
//
// Pins: InputPin (audio in), OutputPin (audio out). AudioFormat, BufferSize
// and AutoSizeBuffer apply from the next stream start; a partial buffer at
// the end of a stream is not sent.
//
//   TSNRepack LRepack;
//   LRepack.SetBufferSize(480);
//   LRepack.GetAudioFormat().SetEnabled(true);
//   LRepack.GetAudioFormat().SetSampleRate(48000);
class TSNRepack : public TSNCommonFilter {
public:
    static constexpr TBoolSpec AutoSizeBufferProperty{.Name = "AutoSizeBuffer", .Default = false};
    static constexpr TIntSpec BufferSizeProperty{
        .Name = "BufferSize", .Default = 1024, .Min = 1, .Max = 1 << 24, .DesignMin = 64, .DesignMax = 65536};

    TSNRepack();
    ~TSNRepack() override;

    static const TClassDescription& ClassDescription();
    const TClassDescription& GetClassDescription() const override { return ClassDescription(); }

    TSNOptionalBasicAudioFormat& GetAudioFormat() { return FAudioFormat; }
    void SetAudioFormat(const TSNOptionalBasicAudioFormat& AValue);
    bool GetAutoSizeBuffer() const;
    void SetAutoSizeBuffer(bool AValue);
    int32_t GetBufferSize() const;
    void SetBufferSize(int32_t AValue);

protected:
    void AudioStreamStart(const TPNStartWaveOperation& AStartOperation) override;
    void FilterInternalOperation(const ISNAudioBufferPtr& AInBuffer, ISNAudioBufferPtr& AOutBuffer,
                                 bool& ASendOutputData) override;
    bool ProcessesInPlace() const override { return true; }
    bool MasterPump(const IPNNotifyOperationPtr& AOperation) override;

private:
    // A completed output buffer: a copy goes out, so the buffer can be
    // refilled at once (auto-size buffers are new each time and go as they are).
    void DoProcessBuffer(const ISNAudioBufferPtr& ABuffer);

    TSNOptionalBasicAudioFormat FAudioFormat;
    bool FAutoSizeBuffer = AutoSizeBufferProperty.Default;
    std::atomic<TPersistent*> FMasterPump{nullptr};
    int32_t FBufferSize = static_cast<int32_t>(BufferSizeProperty.Default);
    // Guarded by FInputLock.
    ISNAudioBufferPtr FOutputBuffer;
    WAVEFORMATEXTENSIBLE FOutputFormat{};
    TSNChangeFormat FChangeFormat;
};

namespace SNRepack {
// Registers TSNRepack with the component registry.
void RegisterPkg();
} // namespace SNRepack

SN_API_END
} // namespace Sonorix
