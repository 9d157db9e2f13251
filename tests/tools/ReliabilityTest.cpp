// SPDX-License-Identifier: MIT
// Runs that must end however they are attacked: waits that cannot be
// served, cycles, very long chains, interrupts at any moment.
#include "CliError.h"
#include "Commands.h"
#include "Graph.h"
#include "Runner.h"
#include "SNAmplifier.h"
#include "SonorixPkg.h"
#include "TestComponents.h"

#include <gtest/gtest.h>

#include <csignal>
#include <fcntl.h>
#include <spawn.h>
#include <sstream>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace Sonorix;
using namespace Sonorix::Cli;

namespace {

struct TResult {
    int ExitCode;
    std::string Err;
};

TResult Tool(std::vector<std::string> AArguments)
{
    RegisterAllComponents();
    Sonorix::Test::RegisterTestComponents();
    std::ostringstream LOut, LErr;
    const int LCode = SonorixMain(AArguments, LOut, LErr);
    return {LCode, LErr.str()};
}

struct TSpawned {
    int Status = -1; // as waitpid gives it
    std::string Err;
};

// Runs the tool binary with its standard output on AOutFd (-1: closed
// read end of a pipe) and standard error captured; ASignal, when not 0, is
// sent once the process has written AAfterBytes bytes to standard error or
// ADelayMicros have passed.
TSpawned Spawn(const std::vector<std::string>& AArguments, int AOutFd = -1, int ASignal = 0, useconds_t ADelayMicros = 0)
{
    std::vector<char*> LArgv{const_cast<char*>(SONORIX_TOOL_PATH)};
    for (const std::string& LArgument : AArguments)
        LArgv.push_back(const_cast<char*>(LArgument.c_str()));
    LArgv.push_back(nullptr);
    int LErr[2], LOut[2];
    if (pipe(LErr) != 0 || pipe(LOut) != 0)
        return {};
    posix_spawn_file_actions_t LActions;
    posix_spawn_file_actions_init(&LActions);
    posix_spawn_file_actions_adddup2(&LActions, AOutFd >= 0 ? AOutFd : LOut[1], STDOUT_FILENO);
    posix_spawn_file_actions_adddup2(&LActions, LErr[1], STDERR_FILENO);
    pid_t LPid = 0;
    const int LSpawned = posix_spawn(&LPid, SONORIX_TOOL_PATH, &LActions, nullptr, LArgv.data(), environ);
    posix_spawn_file_actions_destroy(&LActions);
    close(LErr[1]);
    close(LOut[1]);
    close(LOut[0]); // A reader that went away.
    if (LSpawned != 0)
        return {};
    if (ASignal) {
        usleep(ADelayMicros);
        kill(LPid, ASignal);
    }
    TSpawned LResult;
    char LBuffer[4096];
    for (ssize_t LRead; (LRead = read(LErr[0], LBuffer, sizeof LBuffer)) > 0;)
        LResult.Err.append(LBuffer, static_cast<size_t>(LRead));
    close(LErr[0]);
    waitpid(LPid, &LResult.Status, 0);
    return LResult;
}

} // namespace

// A mixer that waits for a channel that never delivers sends nothing and
// its other producer finds a full queue: the duration and an interrupt
// still end the run. A prefill beyond the queue's room on one of two
// producers drains on the mixer's own clock instead of waiting for ever.
TEST(ReliabilityTest, UnservedMixerWaitsEndAtTheDurationAndAtAnInterrupt)
{
    const std::string LWaiting = "TestSource AudioFormat.BufferSize=100 ! mix.InputPins[0]  TSNAudioMixer name=mix "
                                 "Channels.Count=2 AudioFormat.Enabled=true Channels[1].WaitForDataBefore=mcwWaitForData";
    EXPECT_EQ(Tool({"run", LWaiting, "--duration", "3", "--quiet"}).ExitCode, CExitOk);
    EXPECT_EQ(Tool({"run", LWaiting + "  TSNSignalGen Enabled=false ! mix.InputPins[1]", "--duration", "3", "--quiet"})
                  .ExitCode,
              CExitOk);

    Sonorix::Test::TTestSource::OnBufferSent = [](int ACount) {
        if (ACount == 50)
            TRunner::RequestInterrupt();
    };
    EXPECT_EQ(Tool({"run", LWaiting, "--quiet"}).ExitCode, CExitInterrupted);
    Sonorix::Test::TTestSource::OnBufferSent = nullptr;

    EXPECT_EQ(Tool({"run",
                       "TSNSignalGen ! mix.InputPins[0]  TSNSignalGen ! mix.InputPins[1]  TSNAudioMixer name=mix "
                       "Channels.Count=2 Channels[0].PrefillInterval=200",
                       "--duration", "3", "--quiet"})
                  .ExitCode,
              CExitOk);
}

// A connection that closes a cycle is refused, in code and in pipeline text.
TEST(ReliabilityTest, ConnectionsThatCloseACycleAreRefused)
{
    TSNAmplifier LFirst, LSecond;
    LFirst.GetOutputPin().Connect(LSecond.GetInputPin());
    EXPECT_THROW(LSecond.GetOutputPin().Connect(LFirst.GetInputPin()), EPinConnectError);
    EXPECT_THROW(LFirst.GetOutputPin().Connect(LFirst.GetInputPin()), EPinConnectError);
    EXPECT_FALSE(LFirst.GetInputPin().IsConnected());

    const TResult LResult = Tool({"run", "--duration", "0.5",
                                  "TSNSignalGen ! mix.InputPins[0]  TSNAudioMixer name=mix Channels.Count=2 ! "
                                  "TSNAmplifier name=a  a.OutputPin ! mix.InputPins[1]"});
    EXPECT_EQ(LResult.ExitCode, CExitUsage);
    EXPECT_EQ(LResult.Err, "sonorix: cannot connect a.OutputPin to mix.InputPins[1]: it would close a cycle (mix "
                           "already feeds a) at position 108\n");
}

// The longest pipeline the tool takes runs whatever the stack limit; one
// element more is refused with one line.
TEST(ReliabilityTest, TheLongestChainRunsAndALongerOneIsRefused)
{
    std::vector<std::string> LArguments{"run", "--quiet", "--duration", "0.1", "TSNSignalGen"};
    LArguments.insert(LArguments.end(), CMaxPipelineElements - 1, "! TSNAmplifier");
    // A small stack limit for the child (inherited at spawn).
    rlimit LSaved{};
    getrlimit(RLIMIT_STACK, &LSaved);
    rlimit LSmall = LSaved;
    LSmall.rlim_cur = 1 << 20;
    setrlimit(RLIMIT_STACK, &LSmall);
    const TSpawned LRun = Spawn(LArguments);
    setrlimit(RLIMIT_STACK, &LSaved);
    EXPECT_TRUE(WIFEXITED(LRun.Status) && WEXITSTATUS(LRun.Status) == 0) << LRun.Status << LRun.Err;

    LArguments.push_back("! TSNAmplifier");
    EXPECT_EQ(Tool(LArguments).Err, "sonorix: the pipeline has 10001 elements; at most 10000 are allowed\n");
}
