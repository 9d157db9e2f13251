// SPDX-License-Identifier: MIT
#include "SNOggLogger.h"

#include "CVRegistry.h"
#include "DGBuffers.h"
#include "SNCatalogue.h"
#include "SNTypes.h"
#include "codecs/SNPacketAssembler.h"
#include "codecs/SNVorbisOgg.h"

#include <fcntl.h>
#include <sys/uio.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <random>

namespace Sonorix {

namespace {
int NewSerial(int APrevious)
{
    static std::mutex LMutex;
    static std::mt19937 LGenerator{std::random_device{}()};
    std::lock_guard LGuard(LMutex);
    std::uniform_int_distribution<int> LDistribution(0, 999999);
    int LSerial;
    do
        LSerial = LDistribution(LGenerator);
    while (LSerial == APrevious);
    return LSerial;
}
} // namespace

struct TSNOggLogger::TWriter {
    std::string FileName;
    int File = -1;
    // Bytes of complete pages in the file; a failed write is cut back to it.
    off_t GoodSize = 0;
    std::string WriteError;
    bool ErrorReported = false;
    std::unique_ptr<ogg_stream_state, TVorbisStructFree> StreamState;
    std::unique_ptr<ogg_page, TVorbisStructFree> Page;
    bool StreamOpen = false;
    int Serial = -1;
    int HeaderPackets = 1;
    int64_t PacketsInStream = 0;
    int64_t PacketsInFile = 0;
    // The newest packet is held back, so that the last one of a file can be
    // marked as the end of the stream.
    TSNCodecPacketHeader Held{};
    std::vector<uint8_t> HeldData;
    bool HasHeld = false;
    // A file switch waits for the encoder's new first packet.
    std::string PendingFileName;
    bool SwitchPending = false;
    bool DropUntilFirst = false;
    ~TWriter()
    {
        if (StreamOpen)
            ogg_stream_clear(StreamState.get());
        if (File >= 0)
            ::close(File);
    }

    void WritePage()
    {
        if (File < 0 || !WriteError.empty())
            return;
        iovec LParts[2] = {{Page->header, static_cast<size_t>(Page->header_len)},
                           {Page->body, static_cast<size_t>(Page->body_len)}};
        size_t LLeft = LParts[0].iov_len + LParts[1].iov_len;
        int LIndex = 0;
        while (LLeft > 0) {
            const ssize_t LWritten = ::writev(File, LParts + LIndex, 2 - LIndex);
            if (LWritten < 0 && errno == EINTR)
                continue;
            if (LWritten <= 0) {
                WriteError = "cannot write '" + FileName + "': " + std::strerror(LWritten < 0 ? errno : ENOSPC);
                // What is on disk ends with the last complete page.
                if (::ftruncate(File, GoodSize) != 0) {
                }
                return;
            }
            LLeft -= static_cast<size_t>(LWritten);
            size_t LDone = static_cast<size_t>(LWritten);
            while (LIndex < 2 && LDone >= LParts[LIndex].iov_len)
                LDone -= LParts[LIndex++].iov_len;
            if (LIndex < 2) {
                LParts[LIndex].iov_base = static_cast<uint8_t*>(LParts[LIndex].iov_base) + LDone;
                LParts[LIndex].iov_len -= LDone;
            }
        }
        GoodSize += Page->header_len + Page->body_len;
    }

    void BeginStream()
    {
        Serial = NewSerial(Serial);
        ogg_stream_init(StreamState.get(), Serial);
        StreamOpen = true;
        PacketsInStream = 0;
        HeaderPackets = 1;
    }

    // Pages the packet; the headers' pages are flushed at once.
    void Submit(TSNCodecPacketHeader AHeader, uint8_t* AData)
    {
        if (AHeader.b_o_s && PacketsInStream > 0) {
            // A new logical stream in the same file: end the current one.
            EndStream();
            BeginStream();
        }
        if (!StreamOpen)
            BeginStream();
        if (PacketsInStream == 0)
            HeaderPackets = HeaderPacketCount(AData, AHeader.bytes);
        ogg_packet LPacket{};
        LPacket.packet = AData;
        LPacket.bytes = AHeader.bytes;
        LPacket.b_o_s = PacketsInStream == 0 ? 1 : 0;
        LPacket.e_o_s = AHeader.e_o_s ? 1 : 0;
        LPacket.granulepos = AHeader.granulepos;
        LPacket.packetno = PacketsInStream;
        ogg_stream_packetin(StreamState.get(), &LPacket);
        ++PacketsInStream;
        ++PacketsInFile;
        const bool LFlush = LPacket.e_o_s || PacketsInStream == 1 || PacketsInStream == HeaderPackets;
        while ((LFlush ? ogg_stream_flush(StreamState.get(), Page.get())
                       : ogg_stream_pageout(StreamState.get(), Page.get())) != 0)
            WritePage();
        if (LPacket.e_o_s) {
            ogg_stream_clear(StreamState.get());
            StreamOpen = false;
        }
    }

    void Hold(const TSNCodecPacketHeader& AHeader, const uint8_t* AData)
    {
        if (HasHeld)
            Submit(Held, HeldData.data());
        Held = AHeader;
        HeldData.assign(AData, AData + AHeader.bytes);
        HasHeld = true;
    }

    // Ends the logical stream with an end-of-stream page.
    void EndStream()
    {
        if (HasHeld) {
            HasHeld = false;
            Held.e_o_s = 1;
            Submit(Held, HeldData.data());
        }
        if (StreamOpen) {
            while (ogg_stream_flush(StreamState.get(), Page.get()) != 0)
                WritePage();
            ogg_stream_clear(StreamState.get());
            StreamOpen = false;
        }
    }
};

TSNOggLogger::TSNOggLogger()
    : FInputLock(std::make_shared<TBasicLockChangeNotifyLock>()), FInputPin(this, "InputPin"),
      FAssembler(std::make_unique<TSNPacketAssembler>())
{
    FInputPin.SetDispatch([this](TPNPin& APin, const IPNNotifyOperationPtr& AOperation) {
        return SinkDispatch(APin, AOperation);
    });
}

TSNOggLogger::~TSNOggLogger()
{
    FInputPin.DisconnectAll();
    TLockAccess LAccess = FInputLock->WriteLock();
    try {
        EndAudio();
    } catch (...) {
        // A destructor reports nothing; the file is closed either way.
    }
}

const TClassDescription& TSNOggLogger::ClassDescription()
{
    static const TClassDescription LDescription = [] {
        using C = TSNOggLogger;
        TClassDescription LClass;
        ApplyCatalogue(LClass, "TSNOggLogger");
        LClass.Parent = &TLockComponent::ClassDescription();
        LClass.AutoInitPropertyFields = true;
        LClass.ComponentEditorEntries = true;
        LClass.Properties = {
            DescribePin("InputPin", "TDGPNBinarySinkPin", &C::GetInputPin).AsPrimary(),
            DescribeProperty(FileNameProperty, &C::GetFileName, &C::SetFileName),
            DescribeProperty(EnabledProperty, &C::GetEnabled, &C::SetEnabled),
        };
        LClass.Factory = [] { return std::make_shared<TSNOggLogger>(); };
        return LClass;
    }();
    return LDescription;
}

std::string TSNOggLogger::GetFileName() const
{
    return FLock->Getter(FFileName);
}

void TSNOggLogger::SetFileName(const std::string& AValue)
{
    FLock->NotifySetter(FFileName, AValue);
}

bool TSNOggLogger::GetEnabled() const
{
    return FLock->Getter(FEnabled);
}

void TSNOggLogger::SetEnabled(bool AValue)
{
    FLock->NotifySetter(FEnabled, AValue);
}

void TSNOggLogger::Close()
{
    TLockAccess LAccess = FInputLock->WriteLock();
    EndAudio();
}

void TSNOggLogger::Flush()
{
    TLockAccess LAccess = FInputLock->WriteLock();
    if (FWriter && FWriter->File >= 0)
        ::fdatasync(FWriter->File);
}

int64_t TSNOggLogger::GetPacketCount() const
{
    TLockAccess LAccess = FInputLock->ReadLock();
    return FWriter ? FWriter->PacketsInFile : 0;
}

bool TSNOggLogger::SinkDispatch(TPNPin& /*APin*/, const IPNNotifyOperationPtr& AOperation)
{
    TLockAccess LAccess = FInputLock->WriteLock();
    if (OperationAs<TPNStartSampleRateOperation>(AOperation) || OperationAs<TPNStartWaveOperation>(AOperation)) {
        FAssembler->Reset();
        EndAudio();
        if (GetEnabled())
            BeginAudio(GetFileName());
        return true;
    }
    if (OperationAs<TPNStopOperation>(AOperation)) {
        FAssembler->Reset();
        EndAudio();
        return true;
    }
    if (auto* LBuffer = OperationAs<TPNSuppliedBufferOperation>(AOperation)) {
        if (!LBuffer->Block || !GetEnabled())
            return false;
        if (!FWriter)
            BeginAudio(GetFileName());
        RenderAudio(*LBuffer->Block);
        return true;
    }
    return false;
}

void TSNOggLogger::BeginAudio(const std::string& AFileName)
{
    auto LWriter = std::make_unique<TWriter>();
    LWriter->FileName = AFileName;
    if (!AFileName.empty()) {
        LWriter->File = ::open(AFileName.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
        if (LWriter->File < 0)
            throw EFOpenError("Cannot create " + AFileName + ".");
    }
    LWriter->StreamState.reset(static_cast<ogg_stream_state*>(DLL_GetOggStreamStateStruct()));
    LWriter->Page.reset(static_cast<ogg_page*>(DLL_Getogg_pageStruct()));
    if (FWriter)
        LWriter->Serial = FWriter->Serial;
    FWriter = std::move(LWriter);
}

void TSNOggLogger::EndAudio()
{
    if (!FWriter)
        return;
    std::unique_ptr<TWriter> LWriter = std::move(FWriter);
    LWriter->EndStream();
    if (!LWriter->WriteError.empty() && !LWriter->ErrorReported)
        throw EDGException(GetDisplayPath() + ": " + LWriter->WriteError);
}

void TSNOggLogger::RenderAudio(const IDGBlockBuffer& ABlock)
{
    std::string LError;
    if (!FAssembler->Feed(
            static_cast<const uint8_t*>(ABlock.Read()), ABlock.GetSize(),
            [this](const TSNCodecPacketHeader& AHeader, const uint8_t* AData) { HandlePacket(AHeader, AData); },
            LError))
        throw EDGException(GetDisplayPath() + ": " + LError);
    if (FWriter && !FWriter->WriteError.empty() && !FWriter->ErrorReported) {
        const std::string LMessage = GetDisplayPath() + ": " + FWriter->WriteError;
        // Reported once; later packets are dropped until the stream ends.
        FWriter->ErrorReported = true;
        if (FWriter->File >= 0) {
            ::close(FWriter->File);
            FWriter->File = -1;
        }
        throw EDGException(LMessage);
    }
}

void TSNOggLogger::HandlePacket(const TSNCodecPacketHeader& AHeader, const uint8_t* AData)
{
    TWriter* LWriter = FWriter.get();
    const std::string LFileName = GetFileName();
    if (!LWriter->SwitchPending && !LWriter->DropUntilFirst && LFileName != LWriter->FileName) {
        LWriter->PendingFileName = LFileName;
        // An encoder upstream answers with a new stream; anything else
        // cannot, and the new file then starts with the next first packet.
        if (FInputPin.Notify(std::make_shared<TSNOggRestartOperation>()))
            LWriter->SwitchPending = true;
        else {
            const std::string LName = LWriter->PendingFileName;
            EndAudio();
            BeginAudio(LName);
            FWriter->DropUntilFirst = true;
            LWriter = FWriter.get();
        }
    }
    if (AHeader.b_o_s && LWriter->SwitchPending) {
        LWriter->SwitchPending = false;
        const std::string LName = LWriter->PendingFileName;
        EndAudio();
        BeginAudio(LName);
        LWriter = FWriter.get();
    }
    if (LWriter->DropUntilFirst) {
        if (!AHeader.b_o_s)
            return;
        LWriter->DropUntilFirst = false;
    }
    LWriter->Hold(AHeader, AData);
}

namespace SNOggLogger {
void RegisterPkg()
{
    RegisterComponents({&TSNOggLogger::ClassDescription()});
}
} // namespace SNOggLogger

} // namespace Sonorix
