// SPDX-License-Identifier: MIT
#include "Runner.h"

#include "CVPlainClass.h"
#include "CliError.h"
#include "CVThreading.h"
#include "DGClock.h"
#include "JsonLine.h"
#include "PNPins.h"
#include "SNAudioBuffer.h"
#include "SNBasicCommonPlayer.h"
#include "SNCommonLogger.h"
#include "SNStreamSource.h"
#include "WavWriter.h"
#include "XVLAVSupport.h"

#include <cerrno>
#include <csignal>
#include <cmath>
#include <cstring>
#include <fstream>
#include <functional>
#include <iomanip>
#include <optional>
#include <ostream>
#include <sstream>
#include <sys/stat.h>
#include <unistd.h>

namespace Sonorix::Cli {

namespace {

// The signal that asked for a stop, 0 for none.
std::atomic<int> GInterrupted{0};

// "out.wav" and 2 -> "out-2.wav".
std::string NumberedPath(const std::string& APath, size_t ANumber)
{
    const size_t LSlash = APath.find_last_of('/');
    const size_t LDot = APath.find_last_of('.');
    const bool LHasExtension = LDot != std::string::npos && (LSlash == std::string::npos || LDot > LSlash + 1);
    const std::string LSuffix = "-" + std::to_string(ANumber);
    return LHasExtension ? APath.substr(0, LDot) + LSuffix + APath.substr(LDot) : APath + LSuffix;
}

bool SameFormat(const WAVEFORMATEXTENSIBLE& A, const WAVEFORMATEXTENSIBLE& B)
{
    return A.Format.nChannels == B.Format.nChannels && A.Format.nSamplesPerSec == B.Format.nSamplesPerSec &&
           A.Format.wBitsPerSample == B.Format.wBitsPerSample;
}

} // namespace

// Prints events and pin values as JSON lines, one at a time.
class TEventPrinter {
public:
    // AOnFailure gets one line when the output cannot be written (a closed
    // pipe, a full device); nothing more is printed after that.
    TEventPrinter(std::ostream& AOut, bool ARealTime, std::function<void(const std::string&)> AOnFailure)
        : FOut(AOut), FStart(ARealTime ? TDGTimeline::RealNow() : 0), FRealTime(ARealTime),
          FOnFailure(std::move(AOnFailure)) {}

    void Print(const std::string& AComponent, std::string_view AEvent, const std::vector<TEventField>& AFields)
    {
        const int64_t LNow = FRealTime ? TDGTimeline::RealNow() - FStart : TDGTimeline::Now();
        TJsonLine LLine;
        LLine.Add("time", static_cast<double>(LNow) / DGTimeUnitsPerSecond);
        LLine.Add("component", AComponent);
        LLine.Add("event", AEvent);
        for (const TEventField& LField : AFields)
            std::visit([&](const auto& AValue) { LLine.Add(LField.Name, AValue); }, LField.Value);
        std::lock_guard LGuard(FMutex);
        if (FFailed)
            return;
        errno = 0;
        FOut << LLine.Str() << '\n';
        FOut.flush();
        if (!FOut) {
            FFailed = true;
            FOnFailure(std::string("cannot write events to standard output (") +
                       (errno ? std::strerror(errno) : "write failed") + ")");
        }
    }

private:
    std::mutex FMutex;
    std::ostream& FOut;
    int64_t FStart;
    bool FRealTime;
    std::function<void(const std::string&)> FOnFailure;
    bool FFailed = false;
};

// Takes what arrives at one free output pin: audio into a WAV file or just
// counted, values printed as events.
class TTerminalSink : public TPersistent {
public:
    TTerminalSink(TPNSourcePin& AUpstream, std::string APath, TEventPrinter* APrinter)
        : FUpstream(AUpstream), FPath(std::move(APath)), FPrinter(APrinter)
    {
        FPin = MakePin(AUpstream.GetDataType());
        FPin->SetDispatch([this](TPNPin&, const IPNNotifyOperationPtr& AOperation) { return Receive(AOperation); });
        AUpstream.Connect(*FPin);
    }
    ~TTerminalSink() override
    {
        FUpstream.Disconnect(*FPin);
    }

    static const TClassDescription& ClassDescription() { return PlainClassDescription<"TerminalSink">(); }
    const TClassDescription& GetClassDescription() const override { return ClassDescription(); }
    std::string GetDisplayPath() const override { return FUpstream.GetPath() + " (free output)"; }

    double Seconds() const
    {
        std::lock_guard LGuard(FMutex);
        return FSampleRate ? static_cast<double>(FFrames) / FSampleRate : 0.0;
    }
    // The last value a real-value pin sent, for the progress line.
    std::optional<double> LastValue() const
    {
        std::lock_guard LGuard(FMutex);
        return FLastValue;
    }
    const TPNSourcePin& Upstream() const { return FUpstream; }
    std::string Error() const
    {
        std::lock_guard LGuard(FMutex);
        return FError;
    }
    // Closes the file; returns its path when one was written.
    std::string Close()
    {
        std::lock_guard LGuard(FMutex);
        if (!FWriter)
            return {};
        try {
            FWriter->Close();
        } catch (const std::exception& E) {
            if (FError.empty())
                FError = E.what();
        }
        return FPath;
    }
    void Flush()
    {
        std::lock_guard LGuard(FMutex);
        if (FWriter)
            FWriter->Flush();
    }

private:
    std::unique_ptr<TPNSinkPin> MakePin(TPNDataType AType)
    {
        if (AType == TPNDataType::dtClock)
            return std::make_unique<TPNClockMultiSinkPin>(this, "In");
        return std::make_unique<TPNSinkPin>(this, "In", AType);
    }

    bool Receive(const IPNNotifyOperationPtr& AOperation)
    {
        try {
            return Handle(AOperation);
        } catch (const std::exception& E) {
            std::lock_guard LGuard(FMutex);
            if (FError.empty())
                FError = E.what();
        }
        return false;
    }

    bool Handle(const IPNNotifyOperationPtr& AOperation)
    {
        const std::string LOwner = FUpstream.GetOwner()->GetDisplayPath();
        if (auto* LStart = OperationAs<TPNStartWaveOperation>(AOperation)) {
            std::lock_guard LGuard(FMutex);
            if (FWriter && !SameFormat(FFormat, LStart->WaveFormat))
                throw TCliError(FUpstream.GetPath() + " changed its format from " + DescribeWaveFormat(FFormat) +
                                " to " + DescribeWaveFormat(LStart->WaveFormat) + "; '" + FPath +
                                "' can hold only one");
            FFormat = LStart->WaveFormat;
            FSampleRate = FFormat.Format.nSamplesPerSec;
            if (!FPath.empty() && !FWriter)
                FWriter = std::make_unique<TWavWriter>(FPath, FFormat);
            return true;
        }
        if (auto* LBuffer = OperationAs<TPNSuppliedBufferOperation>(AOperation)) {
            if (LBuffer->AudioBuffer) {
                std::lock_guard LGuard(FMutex);
                const ISNAudioBuffer& LAudio = *LBuffer->AudioBuffer;
                if (FWriter)
                    FWriter->Write(LAudio.ByteRead(), LAudio.GetByteSize());
                FFrames += LAudio.GetSize();
                if (!FSampleRate)
                    FSampleRate = LAudio.GetSamplesPerSecond();
            } else if (LBuffer->Reals && FPrinter) {
                const IDGRealBuffer& LReals = *LBuffer->Reals;
                FPrinter->Print(LOwner, "buffer",
                                {{"pin", FUpstream.GetName()},
                                 {"size", static_cast<int64_t>(LReals.GetSize())},
                                 {"values", std::vector<double>(LReals.Read(), LReals.Read() + LReals.GetSize())}});
            }
            return true;
        }
        if (OperationAs<TPNStopOperation>(AOperation)) {
            Flush();
            return true;
        }
        if (auto* LValue = OperationAs<TPNRealValueOperation>(AOperation)) {
            std::lock_guard LGuard(FMutex);
            FLastValue = LValue->Value;
        }
        if (FPrinter) {
            if (auto* LValue = OperationAs<TPNRealValueOperation>(AOperation))
                FPrinter->Print(LOwner, "value",
                                {{"pin", FUpstream.GetName()},
                                 {"value", LValue->Value},
                                 {"min", LValue->Min},
                                 {"max", LValue->Max}});
            else if (auto* LProgress = OperationAs<TPNProgressOperation>(AOperation))
                FPrinter->Print(LOwner, "progress",
                                {{"pin", FUpstream.GetName()},
                                 {"position", LProgress->Position},
                                 {"start", LProgress->Start},
                                 {"stop", LProgress->Stop}});
        }
        return false;
    }

    TPNSourcePin& FUpstream;
    std::unique_ptr<TPNSinkPin> FPin;
    std::string FPath;
    TEventPrinter* FPrinter;
    mutable std::mutex FMutex;
    std::unique_ptr<TWavWriter> FWriter;
    WAVEFORMATEXTENSIBLE FFormat{};
    uint32_t FSampleRate = 0;
    uint64_t FFrames = 0;
    std::optional<double> FLastValue;
    std::string FError;
};

TRunner::TRunner(TGraph& AGraph, TRunOptions AOptions, std::ostream& AOut, std::ostream& AErr)
    : FGraph(AGraph), FOptions(std::move(AOptions)), FOut(AOut), FErr(AErr)
{
}

TRunner::~TRunner()
{
    // Unbind event handlers before the printer goes.
    if (FPrinter)
        for (const TGraphNode& LNode : FGraph.Nodes())
            for (const TEventInfo* LEvent : LNode.Component->GetClassDescription().AllEvents())
                LEvent->Bind(*LNode.Component, nullptr);
}

void TRunner::RequestInterrupt(int ASignal)
{
    GInterrupted = ASignal > 0 ? ASignal : SIGINT;
}

void TRunner::Fail(const std::string& AMessage)
{
    std::lock_guard LGuard(FErrorMutex);
    if (FError.empty())
        FError = AMessage;
}

std::string TRunner::FirstError() const
{
    {
        std::lock_guard LGuard(FErrorMutex);
        if (!FError.empty())
            return FError;
    }
    for (const auto& LSink : FSinks)
        if (std::string LError = LSink->Error(); !LError.empty())
            return LError;
    return {};
}

void TRunner::CheckFiles()
{
    // Inputs that exist now, by device and inode, so a different spelling of
    // the same file (a link, "./x") is found too.
    struct TInput {
        dev_t Device;
        ino_t Inode;
        std::string Name, Reader;
    };
    std::vector<TInput> LInputs;
    std::vector<std::pair<std::string, std::string>> LOutputs; // file, writer
    for (const TGraphNode& LNode : FGraph.Nodes()) {
        if (auto* LPlayer = dynamic_cast<TSNBasicCommonPlayer*>(LNode.Component.get())) {
            struct stat LStat {};
            const std::string LName = LPlayer->GetFileName();
            if (!LName.empty() && stat(LName.c_str(), &LStat) == 0 && S_ISREG(LStat.st_mode))
                LInputs.push_back({LStat.st_dev, LStat.st_ino, LName, LNode.Name});
        } else if (auto* LLogger = dynamic_cast<TSNCommonLogger*>(LNode.Component.get())) {
            LOutputs.emplace_back(LLogger->GetFileName(), LNode.Name);
        }
    }
    if (!FOptions.DotPath.empty())
        LOutputs.emplace_back(FOptions.DotPath, "--dot");
    if (!FOptions.WavPath.empty())
        LOutputs.emplace_back(FOptions.WavPath, "--wav");
    for (const auto& [LName, LWriter] : LOutputs) {
        struct stat LStat {};
        if (LName.empty() || stat(LName.c_str(), &LStat) != 0)
            continue;
        for (const TInput& LInput : LInputs)
            if (LInput.Device == LStat.st_dev && LInput.Inode == LStat.st_ino)
                throw TCliError(LWriter + " would overwrite " + DisplayName(LName) + ", which " + LInput.Reader +
                                " reads" + (LInput.Name == LName ? "" : " as " + DisplayName(LInput.Name)));
    }
}

void TRunner::AttachSinks()
{
    std::vector<TPNSourcePin*> LFree;
    for (const TGraphNode& LNode : FGraph.Nodes())
        for (TPNPin* LPin : AllPins(*LNode.Component))
            if (LPin->GetDirection() == TPNPinDirection::pdSource && !LPin->IsConnected())
                LFree.push_back(static_cast<TPNSourcePin*>(LPin));
    size_t LAudioCount = 0;
    for (TPNSourcePin* LPin : LFree)
        LAudioCount += LPin->GetDataType() == TPNDataType::dtAudio;
    size_t LAudioNumber = 0;
    for (TPNSourcePin* LPin : LFree) {
        std::string LPath;
        if (LPin->GetDataType() == TPNDataType::dtAudio && !FOptions.WavPath.empty()) {
            ++LAudioNumber;
            LPath = LAudioCount == 1 ? FOptions.WavPath : NumberedPath(FOptions.WavPath, LAudioNumber);
        }
        FSinks.push_back(std::make_unique<TTerminalSink>(*LPin, LPath, FPrinter.get()));
    }
}

void TRunner::BindEvents()
{
    for (const TGraphNode& LNode : FGraph.Nodes()) {
        for (const TEventInfo* LEvent : LNode.Component->GetClassDescription().AllEvents()) {
            // Without --events only errors matter; an unbound event costs
            // its component nothing (no main-thread posts).
            if (!FPrinter && LEvent->Name != "OnError")
                continue;
            const std::string LName = LNode.Name;
            LEvent->Bind(*LNode.Component, [this, LName](TPersistent&, std::string_view AEvent,
                                                         const std::vector<TEventField>& AFields) {
                if (FPrinter)
                    FPrinter->Print(LName, AEvent, AFields);
                if (AEvent == "OnError") {
                    std::string LMessage = LName + ":";
                    for (const TEventField& LField : AFields)
                        if (LField.Name == "message")
                            if (auto* LText = std::get_if<std::string>(&LField.Value))
                                LMessage += " " + *LText;
                    // What and where, when the component says more than its message.
                    for (const TEventField& LField : AFields)
                        if (LField.Name == "detail")
                            if (auto* LText = std::get_if<std::string>(&LField.Value))
                                LMessage += " (" + *LText + ")";
                    Fail(LMessage);
                }
            });
        }
    }
}

void TRunner::WriteDot()
{
    if (FOptions.DotPath.empty())
        return;
    errno = 0;
    std::ofstream LFile(FOptions.DotPath, std::ios::binary | std::ios::trunc);
    if (LFile)
        LFile << Cli::WriteDot(FGraph.ToDot());
    // What the stream buffered reaches the file only at the close.
    LFile.close();
    if (!LFile)
        throw TCliError("cannot write " + DisplayName(FOptions.DotPath) + ": " + std::strerror(errno),
                        CExitRuntimeError);
}

void TRunner::StartSources()
{
    for (const TGraphNode& LNode : FGraph.Nodes()) {
        auto* LSource = dynamic_cast<ISNStreamSource*>(LNode.Component.get());
        if (!LSource)
            continue;
        // A source whose inputs are all free starts the pipeline; one fed by
        // others (a mixer on its own clock) is stopped at the end.
        bool LFed = false;
        for (TPNPin* LPin : AllPins(*LNode.Component))
            LFed |= LPin->GetDirection() == TPNPinDirection::pdSink && LPin->IsConnected();
        (LFed ? FOtherSources : FPrimarySources).push_back(LSource);
    }
    if (FPrimarySources.empty())
        throw TCliError("the pipeline has no source: it needs a generator or a player at its start");

    // Virtual time stands still until every source has started, so they all
    // begin at audio time 0.
    TDGWorkScope LHold;
    if (FOptions.Duration) {
        const auto LPeriod = static_cast<int64_t>(std::llround(*FOptions.Duration * DGTimeUnitsPerSecond));
        // Started before the sources: at equal due times its tick comes first.
        FStopClock = std::make_unique<TDGClockGen>(std::max<int64_t>(LPeriod, 1), [this] {
            DeliverPostedEvents();
            StopSources(false);
            FStopClock->Stop();
            WakeMainLoop();
        });
        FStopClock->Start();
    }
    if (!FOtherSources.empty()) {
        // A fed source keeps producing on its own clock after its inputs end
        // (a self-clocked mixer sends silence); in virtual time it would run
        // far past the end before the main loop notices. Checked every
        // millisecond of audio; started before the sources, so at equal due
        // times it looks before their ticks.
        FWatchClock = std::make_unique<TDGClockGen>(DGTimeUnitsPerSecond / 1000, [this] {
            if (!FSourcesStarted || SourcesRunning())
                return;
            DeliverPostedEvents();
            for (ISNStreamSource* LSource : FOtherSources)
                LSource->StopSource();
            FWatchClock->Stop();
            WakeMainLoop();
        });
        FWatchClock->Start();
    }
    // Timed settings: started before the sources, so a change due at the
    // time of a buffer applies before that buffer is made.
    FTimedClocks.reserve(FGraph.TimedSettings().size()); // each tick refers to its own slot
    for (const TTimedSetting& LTimed : FGraph.TimedSettings()) {
        auto LApply = [this, &LTimed] {
            const TGraphNode& LNode = FGraph.Nodes()[LTimed.Node];
            try {
                SetPropertyText(*LNode.Component, LTimed.Path, LTimed.Value);
            } catch (const std::exception& E) {
                Fail(LNode.Name + "." + LTimed.Path + "@" + FormatReal(LTimed.At) + ": " + E.what());
            }
        };
        const auto LPeriod = static_cast<int64_t>(std::llround(LTimed.At * DGTimeUnitsPerSecond));
        if (LPeriod <= 0) {
            LApply();
            continue;
        }
        auto& LClock = FTimedClocks.emplace_back();
        LClock = std::make_unique<TDGClockGen>(LPeriod, [LApply, &LClock] {
            LApply();
            LClock->Stop();
        });
        LClock->Start();
    }
    FRealStart = TDGTimeline::RealNow();
    FMissedAtStart = DGMissedDeadlines();
    for (ISNStreamSource* LSource : FPrimarySources)
        LSource->StartSource();
    FSourcesStarted = true;
}

void TRunner::WakeMainLoop()
{
    // The main loop sees at once that the sources ended, instead of at its
    // next 20 ms look (the whole run of a short pipeline takes less).
    MainThread().Execute([] {});
}

void TRunner::StopSources(bool AEverything)
{
    for (ISNStreamSource* LSource : FPrimarySources)
        LSource->StopSource();
    if (AEverything)
        for (ISNStreamSource* LSource : FOtherSources)
            LSource->StopSource();
}

void TRunner::DeliverPostedEvents()
{
    if (!FPrinter)
        return;
    if (MainThread().IsMainThread()) {
        MainThread().ProcessMessages();
        return;
    }
    // Virtual time stands still meanwhile, so what was measured before the
    // stop is printed before the stop can withdraw it.
    auto LDone = std::make_shared<bool>(false);
    MainThread().Execute([this, LDone] {
        {
            std::lock_guard LGuard(FDeliverMutex);
            *LDone = true;
        }
        FDeliverCond.notify_all();
    });
    std::unique_lock LGuard(FDeliverMutex);
    FDeliverCond.wait(LGuard, [&] { return *LDone || FWindingDown; });
}

bool TRunner::SourcesRunning() const
{
    for (ISNStreamSource* LSource : FPrimarySources)
        if (LSource->IsSourceRunning())
            return true;
    return false;
}

double TRunner::AudioSeconds() const
{
    double LSeconds = 0;
    for (const auto& LSink : FSinks)
        LSeconds = std::max(LSeconds, LSink->Seconds());
    // Writers of the pipeline count too (a pipeline may end in a file).
    for (const TGraphNode& LNode : FGraph.Nodes())
        if (auto* LLogger = dynamic_cast<const TSNCommonLogger*>(LNode.Component.get()))
            LSeconds = std::max(LSeconds, static_cast<double>(LLogger->GetLoggedTime()) / DGTimeUnitsPerSecond);
    return LSeconds;
}

void TRunner::PrintSummary()
{
    // What the run went on after: packets that did not decode.
    for (const TGraphNode& LNode : FGraph.Nodes())
        if (auto* LSource = dynamic_cast<const TLAVErrorSource*>(LNode.Component.get()))
            if (const uint64_t LDropped = LSource->GetDroppedPackets(); LDropped > 0)
                FErr << "sonorix: " << LNode.Name << ": " << LDropped
                     << (LDropped == 1 ? " packet did not decode and was dropped\n"
                                       : " packets did not decode and were dropped\n");
}

void TRunner::ReportMissedDeadlines()
{
    if (!FOptions.RealTime || !FSourcesStarted)
        return;
    const uint64_t LMissed = DGMissedDeadlines() - FMissedAtStart;
    if (LMissed == 0)
        return;
    const double LWall = static_cast<double>(TDGTimeline::RealNow() - FRealStart) / DGTimeUnitsPerSecond;
    const double LAudio = AudioSeconds();
    if (FPrinter)
        FPrinter->Print("sonorix", "OnDeadlinesMissed",
                        {{"count", static_cast<int64_t>(LMissed)}, {"audio", LAudio}, {"wall", LWall}});
    std::ostringstream LLine;
    LLine << std::fixed << std::setprecision(1) << "sonorix: realtime: " << LMissed
          << (LMissed == 1 ? " deadline" : " deadlines") << " missed; " << LAudio << " s of audio in " << LWall
          << " s\n";
    FErr << LLine.str();
}

std::string TRunner::NodeName(const TPersistent* AComponent) const
{
    for (const TGraphNode& LNode : FGraph.Nodes())
        if (static_cast<const TPersistent*>(LNode.Component.get()) == AComponent)
            return LNode.Name;
    return "?";
}

void TRunner::ShowProgress(bool AFinal)
{
    if (!FShowProgress)
        return;
    const int64_t LNow = TDGTimeline::RealNow();
    if (!AFinal && LNow - FLastProgress < DGTimeUnitsPerSecond / 5)
        return;
    FLastProgress = LNow;
    std::ostringstream LLine;
    LLine << "\r" << std::fixed << std::setprecision(1) << AudioSeconds() << " s of audio";
    if (FOptions.Duration)
        LLine << " of " << *FOptions.Duration << " s";
    // File players: position and length.
    for (const TGraphNode& LNode : FGraph.Nodes())
        if (auto* LPlayer = dynamic_cast<TSNBasicCommonPlayer*>(LNode.Component.get())) {
            LLine << "  " << LNode.Name << " " << std::setprecision(1)
                  << static_cast<double>(LPlayer->Get_CurrentTime()) / DGTimeUnitsPerSecond;
            if (const int64_t LLength = LPlayer->GetDurationTime(); LLength > 0)
                LLine << "/" << static_cast<double>(LLength) / DGTimeUnitsPerSecond << " s";
        }
    // Meter readings and other values of free value pins, latest first seen.
    for (const auto& LSink : FSinks)
        if (std::optional<double> LValue = LSink->LastValue())
            LLine << "  " << NodeName(LSink->Upstream().GetOwner()) << "." << LSink->Upstream().GetName() << " "
                  << std::setprecision(1) << *LValue;
    FErr << LLine.str() << (AFinal ? "\n" : "") << std::flush;
}

void TRunner::WindDown()
{
    {
        // A clock tick waiting for the main thread must not hold up the
        // clocks' stop below.
        std::lock_guard LGuard(FDeliverMutex);
        FWindingDown = true;
    }
    FDeliverCond.notify_all();
    StopSources(true);
    if (FStopClock)
        FStopClock->Stop();
    if (FWatchClock)
        FWatchClock->Stop();
    for (auto& LClock : FTimedClocks)
        LClock->Stop();
    // Let queued work drain; the main thread keeps serving posted work.
    while (!TDGTimeline::WaitIdle(std::chrono::milliseconds(100)))
        MainThread().ProcessMessages();
    MainThread().ProcessMessages();
}

int TRunner::Run()
{
    MainThread().SetMainThread();
    const TDGTimeMode LPreviousMode = TDGTimeline::GetMode();
    TDGTimeline::SetMode(FOptions.RealTime ? TDGTimeMode::tmRealTime : TDGTimeMode::tmVirtual);
    if (!FOptions.RealTime)
        TDGTimeline::ResetVirtual();
    FShowProgress = !FOptions.Quiet && isatty(STDERR_FILENO);

    int LExitCode = CExitOk;
    try {
        if (FOptions.Events)
            FPrinter = std::make_unique<TEventPrinter>(FOut, FOptions.RealTime,
                                                       [this](const std::string& AMessage) { Fail(AMessage); });
        CheckFiles();
        WriteDot();
        SetBackgroundErrorHandler([this](const std::string& AMessage) { Fail(AMessage); });
        AttachSinks();
        BindEvents();
        // An interrupt that came while the pipeline was being built counts.
        if (!GInterrupted)
            StartSources();
        while (true) {
            if (GInterrupted) {
                LExitCode = 128 + GInterrupted;
                break;
            }
            if (!FirstError().empty() || !SourcesRunning())
                break;
            ShowProgress(false);
            MainThread().WaitAndProcess(std::chrono::milliseconds(20));
        }
    } catch (const TCliError& E) {
        Fail(E.what());
        LExitCode = E.ExitCode();
    } catch (const std::exception& E) {
        Fail(E.what());
        LExitCode = CExitRuntimeError;
    }

    try {
        WindDown();
    } catch (const std::exception& E) {
        Fail(E.what());
    }
    SetBackgroundErrorHandler(nullptr);
    for (const auto& LSink : FSinks)
        LSink->Close();
    ShowProgress(true);
    TDGTimeline::SetMode(LPreviousMode);
    // A failed run ends in its one error line; the notes are for runs that went on.
    if (FirstError().empty()) {
        ReportMissedDeadlines();
        PrintSummary();
    }
    // Taken: the next run in this process starts afresh.
    const int LSignal = GInterrupted.exchange(0);

    if (std::string LError = FirstError(); !LError.empty()) {
        FErr << "sonorix: " << DisplayLine(LError) << std::endl;
        return LExitCode == CExitOk ? CExitRuntimeError : LExitCode;
    }
    if (LExitCode == CExitInterrupted)
        FErr << "sonorix: interrupted; files written so far are closed" << std::endl;
    else if (LExitCode > 128)
        FErr << "sonorix: stopped by " << sigdescr_np(LSignal) << "; files written so far are closed" << std::endl;
    return LExitCode;
}

} // namespace Sonorix::Cli
