// SPDX-License-Identifier: MIT
// Runs that must end however they are attacked: waits that cannot be
// served, cycles, very long chains, interrupts at any moment.
#include "CliError.h"
#include "Commands.h"
#include "Runner.h"
#include "SonorixPkg.h"
#include "TestComponents.h"

#include <gtest/gtest.h>

#include <sstream>

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
