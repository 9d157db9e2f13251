// SPDX-License-Identifier: MIT
// Plays every file of a folder through both file players, as `sonorix run`
// does, in one process: per run one START line before and one RESULT line
// after (exit code, lines on standard error, the first of them, peak RSS).
// A run that takes longer than its limit ends the process with a HANG line;
// a crash ends it without a RESULT. The test resumes after the file at fault.
//
//   SNPlayerProbe [--from N] [--seconds S] [--address-space-mb M] FOLDER
#include "Commands.h"
#include "SonorixPkg.h"

#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <mutex>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

namespace {

// Ends the process when a run outlives its limit.
class TWatchdog {
public:
    explicit TWatchdog(std::chrono::seconds ALimit) : FLimit(ALimit), FThread([this] { Watch(); }) {}
    ~TWatchdog()
    {
        {
            std::lock_guard LLock(FMutex);
            FQuit = true;
        }
        FChanged.notify_one();
        FThread.join();
    }
    void Arm(std::string ARun)
    {
        std::lock_guard LLock(FMutex);
        FRun = std::move(ARun);
        FDeadline = std::chrono::steady_clock::now() + FLimit;
        FArmed = true;
        FChanged.notify_one();
    }
    void Disarm()
    {
        std::lock_guard LLock(FMutex);
        FArmed = false;
    }

private:
    void Watch()
    {
        std::unique_lock LLock(FMutex);
        while (!FQuit) {
            if (!FArmed) {
                FChanged.wait(LLock);
            } else if (!FChanged.wait_until(LLock, FDeadline, [this] { return FQuit || !FArmed; }) &&
                       std::chrono::steady_clock::now() >= FDeadline) {
                std::printf("HANG\t%s\n", FRun.c_str());
                std::fflush(stdout);
                std::_Exit(3);
            }
        }
    }

    std::chrono::seconds FLimit;
    std::mutex FMutex;
    std::condition_variable FChanged;
    std::string FRun;
    std::chrono::steady_clock::time_point FDeadline;
    bool FArmed = false, FQuit = false;
    std::thread FThread;
};

std::string Quoted(const std::string& AName)
{
    return "'" + AName + "'";
}

long PeakRssKiB()
{
    rusage LUsage{};
    getrusage(RUSAGE_SELF, &LUsage);
    return LUsage.ru_maxrss;
}

} // namespace

int main(int argc, char** argv)
{
    size_t LFrom = 0;
    long LSeconds = 10;
    [[maybe_unused]] long LAddressSpaceMiB = 0; // not applied under sanitizers
    int I = 1;
    for (; I + 1 < argc && argv[I][0] == '-'; I += 2) {
        const std::string LOption = argv[I];
        const long LValue = std::atol(argv[I + 1]);
        if (LOption == "--from")
            LFrom = static_cast<size_t>(LValue);
        else if (LOption == "--seconds")
            LSeconds = LValue;
        else if (LOption == "--address-space-mb")
            LAddressSpaceMiB = LValue;
    }
    if (I + 1 != argc) {
        std::fprintf(stderr, "usage: SNPlayerProbe [--from N] [--seconds S] [--address-space-mb M] FOLDER\n");
        return 2;
    }
    // Sanitizers reserve terabytes of shadow memory: the limit holds for
    // plain builds, the peak RSS for all.
#if !defined(__SANITIZE_ADDRESS__) && !defined(__SANITIZE_THREAD__)
    if (LAddressSpaceMiB > 0) {
        const rlimit LLimit{static_cast<rlim_t>(LAddressSpaceMiB) << 20, static_cast<rlim_t>(LAddressSpaceMiB) << 20};
        setrlimit(RLIMIT_AS, &LLimit);
    }
#endif
    std::vector<std::string> LFiles;
    for (const auto& LEntry : std::filesystem::directory_iterator(argv[I]))
        LFiles.push_back(LEntry.path().string());
    std::sort(LFiles.begin(), LFiles.end());

    Sonorix::RegisterAllComponents();
    TWatchdog LWatchdog{std::chrono::seconds(LSeconds)};
    for (size_t LIndex = LFrom; LIndex < LFiles.size(); ++LIndex) {
        const std::string& LFile = LFiles[LIndex];
        const bool LSpeex = LFile.ends_with(".spx");
        const std::pair<const char*, std::string> LRuns[] = {
            {"lav", "TSNLAVAudioPlayer FileName=" + Quoted(LFile)},
            {"ogg", "TSNOggPlayer FileName=" + Quoted(LFile) +
                        (LSpeex ? " ! TSNSpeexDecompressor" : " ! TSNVorbisDecompressor")}};
        for (const auto& [LPlayer, LPipeline] : LRuns) {
            std::printf("START\t%zu\t%s\t%s\n", LIndex, LPlayer, LFile.c_str());
            std::fflush(stdout);
            LWatchdog.Arm(std::string(LPlayer) + "\t" + LFile);
            std::ostringstream LOut, LErr;
            const int LCode = Sonorix::Cli::SonorixMain({"run", "--quiet", LPipeline}, LOut, LErr);
            LWatchdog.Disarm();
            const std::string LText = LErr.str();
            const long LLines = std::count(LText.begin(), LText.end(), '\n') +
                                (!LText.empty() && LText.back() != '\n' ? 1 : 0);
            std::printf("RESULT\t%zu\t%s\t%d\t%ld\t%ld\t%s\n", LIndex, LPlayer, LCode, LLines, PeakRssKiB(),
                        LText.substr(0, LText.find('\n')).c_str());
            std::fflush(stdout);
        }
    }
    return 0;
}
