// SPDX-License-Identifier: MIT
// Runs a built pipeline: attaches writers or counters to the free outputs,
// starts the sources, waits for the end, and winds everything down.
#pragma once

#include "Graph.h"

#include <atomic>
#include <condition_variable>
#include <iosfwd>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

namespace Sonorix {
class ISNStreamSource;
class TPersistent;
class TDGClockGen;
} // namespace Sonorix

namespace Sonorix::Cli {

struct TRunOptions {
    // Stop every source after this many seconds of audio.
    std::optional<double> Duration;
    bool RealTime = false;
    // Free audio outputs go to this WAV file (FILE-N.wav for several).
    std::string WavPath;
    bool Events = false;
    std::string DotPath;
    bool Quiet = false;
};

class TTerminalSink;
class TEventPrinter;

class TRunner {
public:
    TRunner(TGraph& AGraph, TRunOptions AOptions, std::ostream& AOut, std::ostream& AErr);
    ~TRunner();

    // Runs to the end; returns the exit code (one line on AErr on failure).
    int Run();

    // Async-signal-safe: asks the running pipeline (or the next one, when
    // none runs yet) to stop; the exit code is 128 + ASignal.
    static void RequestInterrupt(int ASignal = 2);

    // Audio seconds that reached the free outputs so far.
    double AudioSeconds() const;

private:
    // Refuses a file that the pipeline would both read and write.
    void CheckFiles();
    void AttachSinks();
    void BindEvents();
    void WriteDot();
    void StartSources();
    void StopSources(bool AEverything);
    void WakeMainLoop();
    // From a clock tick, before a stop: lets the main thread deliver the
    // events posted so far (a stop withdraws synchronised meter readings
    // still pending). Returns at once when the run winds down.
    void DeliverPostedEvents();
    void WindDown();
    void Fail(const std::string& AMessage);
    bool SourcesRunning() const;
    void ShowProgress(bool AFinal);
    // Lines on AErr for what the run went on after (dropped packets, missed
    // real-time deadlines).
    void PrintSummary();
    // A real-time run that fell behind: an event and a line on AErr.
    void ReportMissedDeadlines();
    // The pipeline's name for a component of the graph.
    std::string NodeName(const TPersistent* AComponent) const;
    std::string FirstError() const;

    TGraph& FGraph;
    TRunOptions FOptions;
    std::ostream& FOut;
    std::ostream& FErr;
    std::vector<std::unique_ptr<TTerminalSink>> FSinks;
    std::unique_ptr<TEventPrinter> FPrinter;
    std::vector<ISNStreamSource*> FPrimarySources;
    std::vector<ISNStreamSource*> FOtherSources;
    std::unique_ptr<TDGClockGen> FStopClock;
    // Stops the fed sources (a mixer on its own clock) as soon as the
    // primary sources have ended, at the same audio time.
    std::unique_ptr<TDGClockGen> FWatchClock;
    // One clock per timed setting ("Enabled@1.5=false"), ticking once.
    std::vector<std::unique_ptr<TDGClockGen>> FTimedClocks;
    std::atomic<bool> FSourcesStarted{false};
    std::mutex FDeliverMutex;
    std::condition_variable FDeliverCond;
    bool FWindingDown = false;
    mutable std::mutex FErrorMutex;
    std::string FError;
    // Real time when the sources started, and the missed-deadline count then.
    int64_t FRealStart = 0;
    uint64_t FMissedAtStart = 0;
    bool FShowProgress = false;
    int64_t FLastProgress = 0;
};

} // namespace Sonorix::Cli
