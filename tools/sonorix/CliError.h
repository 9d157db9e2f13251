// SPDX-License-Identifier: MIT
#pragma once

#include <stdexcept>
#include <string>

namespace Sonorix::Cli {

// Exit codes of the tool.
constexpr int CExitOk = 0;
constexpr int CExitRuntimeError = 1;
constexpr int CExitUsage = 2;
constexpr int CExitInterrupted = 130;

// A problem reported to the user as one line on standard error.
class TCliError : public std::runtime_error {
public:
    explicit TCliError(const std::string& AMessage, int AExitCode = CExitUsage)
        : std::runtime_error(AMessage), FExitCode(AExitCode) {}
    int ExitCode() const { return FExitCode; }

private:
    int FExitCode;
};

} // namespace Sonorix::Cli
