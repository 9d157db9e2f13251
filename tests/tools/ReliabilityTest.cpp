// SPDX-License-Identifier: MIT
// Runs that must end however they are attacked: waits that cannot be
// served, cycles, very long chains, interrupts at any moment.
#include "CliError.h"
#include "Graph.h"
#include "Runner.h"
#include "SNAmplifier.h"
#include "ToolTestKit.h"
#include "WavWriter.h"

#include <algorithm>
#include <csignal>
#include <fcntl.h>
#include <filesystem>
#include <limits>
#include <random>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

using namespace Sonorix;
using namespace Sonorix::Cli;

namespace {

using ReliabilityTest = Sonorix::Test::TToolTest;

struct TSpawned {
    int Status = -1; // as waitpid gives it
    std::string Err;
};

// Runs the tool binary with its standard output on AOutFd (-1: a pipe whose
// reader goes away) and standard error captured. ASignal, when not 0, is sent
// after ADelayMicros, or at CAtFirstLine once the tool's first line reached
// standard output (so audio is known to flow, however loaded the machine).
constexpr useconds_t CAtFirstLine = std::numeric_limits<useconds_t>::max();

TSpawned Spawn(const std::vector<std::string>& AArguments, int AOutFd = -1, int ASignal = 0, useconds_t ADelayMicros = 0)
{
    std::vector<char*> LArgv{const_cast<char*>(SONORIX_TOOL_PATH)};
    for (const std::string& LArgument : AArguments)
        LArgv.push_back(const_cast<char*>(LArgument.c_str()));
    LArgv.push_back(nullptr);
    int LErr[2], LOut[2];
    if (pipe2(LErr, O_CLOEXEC) != 0 || pipe2(LOut, O_CLOEXEC) != 0)
        return {};
    posix_spawn_file_actions_t LActions;
    posix_spawn_file_actions_init(&LActions);
    posix_spawn_file_actions_adddup2(&LActions, AOutFd >= 0 ? AOutFd : LOut[1], STDOUT_FILENO);
    posix_spawn_file_actions_adddup2(&LActions, LErr[1], STDERR_FILENO);
    // The tool starts with default stop signals and none blocked, whatever
    // this process inherited (a background job ignores SIGINT, and an
    // ignored SIGINT before the tool's handler is in place would be lost).
    posix_spawnattr_t LAttributes;
    posix_spawnattr_init(&LAttributes);
    sigset_t LDefault, LNone;
    sigemptyset(&LNone);
    sigemptyset(&LDefault);
    for (int LSignal : {SIGINT, SIGTERM, SIGHUP})
        sigaddset(&LDefault, LSignal);
    posix_spawnattr_setsigdefault(&LAttributes, &LDefault);
    posix_spawnattr_setsigmask(&LAttributes, &LNone);
    posix_spawnattr_setflags(&LAttributes, POSIX_SPAWN_SETSIGDEF | POSIX_SPAWN_SETSIGMASK);
    pid_t LPid = 0;
    const int LSpawned = posix_spawn(&LPid, SONORIX_TOOL_PATH, &LActions, &LAttributes, LArgv.data(), environ);
    posix_spawn_file_actions_destroy(&LActions);
    posix_spawnattr_destroy(&LAttributes);
    close(LErr[1]);
    close(LOut[1]);
    const bool LAfterFirstLine = ASignal && ADelayMicros == CAtFirstLine && AOutFd < 0;
    if (!LAfterFirstLine)
        close(LOut[0]); // A reader that went away.
    if (LSpawned != 0)
        return {};
    if (LAfterFirstLine) {
        for (char LChar = 0; LChar != '\n' && read(LOut[0], &LChar, 1) == 1;) {
        }
    } else if (ASignal) {
        usleep(ADelayMicros);
    }
    if (ASignal)
        kill(LPid, ASignal);
    if (LAfterFirstLine) { // Read on, so the stop is not a broken pipe.
        char LRest[4096];
        while (read(LOut[0], LRest, sizeof LRest) > 0) {
        }
        close(LOut[0]);
    }
    TSpawned LResult;
    char LBuffer[4096];
    for (ssize_t LRead; (LRead = read(LErr[0], LBuffer, sizeof LBuffer)) > 0;)
        LResult.Err.append(LBuffer, static_cast<size_t>(LRead));
    close(LErr[0]);
    waitpid(LPid, &LResult.Status, 0);
    return LResult;
}

// Spawns with a lower soft limit of AResource (the child inherits it).
TSpawned SpawnLimited(int AResource, rlim_t ALimit, const std::vector<std::string>& AArguments)
{
    rlimit LSaved{};
    getrlimit(AResource, &LSaved);
    rlimit LSmall = LSaved;
    LSmall.rlim_cur = ALimit;
    setrlimit(AResource, &LSmall);
    const TSpawned LRun = Spawn(AArguments);
    setrlimit(AResource, &LSaved);
    return LRun;
}

// ARun ended by exit with ACode and printed one line.
void ExpectExit(const TSpawned& ARun, int ACode)
{
    EXPECT_TRUE(WIFEXITED(ARun.Status)) << "status " << ARun.Status << ": " << ARun.Err;
    EXPECT_EQ(WEXITSTATUS(ARun.Status), ACode) << ARun.Err;
    EXPECT_EQ(std::count(ARun.Err.begin(), ARun.Err.end(), '\n'), 1) << ARun.Err;
}

} // namespace

// A mixer that waits for a channel that never delivers sends nothing and
// its other producer finds a full queue: the duration and an interrupt
// still end the run. A prefill beyond the queue's room on one of two
// producers drains on the mixer's own clock instead of waiting for ever.
TEST_F(ReliabilityTest, UnservedMixerWaitsEndAtTheDurationAndAtAnInterrupt)
{
    const std::string LWaiting = "TestSource AudioFormat.BufferSize=100 ! mix.InputPins[0]  TSNAudioMixer name=mix "
                                 "Channels.Count=2 AudioFormat.Enabled=true Channels[1].WaitForDataBefore=mcwWaitForData";
    EXPECT_EQ(Sonorix({"run", LWaiting, "--duration", "3", "--quiet"}).ExitCode, CExitOk);
    EXPECT_EQ(Sonorix({"run", LWaiting + "  TSNSignalGen Enabled=false ! mix.InputPins[1]", "--duration", "3", "--quiet"})
                  .ExitCode,
              CExitOk);

    Sonorix::Test::TTestSource::OnBufferSent = [](int ACount) {
        if (ACount == 50)
            TRunner::RequestInterrupt();
    };
    EXPECT_EQ(Sonorix({"run", LWaiting, "--quiet"}).ExitCode, CExitInterrupted);

    EXPECT_EQ(Sonorix({"run",
                       "TSNSignalGen ! mix.InputPins[0]  TSNSignalGen ! mix.InputPins[1]  TSNAudioMixer name=mix "
                       "Channels.Count=2 Channels[0].PrefillInterval=200",
                       "--duration", "3", "--quiet"})
                  .ExitCode,
              CExitOk);
}

// A connection that closes a cycle is refused, in code and in pipeline text.
TEST_F(ReliabilityTest, ConnectionsThatCloseACycleAreRefused)
{
    TSNAmplifier LFirst, LSecond;
    LFirst.GetOutputPin().Connect(LSecond.GetInputPin());
    EXPECT_THROW(LSecond.GetOutputPin().Connect(LFirst.GetInputPin()), EPinConnectError);
    EXPECT_THROW(LFirst.GetOutputPin().Connect(LFirst.GetInputPin()), EPinConnectError);
    EXPECT_FALSE(LFirst.GetInputPin().IsConnected());

    const auto LResult = Sonorix({"run", "--duration", "0.5",
                                  "TSNSignalGen ! mix.InputPins[0]  TSNAudioMixer name=mix Channels.Count=2 ! "
                                  "TSNAmplifier name=a  a.OutputPin ! mix.InputPins[1]"});
    EXPECT_EQ(LResult.ExitCode, CExitUsage);
    EXPECT_EQ(LResult.Err, "sonorix: cannot connect a.OutputPin to mix.InputPins[1]: it would close a cycle (mix "
                           "already feeds a) at position 108\n");
}

// The longest pipeline the tool takes runs whatever the stack limit; one
// element more is refused with one line.
TEST_F(ReliabilityTest, TheLongestChainRunsAndALongerOneIsRefused)
{
#if defined(__SANITIZE_THREAD__)
    GTEST_SKIP() << "ThreadSanitizer tracks at most 64 locks held by one thread; the chain holds one per element";
#endif
    std::vector<std::string> LArguments{"run", "--quiet", "--duration", "0.1", "TSNSignalGen"};
    LArguments.insert(LArguments.end(), CMaxPipelineElements - 1, "! TSNAmplifier");
    const TSpawned LRun = SpawnLimited(RLIMIT_STACK, 1 << 20, LArguments);
    EXPECT_TRUE(WIFEXITED(LRun.Status) && WEXITSTATUS(LRun.Status) == 0) << LRun.Status << LRun.Err;

    LArguments.push_back("! TSNAmplifier");
    EXPECT_EQ(Sonorix(LArguments).Err, "sonorix: the pipeline has 10001 elements; at most 10000 are allowed\n");
}

// A hang-up, a closed standard output and a file-size limit end a run as a
// stop does: one line, and every file written so far readable.
TEST_F(ReliabilityTest, HangUpClosedOutputAndFileSizeLimitEndTheRunWithCompleteFiles)
{
    using namespace Sonorix::Test::Codecs;
    if (!HaveFfmpeg())
        GTEST_SKIP() << "ffprobe is not installed";
    auto LPipeline = [&](const std::string& AName) {
        return "TSNSignalGen name=g ! TSNLAVAudioLogger FileName=" + Path(AName + ".flac") +
               "  g.OutputPin ! TSNLAVAudioLogger FileName=" + Path(AName + ".m4a") + "  g.OutputPin ! TSNVUMeter";
    };
    const TSpawned LHangUp = Spawn({"run", "--quiet", "--events", LPipeline("hup")}, -1, SIGHUP, CAtFirstLine);
    ExpectExit(LHangUp, 128 + SIGHUP);
    const TSpawned LClosed = Spawn({"run", "--quiet", "--events", LPipeline("pipe")});
    ExpectExit(LClosed, CExitRuntimeError);
    EXPECT_NE(LClosed.Err.find("Broken pipe"), std::string::npos) << LClosed.Err;
    for (const char* LName : {"hup.flac", "hup.m4a", "pipe.flac", "pipe.m4a"})
        EXPECT_GT(Probe(Path(LName)).Duration, 0.0) << LName;

    const TSpawned LLimited = SpawnLimited(
        RLIMIT_FSIZE, 400000,
        {"run", "--quiet", "TSNSignalGen name=g ! TSNLAVAudioLogger FileName=" + Path("big.flac") +
                               "  g.OutputPin ! TSNAmplifier", "--wav", Path("big.wav")});
    ExpectExit(LLimited, CExitRuntimeError);
    EXPECT_NE(LLimited.Err.find("File too large"), std::string::npos) << LLimited.Err;
    // Sizes that claim no missing bytes, over 1.5 s of frames.
    EXPECT_GT(TWavReader(Path("big.wav")).Frames(), 66150u);
    EXPECT_GT(Probe(Path("big.flac")).Duration, 1.5);
}

// An interrupt is never lost, however early it comes: before the pipeline
// is built, and at moments around the start of the process.
TEST_F(ReliabilityTest, AnInterruptAtAnyMomentStopsTheRun)
{
    TRunner::RequestInterrupt();
    EXPECT_EQ(Sonorix({"run", "--quiet", "--realtime", "--duration", "1000", "TSNSignalGen"}).ExitCode, CExitInterrupted);
    for (useconds_t LDelay : {0u, 1000u, 5000u, 20000u, 50000u, 100000u}) {
        const TSpawned LRun = Spawn({"run", "--quiet", "--realtime", "--duration", "1000", "TSNSignalGen"}, -1, SIGINT,
                                    LDelay);
        // Before the handler is installed the signal ends the process itself.
        EXPECT_TRUE((WIFEXITED(LRun.Status) && WEXITSTATUS(LRun.Status) == CExitInterrupted) ||
                    (WIFSIGNALED(LRun.Status) && WTERMSIG(LRun.Status) == SIGINT))
            << LDelay << " us: " << LRun.Status << " " << LRun.Err;
    }
}

// Every output reports a failure to write it.
TEST_F(ReliabilityTest, OutputsThatCannotBeWrittenAreReported)
{
    const int LFull = open("/dev/full", O_WRONLY);
    ASSERT_GE(LFull, 0);
    for (std::vector<std::string> LArguments : std::vector<std::vector<std::string>>{
             {"--help"}, {"list"}, {"inspect", "TSNAmplifier"}, {"run", "--events", "--duration", "1",
                                                                  "TSNSignalGen ! TSNAmplifier ! TSNVUMeter"}}) {
        SCOPED_TRACE(LArguments[0]);
        const TSpawned LRun = Spawn(LArguments, LFull);
        ExpectExit(LRun, CExitRuntimeError);
        EXPECT_NE(LRun.Err.find("No space left on device"), std::string::npos) << LRun.Err;
    }
    close(LFull);
    EXPECT_EQ(Sonorix({"run", "--quiet", "--dot", "/dev/full", "--duration", "0.1", "TSNSignalGen"}).Err,
              "sonorix: cannot write '/dev/full': No space left on device\n");
}

// A file the pipeline reads is never opened for writing, under any of its
// names; names in error lines are escaped and shortened.
TEST_F(ReliabilityTest, AnInputIsNotOverwrittenAndNamesInErrorsAreSafe)
{
    const std::string LInput = Path("in.wav"), LLink = Path("link.wav");
    ASSERT_EQ(Sonorix({"run", "--quiet", "TestSource MaxBuffers=2", "--wav", LInput}).ExitCode, CExitOk);
    std::filesystem::create_symlink(LInput, LLink);
    const auto LSize = std::filesystem::file_size(LInput);
    const std::string LPlayer = "TSNLAVAudioPlayer name=p FileName=" + LInput;
    EXPECT_EQ(Sonorix({"run", LPlayer + " ! TSNLAVAudioLogger name=w FileName=" + LLink}).Err,
              "sonorix: w would overwrite '" + LLink + "', which p reads as '" + LInput + "'\n");
    EXPECT_EQ(Sonorix({"run", LPlayer + " ! TSNAmplifier", "--wav", LInput}).ExitCode, CExitUsage);
    EXPECT_EQ(Sonorix({"run", LPlayer + " ! TSNAmplifier", "--dot", LLink}).ExitCode, CExitUsage);
    EXPECT_EQ(std::filesystem::file_size(LInput), LSize);

    EXPECT_EQ(DisplayLine("cannot open 'a\nb\x1b[31m' (it's gone)"), "cannot open 'a\\nb\\x1b[31m' (it's gone)");
    const std::string LLong = DisplayName(std::string(60, 'a') + std::string(100, 'b') + std::string(60, 'c'));
    EXPECT_EQ(LLong, "'" + std::string(56, 'a') + "..." + std::string(56, 'c') + "'");
    EXPECT_EQ(DisplayLine("x '" + std::string(60, 'a') + std::string(100, 'b') + std::string(60, 'c') + "'"),
              "x " + LLong);
}

// The libav player and writer open local files and pipes only; a loop wraps
// without losing a frame, and an empty file ends a looping stream.
TEST_F(ReliabilityTest, FilesAreLocalLoopsAreSeamlessAndAnEmptyLoopEnds)
{
    const std::string LInput = Path("in.wav");
    ASSERT_EQ(Sonorix({"run", "--quiet", "TestSource MaxBuffers=2 AudioFormat.BufferSize=1000", "--wav", LInput}).ExitCode,
              CExitOk);
    const auto LConcat = Sonorix({"run", "TSNLAVAudioPlayer FileName='concat:" + LInput + "|" + LInput + "'"});
    EXPECT_NE(LConcat.Err.find("only local files and pipe: are read, not concat:"), std::string::npos) << LConcat.Err;
    const auto LNetwork =
        Sonorix({"run", "--duration", "0.1", "TSNSignalGen ! TSNLAVAudioLogger FileName=tcp://127.0.0.1:9/x.wav"});
    EXPECT_NE(LNetwork.Err.find("not tcp:"), std::string::npos) << LNetwork.Err;

    const std::string LLooped = Path("looped.wav");
    ASSERT_EQ(Sonorix({"run", "--quiet", "--duration", "1", "TSNLAVAudioPlayer FileName=" + LInput + " Loop=true",
                    "--wav", LLooped})
                  .ExitCode,
              CExitOk);
    const std::vector<int32_t> LOne = TWavReader(LInput).Samples(), LAll = TWavReader(LLooped).Samples();
    ASSERT_EQ(LAll.size(), 44 * 1024 * 2u); // ceil(44100 / 1024) buffers of stereo frames
    for (size_t I = 0; I < LAll.size(); ++I)
        ASSERT_EQ(LAll[I], LOne[I % LOne.size()]) << I;

    TWavWriter(Path("empty.wav"), MakeWaveFormat(44100, 16, 2, 0)).Close();
    EXPECT_EQ(Sonorix({"run", "--quiet", "TSNLAVAudioPlayer FileName=" + Path("empty.wav") + " Loop=true"}).ExitCode,
              CExitOk);
}

// A real-time run that cannot keep up (a source slower than its clock) says
// so: the missed deadlines as an event and in a line of the summary.
TEST_F(ReliabilityTest, AnOverloadedRealTimeRunReportsItsMissedDeadlines)
{
    Sonorix::Test::TTestSource::OnBufferSent = [](int) { std::this_thread::sleep_for(std::chrono::milliseconds(5)); };
    const auto LRun = Sonorix({"run", "--realtime", "--events", "--quiet", "--duration", "0.2",
                            "TestSource AudioFormat.BufferSize=100"});
    EXPECT_EQ(LRun.ExitCode, CExitOk) << LRun.Err;
    EXPECT_NE(LRun.Out.find(R"("component":"sonorix","event":"OnDeadlinesMissed","count":)"), std::string::npos)
        << LRun.Out;
    EXPECT_NE(LRun.Err.find("sonorix: realtime: "), std::string::npos) << LRun.Err;
    EXPECT_NE(LRun.Err.find(" deadlines missed; "), std::string::npos) << LRun.Err;
}

namespace {

const char* const CSurvivingFormats[] = {"wav", "aiff", "flac", "m4a", "ogg"};

// Seconds of audio a file holds whatever its header says: PCM from its size,
// the others as ffmpeg decodes them.
double HeldSeconds(const std::string& AFile, const Sonorix::Test::Codecs::TProbe& AProbe)
{
    struct stat LStat {};
    if (AProbe.Channels <= 0 || stat(AFile.c_str(), &LStat) != 0)
        return 0;
    const double LFrameRate = double(AProbe.SampleRate) * AProbe.Channels;
    if (AFile.ends_with(".wav") || AFile.ends_with(".aiff"))
        return double(LStat.st_size) / (LFrameRate * 2);
    return double(Sonorix::Test::Codecs::DecodeWithFfmpeg(AFile).size()) / LFrameRate;
}

} // namespace

// A failed write (a size limit stands for a full disk) leaves every container
// readable with the audio that reached the disk; runs killed at any moment
// leave files whose headers lag what they hold by at most a second.
TEST_F(ReliabilityTest, FilesSurviveAFailedWriteAndAKillAtAnyMoment)
{
    using namespace Sonorix::Test::Codecs;
    if (!HaveFfmpeg())
        GTEST_SKIP() << "ffprobe is not installed";
    for (const char* LFormat : CSurvivingFormats) {
        const std::string LFile = Path(std::string("full.") + LFormat);
        const TSpawned LRun =
            SpawnLimited(RLIMIT_FSIZE, 150000, {"run", "--quiet", "--duration", "600",
                                                "TSNSignalGen AudioFormat.SampleRate=8000 ! TSNLAVAudioLogger FileName=" + LFile});
        ExpectExit(LRun, CExitRuntimeError);
        const TProbe LProbe = Probe(LFile);
        ASSERT_TRUE(LProbe.Ok) << LFile;
        EXPECT_GT(LProbe.Duration, 1.0) << LFile;
        EXPECT_NEAR(LProbe.Duration, HeldSeconds(LFile, LProbe), 0.07) << LFile;
    }

    std::mt19937 LRandom(9);
    for (int LKill = 0; LKill < 20; ++LKill) {
        const std::string LBase = Path("kill" + std::to_string(LKill) + ".");
        std::string LPipeline = "TSNSignalGen name=g AudioFormat.SampleRate=8000 AudioFormat.Channels=1";
        for (const char* LFormat : CSurvivingFormats)
            LPipeline += std::string(LPipeline.ends_with("=1") ? "" : "  g.OutputPin") +
                         " ! TSNLAVAudioLogger FileName=" + LBase + LFormat;
        Spawn({"run", "--quiet", LPipeline}, -1, SIGKILL, 20000 + LRandom() % 200000);
        for (const char* LFormat : CSurvivingFormats) {
            struct stat LStat {};
            if (stat((LBase + LFormat).c_str(), &LStat) != 0)
                continue; // Killed before this logger started.
            const TProbe LProbe = Probe(LBase + LFormat);
            ASSERT_TRUE(LProbe.Ok) << LBase << LFormat;
            EXPECT_GE(LProbe.Duration, HeldSeconds(LBase + LFormat, LProbe) - 1.0) << LBase << LFormat;
        }
    }
}
