// SPDX-License-Identifier: MIT
#include "SNOggPlayer.h"

#include "CVRegistry.h"
#include "CVThreading.h"
#include "DGBuffers.h"
#include "SNBasicCompressor.h"
#include "SNCatalogue.h"
#include "codecs/SNPacketAssembler.h"
#include "codecs/SNVorbisOgg.h"

#include <cerrno>
#include <cmath>
#include <cstring>

#include <sys/stat.h>

namespace Sonorix {

namespace {
constexpr const char* CClockSourceNames[] = {"csAuto", "csInternal", "csExternal"};
} // namespace

const TEnumInfo TDGClockSourceInfo{"TDGClockSource", CClockSourceNames};

// --- TSNAudioPlayerSegment ---------------------------------------------------------

const TClassDescription& TSNAudioPlayerSegment::ClassDescription()
{
    static const TClassDescription LDescription = [] {
        using C = TSNAudioPlayerSegment;
        TClassDescription LClass;
        LClass.ClassName = "TSNAudioPlayerSegment";
        LClass.Unit = "SNOggPlayer";
        LClass.Properties = {
            DescribeProperty(EnabledProperty, &C::GetEnabled, &C::SetEnabled),
            DescribeProperty(StartSampleProperty, &C::GetStartSample, &C::SetStartSample),
            DescribeProperty(StopSampleProperty, &C::GetStopSample, &C::SetStopSample),
        };
        return LClass;
    }();
    return LDescription;
}

bool TSNAudioPlayerSegment::GetEnabled() const { return FLock->Getter(FEnabled); }
void TSNAudioPlayerSegment::SetEnabled(bool AValue) { FLock->NotifySetter(FEnabled, AValue); }
int64_t TSNAudioPlayerSegment::GetStartSample() const { return FLock->Getter(FStartSample); }
void TSNAudioPlayerSegment::SetStartSample(int64_t AValue)
{
    FLock->NotifySetterMin(FStartSample, AValue, int64_t{0});
}
int64_t TSNAudioPlayerSegment::GetStopSample() const { return FLock->Getter(FStopSample); }
void TSNAudioPlayerSegment::SetStopSample(int64_t AValue)
{
    FLock->NotifySetterMin(FStopSample, AValue, int64_t{0});
}

// --- Reading ---------------------------------------------------------------------

struct TSNOggPlayer::TReader {
    std::string FileName;
    FILE* File = nullptr;
    std::unique_ptr<ogg_sync_state, TVorbisStructFree> SyncState;
    std::unique_ptr<ogg_stream_state, TVorbisStructFree> StreamState;
    std::unique_ptr<ogg_page, TVorbisStructFree> OggPage;
    ogg_packet OggPacket{};
    int64_t SerialNo = -1;
    long BufferSize = 1024;
    // Index in the file of the next packet read, the header packets of the
    // stream, and the packet to go on with after a seek.
    int64_t ReadIndex = 0;
    int HeaderPackets = 1;
    int64_t SkipTo = 0;
    bool PageFailed = false;

    ~TReader()
    {
        if (StreamState)
            ogg_stream_clear(StreamState.get());
        if (SyncState)
            ogg_sync_clear(SyncState.get());
        if (File)
            std::fclose(File);
    }

    long GetData()
    {
        char* LBuffer = ogg_sync_buffer(SyncState.get(), BufferSize);
        if (!LBuffer)
            return -1;
        const size_t LRead = std::fread(LBuffer, 1, static_cast<size_t>(BufferSize), File);
        if (LRead == 0)
            return -1;
        ogg_sync_wrote(SyncState.get(), static_cast<long>(LRead));
        return static_cast<long>(LRead);
    }

    // The next page of the file; false at its end.
    bool NextPage()
    {
        for (;;) {
            const int LResult = ogg_sync_pageout(SyncState.get(), OggPage.get());
            if (LResult == 1)
                return true;
            // 0: more data needed; -1: bytes skipped to find a page.
            if (LResult == 0 && GetData() < 0)
                return false;
        }
    }

    // The next packet of the stream into OggPacket; false at the end of the
    // file or at a page that does not belong to the stream.
    bool NextPacket()
    {
        for (;;) {
            const int LResult = ogg_stream_packetout(StreamState.get(), &OggPacket);
            if (LResult == 1)
                return true;
            if (LResult < 0)
                continue; // a hole in the data: go on after it
            if (!NextPage())
                return false;
            if (SerialNo < 0) {
                SerialNo = ogg_page_serialno(OggPage.get());
                ogg_stream_reset_serialno(StreamState.get(), static_cast<int>(SerialNo));
            }
            if (ogg_stream_pagein(StreamState.get(), OggPage.get()) != 0) {
                PageFailed = true;
                return false;
            }
        }
    }

    void Rewind()
    {
        std::fseek(File, 0, SEEK_SET);
        std::clearerr(File);
        ogg_sync_reset(SyncState.get());
        ogg_stream_reset(StreamState.get());
        ReadIndex = 0;
    }
};

// --- TSNOggPlayer ----------------------------------------------------------------

TSNOggPlayer::TSNOggPlayer()
    : FOutputPin(this, "OutputPin"), FProgressPin(this, "ProgressPin"), FClockInputPin(this, "ClockInputPin"),
      FPlaySegment(FLock), FClock(std::make_unique<TDGClockGen>(DGTimeUnitsPerSecond / 10, [this] { Tick(); }))
{
    FOutputPin.SetDispatch(
        [this](TPNPin&, const IPNNotifyOperationPtr& AOperation) { return SourceDispatch(AOperation); });
    FClockInputPin.SetDispatch(
        [this](TPNPin&, const IPNNotifyOperationPtr& AOperation) { return SinkDispatch(AOperation); });
}

TSNOggPlayer::~TSNOggPlayer()
{
    FClock->Stop();
    FProgressNotify.Shutdown();
    FStopNotify.Shutdown();
    if (FStopPosted)
        TDGTimeline::EndWork();
    FClockInputPin.DisconnectAll();
    FOutputPin.DisconnectAll();
    FProgressPin.DisconnectAll();
    TLockAccess LAccess = FLock->WriteLock();
    FReader.reset();
}

const TClassDescription& TSNOggPlayer::ClassDescription()
{
    static const TClassDescription LDescription = [] {
        using C = TSNOggPlayer;
        TClassDescription LClass;
        ApplyCatalogue(LClass, "TSNOggPlayer");
        LClass.Parent = &TLockComponent::ClassDescription();
        LClass.AutoInitPropertyFields = true;
        LClass.ComponentEditorEntries = true;
        LClass.Properties = {
            DescribePin("OutputPin", "TDGPNBinarySourcePin", &C::GetOutputPin).AsPrimary(),
            DescribePin("ProgressPin", "TPNInt64TimeRangedSourcePin", &C::GetProgressPin),
            DescribePin("ClockInputPin", "TPNClockMultiSinkPin", &C::GetClockInputPin).WithOldName("ClockPin"),
            DescribeProperty(FileNameProperty, &C::GetFileName, &C::SetFileName),
            DescribeProperty(RestartOnNewFileProperty, &C::GetRestartOnNewFile, &C::SetRestartOnNewFile),
            DescribeProperty(PumpPriorityProperty, &C::GetPumpPriority, &C::SetPumpPriority),
            DescribeProperty(EnabledProperty, &C::GetEnabled, &C::SetEnabled),
            DescribeProperty(PausedProperty, &C::GetPaused, &C::SetPaused),
            DescribeProperty(LoopProperty, &C::GetLoop, &C::SetLoop),
            DescribeProperty(ClockSourceProperty, &C::GetClockSource, &C::SetClockSource),
            DescribeObject("PlaySegment", &C::GetPlaySegment),
            DescribeProperty(RateProperty, &C::GetRate, &C::SetRate),
            DescribeProperty(BufferSizeProperty, &C::GetBufferSize, &C::SetBufferSize),
            DescribeProperty(StreamingProperty, &C::GetStreaming, &C::SetStreaming),
            DescribeReadOnly("SamplesCount", "int64", &C::GetSamplesCount),
            DescribeReadOnly("CurrentSample", "int64", &C::GetCurrentSample),
        };
        LClass.Events = {
            TLAVErrorSource::DescribeOnError(),
            {"OnProgress", [](TPersistent& AObject, TGenericEventHandler AHandler) {
                 auto& LPlayer = static_cast<C&>(AObject);
                 if (!AHandler) {
                     LPlayer.SetOnProgress(nullptr);
                     return;
                 }
                 LPlayer.SetOnProgress([AHandler](TPersistent& ASender, int64_t AStart, int64_t AStop, int64_t ASample) {
                     AHandler(ASender, "OnProgress", {{"start", AStart}, {"stop", AStop}, {"sample", ASample}});
                 });
             }},
            {"OnStop", [](TPersistent& AObject, TGenericEventHandler AHandler) {
                 auto& LPlayer = static_cast<C&>(AObject);
                 if (!AHandler) {
                     LPlayer.SetOnStop(nullptr);
                     return;
                 }
                 LPlayer.SetOnStop([AHandler](TPersistent& ASender) { AHandler(ASender, "OnStop", {}); });
             }},
        };
        LClass.Factory = [] { return std::make_shared<TSNOggPlayer>(); };
        return LClass;
    }();
    return LDescription;
}

std::string TSNOggPlayer::GetFileName() const { return FLock->Getter(FFileName); }
void TSNOggPlayer::SetFileName(const std::string& AValue)
{
    FLock->NotifySetter(FFileName, AValue, [this] {
        if (GetDesignMode())
            return;
        if (!GetEnabled())
            StopSource();
        // Unconnected (a pipeline being built), the start comes later.
        else if (FOutputPin.IsConnected())
            StartSource();
    });
}
bool TSNOggPlayer::GetRestartOnNewFile() const { return FLock->Getter(FRestartOnNewFile); }
void TSNOggPlayer::SetRestartOnNewFile(bool AValue) { FLock->NotifySetter(FRestartOnNewFile, AValue); }
uint32_t TSNOggPlayer::GetPumpPriority() const { return FLock->Getter(FPumpPriority); }
void TSNOggPlayer::SetPumpPriority(uint32_t AValue) { FLock->NotifySetter(FPumpPriority, AValue); }
bool TSNOggPlayer::GetEnabled() const { return FLock->Getter(FEnabled); }

void TSNOggPlayer::SetEnabled(bool AValue)
{
    FLock->NotifySetter(FEnabled, AValue, [this, AValue] {
        if (AValue)
            StartSource();
        else
            StopSource();
    });
}

bool TSNOggPlayer::GetPaused() const { return FLock->Getter(FPaused); }

void TSNOggPlayer::SetPaused(bool AValue)
{
    FLock->NotifySetter(FPaused, AValue, [this, AValue] {
        if (!FRunning)
            return;
        if (AValue) {
            FOutputPin.Notify(std::make_shared<TPNDGPauseOperation>());
            return;
        }
        FOutputPin.Notify(std::make_shared<TPNDGResumeOperation>());
        // The pump's requests refused meanwhile: its pull may have been the
        // only one (a decoder's clock starts after the headers).
        TLockAccess LAccess = FLock->WriteLock();
        for (; FPumpCounter > 0 && FRunning && !FPaused; --FPumpCounter)
            IntPump();
    });
}

bool TSNOggPlayer::GetLoop() const { return FLock->Getter(FLoop); }
void TSNOggPlayer::SetLoop(bool AValue) { FLock->NotifySetter(FLoop, AValue); }
TDGClockSource TSNOggPlayer::GetClockSource() const { return FLock->Getter(FClockSource); }
void TSNOggPlayer::SetClockSource(TDGClockSource AValue) { FLock->NotifySetter(FClockSource, AValue); }
int32_t TSNOggPlayer::GetRate() const { return FLock->Getter(FRate); }

void TSNOggPlayer::SetRate(int32_t AValue)
{
    FLock->NotifySetterMinMax(FRate, AValue, static_cast<int32_t>(*RateProperty.Min),
                              static_cast<int32_t>(*RateProperty.Max));
}

int32_t TSNOggPlayer::GetBufferSize() const { return FLock->Getter(FBufferSize); }

void TSNOggPlayer::SetBufferSize(int32_t AValue)
{
    FLock->NotifySetterMinMax(FBufferSize, AValue, static_cast<int32_t>(*BufferSizeProperty.Min),
                              static_cast<int32_t>(*BufferSizeProperty.Max));
}

bool TSNOggPlayer::GetStreaming() const { return FLock->Getter(FStreaming); }
void TSNOggPlayer::SetStreaming(bool AValue) { FLock->NotifySetter(FStreaming, AValue); }

void TSNOggPlayer::SetOnProgress(TCMProgressEvent AEvent)
{
    TLockAccess LAccess = FLock->WriteLock();
    FOnProgress = AEvent ? std::make_shared<const TCMProgressEvent>(std::move(AEvent)) : nullptr;
    if (!FOnProgress)
        FProgressNotify.ClearMainThread();
}

void TSNOggPlayer::SetOnStop(TNotifyEvent AEvent)
{
    TLockAccess LAccess = FLock->WriteLock();
    FOnStop = AEvent ? std::make_shared<const TNotifyEvent>(std::move(AEvent)) : nullptr;
}

bool TSNOggPlayer::ClockIsExternal() const
{
    switch (GetClockSource()) {
    case csExternal:
        return true;
    case csInternal:
        return false;
    default:
        return FClockInputPin.IsConnected();
    }
}

bool TSNOggPlayer::Open()
{
    TLockAccess LAccess = FLock->WriteLock();
    if (!FOpened)
        FOpened = IntOpen();
    return FOpened;
}

void TSNOggPlayer::Close()
{
    StopSource();
    TLockAccess LAccess = FLock->WriteLock();
    IntClose();
}

void TSNOggPlayer::SetOpened(bool AValue)
{
    if (AValue)
        Open();
    else
        Close();
}

bool TSNOggPlayer::IntOpen()
{
    const std::string LFileName = GetFileName();
    if (LFileName.empty())
        return false;
    auto LReader = std::make_unique<TReader>();
    LReader->FileName = LFileName;
    LReader->BufferSize = GetBufferSize();
    // The file is scanned and rewound: a FIFO, a device or a folder cannot be.
    if (struct stat LStat {}; stat(LFileName.c_str(), &LStat) == 0 && !S_ISREG(LStat.st_mode)) {
        Error(*this, "Cannot open " + LFileName + ".", EINVAL, "not a regular file");
        return false;
    }
    LReader->File = std::fopen(LFileName.c_str(), "rb");
    if (!LReader->File) {
        Error(*this, "Cannot open " + LFileName + ".", static_cast<uint32_t>(errno), std::strerror(errno));
        return false;
    }
    LReader->SyncState.reset(static_cast<ogg_sync_state*>(DLL_Getogg_sync_stateStruct()));
    LReader->StreamState.reset(static_cast<ogg_stream_state*>(DLL_GetOggStreamStateStruct()));
    LReader->OggPage.reset(static_cast<ogg_page*>(DLL_Getogg_pageStruct()));
    ogg_sync_init(LReader->SyncState.get());
    ogg_stream_init(LReader->StreamState.get(), -1);

    // Count the packets of the first logical stream.
    int64_t LLength = 0;
    bool LAnyPage = false;
    while (LReader->NextPage()) {
        if (LReader->SerialNo < 0) {
            LReader->SerialNo = ogg_page_serialno(LReader->OggPage.get());
            ogg_stream_reset_serialno(LReader->StreamState.get(), static_cast<int>(LReader->SerialNo));
        }
        LAnyPage = true;
        if (ogg_stream_pagein(LReader->StreamState.get(), LReader->OggPage.get()) != 0) {
            Error(*this, "ogg_stream_pagein failed.", 1,
                  "'" + LFileName + "' holds a second logical stream (serial " +
                      std::to_string(ogg_page_serialno(LReader->OggPage.get())) + ") after packet " +
                      std::to_string(LLength));
            return false;
        }
        int LResult;
        while ((LResult = ogg_stream_packetout(LReader->StreamState.get(), &LReader->OggPacket)) != 0)
            if (LResult == 1) {
                if (LLength == 0)
                    LReader->HeaderPackets = HeaderPacketCount(LReader->OggPacket.packet,
                                                               static_cast<int32_t>(LReader->OggPacket.bytes));
                ++LLength;
            }
    }
    if (!LAnyPage || LLength == 0) {
        Error(*this, "Cannot open " + LFileName + ".", 1,
              LAnyPage ? "its Ogg stream holds no complete packet" : "not an Ogg file (no Ogg page found)");
        return false;
    }
    LReader->Rewind();
    FLength = LLength;
    if (FPlaySegment.GetEnabled()) {
        FStartSample = std::min(FPlaySegment.GetStartSample(), FLength - 1);
        FStopSample = std::min(FPlaySegment.GetStopSample(), FLength - 1);
    } else {
        FStartSample = 0;
        FStopSample = GetStreaming() ? -1 : FLength - 1;
    }
    FFrameDelay = std::llround(9999999.0 / (static_cast<double>(GetRate()) / GetBufferSize()));
    if (FFrameDelay <= 0)
        FFrameDelay = 10;
    FSample = FStartSample;
    FReader = std::move(LReader);
    return true;
}

void TSNOggPlayer::IntClose()
{
    FReader.reset();
    FOpened = false;
}

void TSNOggPlayer::ResetPosition()
{
    // Called with FLock held. Starts over at the file's first packet; the
    // header packets go out again, so the decoder begins a new stream.
    FReader->Rewind();
    FReader->SkipTo = FStartSample;
    FSample = FStartSample;
}

void TSNOggPlayer::SetCurrentSample(int64_t AValue)
{
    TLockAccess LAccess = FLock->WriteLock();
    if (!FReader)
        return;
    FReader->Rewind();
    FReader->SkipTo = std::clamp<int64_t>(AValue, 0, FLength);
    FSample = FReader->SkipTo;
}

int64_t TSNOggPlayer::GetSamplesCount()
{
    TLockAccess LAccess = FLock->ReadLock();
    return FReader ? FLength : 0;
}

int64_t TSNOggPlayer::GetCurrentSample()
{
    TLockAccess LAccess = FLock->ReadLock();
    return FSample;
}

int64_t TSNOggPlayer::Get_CurrentTime()
{
    TLockAccess LAccess = FLock->ReadLock();
    return FSample * FFrameDelay;
}

int64_t TSNOggPlayer::GetDurationTime()
{
    TLockAccess LAccess = FLock->ReadLock();
    return FReader ? FLength * FFrameDelay : 0;
}

void TSNOggPlayer::StartSource()
{
    if (FRunning)
        return;
    TDGWorkScope LHold;
    bool LClock;
    {
        TLockAccess LAccess = FLock->WriteLock();
        if (!GetEnabled())
            return;
        // With an external clock the ticks come in on ClockInputPin; else
        // the strongest claim downstream pumps.
        const bool LExternal = ClockIsExternal();
        FIsPump = true;
        FMasterPump = nullptr;
        if (!LExternal) {
            auto LRequest = std::make_shared<TPNPumpRequestOperation>(this, ptNone, GetPumpPriority(), 1.0);
            FOutputPin.Notify(LRequest);
            if (LRequest->PumpObject && LRequest->PumpObject != this) {
                FIsPump = false;
                FMasterPump = LRequest->PumpObject;
            }
        }
        if (!Open())
            return;
        FRunning = true;
        FFirstRequest = true;
        FLastOperation.reset();
        FPumpCounter = 0;
        FOutputPin.Notify(std::make_shared<TPNStartSampleRateOperation>(GetRate()));
        if (!FIsPump)
            FOutputPin.Notify(std::make_shared<TPNStartPumpOperation>(FMasterPump));
        LClock = FIsPump && !LExternal;
        if (LClock)
            IntPump();
    }
    if (!FRunning || !LClock)
        return;
    FClock->SetPeriod(FFrameDelay);
    FClock->Start();
}

void TSNOggPlayer::StopSource()
{
    // Not under FLock: a running tick holds it and Stop waits for the tick.
    FClock->Stop();
    TLockAccess LAccess = FLock->WriteLock();
    FStopPending = false;
    MainIntStop(false);
}

void TSNOggPlayer::Pump()
{
    TLockAccess LAccess = FLock->WriteLock();
    if (FRunning && (ClockIsExternal() || GetPaused()))
        IntPump();
}

void TSNOggPlayer::Tick()
{
    TLockAccess LAccess = FLock->WriteLock();
    if (FRunning && FIsPump && !GetPaused())
        IntPump();
}

bool TSNOggPlayer::SourceDispatch(const IPNNotifyOperationPtr& AOperation)
{
    auto* LPump = OperationAs<TPNMasterPumpOperation>(AOperation);
    if (!LPump)
        return false;
    TLockAccess LAccess = FLock->WriteLock();
    // Only the pump that won the negotiation drives this player.
    if (FIsPump || !FRunning || LPump->Source != FMasterPump)
        return false;
    if (GetPaused()) {
        FPumpCounter = 2;
        return false;
    }
    if (!FFirstRequest && FLastOperation.lock() == AOperation)
        return true;
    FLastOperation = AOperation;
    FFirstRequest = false;
    return IntPump();
}

bool TSNOggPlayer::SinkDispatch(const IPNNotifyOperationPtr& AOperation)
{
    if (!OperationAs<TPNClockOperation>(AOperation))
        return false;
    // A tick of an external clock.
    TLockAccess LAccess = FLock->WriteLock();
    if (FRunning && !GetPaused() && ClockIsExternal())
        IntPump();
    return true;
}

bool TSNOggPlayer::IntPump()
{
    if (!FReader || FStopPending)
        return false;
    TReader& LReader = *FReader;
    bool LHave;
    for (;;) {
        LHave = LReader.NextPacket();
        if (!LHave)
            break;
        const int64_t LIndex = LReader.ReadIndex++;
        if (LIndex == 0)
            LReader.HeaderPackets = HeaderPacketCount(LReader.OggPacket.packet,
                                                      static_cast<int32_t>(LReader.OggPacket.bytes));
        // After a seek or a rewind into a range, skip to its packet; the
        // headers always go out.
        if (LIndex >= LReader.HeaderPackets && LIndex < LReader.SkipTo)
            continue;
        if (LIndex >= LReader.SkipTo)
            FSample = LIndex + 1;
        break;
    }
    if (!LHave) {
        // End of the file, or a page of another stream.
        if (GetLoop() && !LReader.PageFailed)
            ResetPosition();
        else
            IntStop();
        return false;
    }
    const ogg_packet& LPacket = LReader.OggPacket;
    TSNCodecPacketHeader LHeader;
    LHeader.granulepos = LPacket.granulepos;
    LHeader.packetno = LPacket.packetno;
    LHeader.b_o_s = static_cast<int32_t>(LPacket.b_o_s);
    LHeader.e_o_s = static_cast<int32_t>(LPacket.e_o_s);
    FOutputPin.Notify(MakePooled<TPNSuppliedBufferOperation>(
        MakeCodecPacket(LHeader, LPacket.packet, static_cast<size_t>(LPacket.bytes))));
    FProgressPin.Notify(std::make_shared<TPNProgressOperation>(FSample, FStartSample, FStopSample,
                                                               FStartSample * FFrameDelay, FStopSample * FFrameDelay));
    if (FOnProgress) {
        FProgressNotify.ClearMainThread();
        FProgressNotify.SyncNotify([this, LHandler = FOnProgress, LStart = FStartSample, LStop = FStopSample,
                                    LSample = FSample] { (*LHandler)(*this, LStart, LStop, LSample); });
    }
    const bool LEndOfRange = FStopSample != -1 && FSample > FStopSample;
    if (LPacket.e_o_s || LEndOfRange) {
        if (GetLoop())
            ResetPosition();
        else
            IntStop();
    }
    return true;
}

void TSNOggPlayer::IntStop()
{
    // Called with FLock held, on a pump's thread: the clock cannot be
    // released here (its tick may wait for this lock).
    FStopPending = true;
    if (FStopPosted)
        return;
    FStopPosted = true;
    TDGTimeline::BeginWork();
    FStopNotify.SyncNotify([this] { DoStop(); });
    MainThread().Wake();
}

void TSNOggPlayer::DoStop()
{
    FClock->Stop();
    TLockAccess LAccess = FLock->WriteLock();
    if (FStopPending) {
        FStopPending = false;
        MainIntStop(true);
        // The end of the file disables the player, without a change action.
        FEnabled = false;
    }
    FStopPosted = false;
    TDGTimeline::EndWork();
}

void TSNOggPlayer::MainIntStop(bool AEnd)
{
    // Called with FLock held.
    if (FRunning.exchange(false)) {
        if (!AEnd || GetRestartOnNewFile())
            FOutputPin.Notify(std::make_shared<TPNStopOperation>());
        else
            FOutputPin.Notify(std::make_shared<TPNFileEndNoStopOperation>());
        if (FOnStop)
            FStopNotify.SyncNotify([this, LHandler = FOnStop] { (*LHandler)(*this); });
        IntClose();
    }
    MainThread().Wake();
}

namespace SNOggPlayer {
void RegisterPkg()
{
    RegisterComponents({&TSNOggPlayer::ClassDescription()});
}
} // namespace SNOggPlayer

} // namespace Sonorix
