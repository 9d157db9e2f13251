// SPDX-License-Identifier: MIT
#pragma once

#include <stdexcept>
#include <string>
#include <string_view>

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

// A file name as error lines show it: quoted, control characters escaped
// (a newline cannot split the line, an escape sequence never reaches the
// terminal), and shortened in the middle when very long.
std::string DisplayName(std::string_view AName);
// The same for a whole error line: control characters escaped, and quoted
// names ('...') of more than 120 characters shortened.
std::string DisplayLine(std::string_view ALine);

} // namespace Sonorix::Cli
