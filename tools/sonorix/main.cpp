// SPDX-License-Identifier: MIT
// The sonorix command-line tool.
#include "Commands.h"
#include "Runner.h"
#include "SonorixPkg.h"

#include <csignal>
#include <iostream>

namespace {

extern "C" void OnInterrupt(int)
{
    Sonorix::Cli::TRunner::RequestInterrupt();
}

} // namespace

int main(int argc, char** argv)
{
    Sonorix::RegisterAllComponents();
    struct sigaction LAction {};
    LAction.sa_handler = OnInterrupt;
    sigemptyset(&LAction.sa_mask);
    sigaction(SIGINT, &LAction, nullptr);
    sigaction(SIGTERM, &LAction, nullptr);
    std::vector<std::string> LArguments(argv + 1, argv + argc);
    return Sonorix::Cli::SonorixMain(LArguments, std::cout, std::cerr);
}
