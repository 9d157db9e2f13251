// SPDX-License-Identifier: MIT
// The sonorix command-line tool.
#include "Commands.h"
#include "Runner.h"
#include "SonorixPkg.h"

#include <csignal>
#include <iostream>
#include <pthread.h>

namespace {

// Operations travel along a chain as nested calls on the thread that sends
// them (the main thread, a clock's, a processing thread's): every thread gets
// room for the longest pipeline the tool accepts, whatever `ulimit -s` says.
// Only the pages a run touches are used.
constexpr size_t CThreadStack = size_t{256} << 20;

extern "C" void OnInterrupt(int ASignal)
{
    Sonorix::Cli::TRunner::RequestInterrupt(ASignal);
}

struct TMainCall {
    std::vector<std::string> Arguments;
    int ExitCode = 0;
};

extern "C" void* RunMain(void* ACall)
{
    auto* LCall = static_cast<TMainCall*>(ACall);
    LCall->ExitCode = Sonorix::Cli::SonorixMain(LCall->Arguments, std::cout, std::cerr);
    return nullptr;
}

} // namespace

int main(int argc, char** argv)
{
    // Ctrl-C, a kill and a closed terminal stop a run as a stop does.
    struct sigaction LAction {};
    LAction.sa_handler = OnInterrupt;
    sigemptyset(&LAction.sa_mask);
    sigaction(SIGINT, &LAction, nullptr);
    sigaction(SIGTERM, &LAction, nullptr);
    sigaction(SIGHUP, &LAction, nullptr);
    // A closed reader (`| head`) and a file-size limit make the write fail
    // with EPIPE or EFBIG, which the writers report, instead of killing us.
    signal(SIGPIPE, SIG_IGN);
    signal(SIGXFSZ, SIG_IGN);
    Sonorix::RegisterAllComponents();

    pthread_attr_t LAttributes;
    pthread_attr_init(&LAttributes);
    pthread_attr_setstacksize(&LAttributes, CThreadStack);
    pthread_setattr_default_np(&LAttributes);
    TMainCall LCall{std::vector<std::string>(argv + 1, argv + argc)};
    pthread_t LThread;
    if (pthread_create(&LThread, &LAttributes, RunMain, &LCall) != 0) {
        RunMain(&LCall); // No room for a big stack: run here.
    } else {
        pthread_join(LThread, nullptr);
    }
    pthread_attr_destroy(&LAttributes);
    return LCall.ExitCode;
}
