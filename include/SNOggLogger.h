// SPDX-License-Identifier: MIT
#pragma once

#include "SNExport.h"

#include "CVComponent.h"
#include "PNOperations.h"
#include "PNPins.h"

#include <cstdint>
#include <memory>
#include <string>

namespace Sonorix {
SN_API_BEGIN

class TSNPacketAssembler;

// Sent upstream by an Ogg writer that begins a new file: the encoder is to
// end its stream and begin a new one with fresh header packets.
class TSNOggRestartOperation : public IPNNotifyOperation {
public:
    SN_DECLARE_OPERATION(TSNOggRestartOperation)
};

// Writes the framed codec packets arriving on InputPin (from a Vorbis or
// Speex encoder, or an Ogg player) as one Ogg logical stream to FileName.
// The header packets are flushed to pages of their own, and every file ends
// with an end-of-stream page, at a stop as at a file switch. Setting FileName
// while a stream runs switches files: the encoder upstream is asked for a new
// stream, the current file receives everything up to the old stream's end,
// and the new file begins with the fresh headers (its own serial number).
// An empty FileName pages the stream without writing. Pages reach the file
// as they are completed (no buffering in between), so a file whose writing
// stops early (full disk, killed process) keeps every complete page.
//
//   TSNOggLogger LLogger;
//   LLogger.SetFileName("out.ogg");
//   LEncoder.GetOutputPin().Connect(LLogger.GetInputPin());
class TSNOggLogger : public TLockComponent {
public:
    static constexpr TStringSpec FileNameProperty{.Name = "FileName",
                                                  .Default = "",
                                                  .FileFilter = "Ogg files (*.ogg)|*.ogg|All files (*.*)|*.*",
                                                  .FileExtension = "ogg",
                                                  .EditorEntry = "Edit &File Name ..."};
    static constexpr TBoolSpec EnabledProperty{.Name = "Enabled", .Default = true};

    TSNOggLogger();
    ~TSNOggLogger() override;
    static const TClassDescription& ClassDescription();
    const TClassDescription& GetClassDescription() const override { return ClassDescription(); }

    TDGPNBinarySinkPin& GetInputPin() { return FInputPin; }
    std::string GetFileName() const;
    void SetFileName(const std::string& AValue);
    bool GetEnabled() const;
    void SetEnabled(bool AValue);

    // Ends the current file as a stop does.
    void Close();
    // Asks the system to put the open file's data on disk.
    void Flush();
    // Packets written since the current file was opened.
    int64_t GetPacketCount() const;

private:
    struct TWriter;
    bool SinkDispatch(TPNPin& APin, const IPNNotifyOperationPtr& AOperation);
    // Called with FInputLock held.
    void BeginAudio(const std::string& AFileName);
    void EndAudio();
    void RenderAudio(const IDGBlockBuffer& ABlock);
    void HandlePacket(const struct TSNCodecPacketHeader& AHeader, const uint8_t* AData);

    std::shared_ptr<TBasicLockChangeNotifyLock> FInputLock;
    TDGPNBinarySinkPin FInputPin;
    std::string FFileName = FileNameProperty.Default;
    bool FEnabled = EnabledProperty.Default;
    std::unique_ptr<TSNPacketAssembler> FAssembler;
    std::unique_ptr<TWriter> FWriter;
};

namespace SNOggLogger {
void RegisterPkg();
} // namespace SNOggLogger

SN_API_END
} // namespace Sonorix
