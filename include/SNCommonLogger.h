// SPDX-License-Identifier: MIT
// Base of the file writers: one audio input and a file name.
#pragma once

#include "SNExport.h"

#include "CVComponent.h"
#include "PNPins.h"
#include "SNAudioBuffer.h"

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>

namespace Sonorix {
SN_API_BEGIN

// A writer takes a stream on InputPin: the start reaches BeginAudio (the file
// is opened there), each buffer RenderAudio, the stop EndAudio (the file is
// completed and closed). A disabled writer ignores streams that start while
// it is disabled. Operations are handled on the delivering thread, under
// FInputLock.
class TSNCommonLogger : public TLockComponent {
public:
    static constexpr TStringSpec FileNameProperty{
        .Name = "FileName", .Default = "", .FileFilter = "All files (*.*)|*.*", .EditorEntry = "Edit &File Name ..."};
    static constexpr TBoolSpec EnabledProperty{.Name = "Enabled", .Default = true};

    TSNCommonLogger();
    ~TSNCommonLogger() override;
    static const TClassDescription& ClassDescription();
    const TClassDescription& GetClassDescription() const override { return ClassDescription(); }

    TSNPNAudioSinkPin& GetInputPin() { return FInputPin; }
    std::string GetFileName() const;
    // Takes effect at the next stream start.
    void SetFileName(const std::string& AValue);
    bool GetEnabled() const;
    void SetEnabled(bool AValue);
    // Whether a stream is being written.
    bool IsLogging() const;
    // Audio handed to the file since the current (or last) stream started,
    // in 100-nanosecond units. Any thread.
    int64_t GetLoggedTime() const;

protected:
    virtual bool SinkDispatch(TPNPin& APin, const IPNNotifyOperationPtr& AOperation);
    // Called with FInputLock held.
    virtual void BeginAudio(const WAVEFORMATEXTENSIBLE& AWaveFormat) = 0;
    virtual void RenderAudio(const ISNAudioBufferPtr& AAudioBuffer) = 0;
    virtual void EndAudio() = 0;

    std::shared_ptr<TBasicLockChangeNotifyLock> FInputLock;
    TSNPNAudioSinkPin FInputPin;
    bool FLogging = false;

private:
    std::atomic<int64_t> FLoggedFrames{0};
    std::atomic<uint32_t> FLoggedRate{0};
    std::string FFileName = FileNameProperty.Default;
    bool FEnabled = EnabledProperty.Default;
};

SN_API_END
} // namespace Sonorix
