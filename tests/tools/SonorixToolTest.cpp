// SPDX-License-Identifier: MIT
// The installed-style tool binary, run as a script would run it.
#include "codecs/LAVTestSupport.h"

#include <gtest/gtest.h>

#include <set>
#include <sstream>

using namespace Sonorix::Test::Codecs;

namespace {

TShellResult RunTool(const std::string& AArguments)
{
    return Shell(std::string(SONORIX_TOOL_PATH) + " " + AArguments);
}

} // namespace

TEST(SonorixToolTest, VersionHelpAndBadInput)
{
    const TShellResult LVersion = RunTool("--version");
    EXPECT_EQ(LVersion.ExitCode, 0);
    EXPECT_EQ(LVersion.Output.rfind("sonorix ", 0), 0u);
    EXPECT_EQ(RunTool("--help").ExitCode, 0);
    // Bad input: one line and exit code 2.
    for (const char* LArguments :
         {"", "frob", "run", "run \"TSNAmplifier Coefficient=x\"", "run \"'unterminated\"", "run \"TSNAmplifier\" --duration"}) {
        SCOPED_TRACE(LArguments);
        const TShellResult LRun = RunTool(LArguments);
        EXPECT_EQ(LRun.ExitCode, 2) << LRun.Output;
        EXPECT_EQ(std::count(LRun.Output.begin(), LRun.Output.end(), '\n'), 1) << LRun.Output;
        EXPECT_EQ(LRun.Output.rfind("sonorix: ", 0), 0u) << LRun.Output;
    }
}

// The README's "What works today" table names exactly what `sonorix list`
// registers: nothing promised that is not there, nothing there unsaid.
TEST(SonorixToolTest, TheReadmeListsWhatIsRegistered)
{
    const std::string LReadme = ReadFile(std::string(SONORIX_SOURCE_DIR) + "/README.md");
    const size_t LStart = LReadme.find("### What works today");
    ASSERT_NE(LStart, std::string::npos);
    const std::string LTable = LReadme.substr(LStart, LReadme.find("\n\n`sonorix list`", LStart) - LStart);
    std::set<std::string> LNamed;
    for (size_t LAt = 0; (LAt = LTable.find("`TSN", LAt)) != std::string::npos; ++LAt)
        LNamed.insert(LTable.substr(LAt + 1, LTable.find('`', LAt + 1) - LAt - 1));
    std::set<std::string> LRegistered;
    std::istringstream LList(RunTool("list").Output);
    for (std::string LLine; std::getline(LList, LLine);)
        LRegistered.insert(LLine.substr(0, LLine.find('\t')));
    EXPECT_EQ(LNamed, LRegistered);
}
