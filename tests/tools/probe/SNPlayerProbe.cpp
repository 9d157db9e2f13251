// SPDX-License-Identifier: MIT
// Plays every file of a folder through both file players, as `sonorix run`
// does, in one process: per run one START line before and one RESULT line
// after (exit code, lines on standard error, the first of them, peak RSS).
// A run that takes longer than its limit ends the process with a HANG line;
// a crash ends it without a RESULT. The test resumes after the file at fault.
//
//   SNPlayerProbe FROM SECONDS ADDRESS_SPACE_MIB FOLDER   (from the FROM-th file on)
#include "Commands.h"
#include "SonorixPkg.h"

#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <sstream>
#include <string>
#include <vector>

namespace {

// Ends the process when a run outlives its limit (the run is the last START line).
void OnAlarm(int)
{
    static const char CLine[] = "HANG\n";
    (void)!write(STDOUT_FILENO, CLine, sizeof CLine - 1);
    _exit(3);
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
    if (argc != 5) {
        std::fprintf(stderr, "usage: SNPlayerProbe FROM SECONDS ADDRESS_SPACE_MIB FOLDER\n");
        return 2;
    }
    const size_t LFrom = std::strtoul(argv[1], nullptr, 10);
    const auto LSeconds = static_cast<unsigned>(std::atoi(argv[2]));
    [[maybe_unused]] const long LAddressSpaceMiB = std::atol(argv[3]); // not applied under sanitizers
    // Sanitizers reserve terabytes of shadow memory: the limit holds for
    // plain builds, the peak RSS for all.
#if !defined(__SANITIZE_ADDRESS__) && !defined(__SANITIZE_THREAD__)
    if (LAddressSpaceMiB > 0) {
        const rlimit LLimit{static_cast<rlim_t>(LAddressSpaceMiB) << 20, static_cast<rlim_t>(LAddressSpaceMiB) << 20};
        setrlimit(RLIMIT_AS, &LLimit);
    }
#endif
    std::vector<std::string> LFiles;
    for (const auto& LEntry : std::filesystem::directory_iterator(argv[4]))
        LFiles.push_back(LEntry.path().string());
    std::sort(LFiles.begin(), LFiles.end());

    Sonorix::RegisterAllComponents();
    std::signal(SIGALRM, OnAlarm);
    for (size_t LIndex = LFrom; LIndex < LFiles.size(); ++LIndex) {
        const std::string& LFile = LFiles[LIndex];
        const std::pair<const char*, std::string> LRuns[] = {
            {"lav", "TSNLAVAudioPlayer FileName='" + LFile + "'"},
            {"ogg", "TSNOggPlayer FileName='" + LFile + "'" +
                        (LFile.ends_with(".spx") ? " ! TSNSpeexDecompressor" : " ! TSNVorbisDecompressor")}};
        for (const auto& [LPlayer, LPipeline] : LRuns) {
            std::printf("START\t%zu\t%s\t%s\n", LIndex, LPlayer, LFile.c_str());
            std::fflush(stdout);
            alarm(LSeconds);
            std::ostringstream LOut, LErr;
            const int LCode = Sonorix::Cli::SonorixMain({"run", "--quiet", LPipeline}, LOut, LErr);
            alarm(0);
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
