// SPDX-License-Identifier: MIT
// The commands of the sonorix tool, callable in-process (the tests do).
#pragma once

#include <iosfwd>
#include <string>
#include <vector>

namespace Sonorix::Cli {

// Runs the tool with its arguments (without the program name); returns the
// exit code. Regular output goes to AOut, the one-line errors and the
// progress line to AErr.
int SonorixMain(const std::vector<std::string>& AArguments, std::ostream& AOut, std::ostream& AErr);

// The pipeline that `sonorix demo` runs.
std::string DemoPipeline();

} // namespace Sonorix::Cli
