// SPDX-License-Identifier: MIT
// `sonorix run --save FILE` and `sonorix run -f FILE`, in-process.
#include "CliError.h"
#include "Commands.h"
#include "SonorixPkg.h"
#include "TestComponents.h"
#include "WavWriter.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>

using namespace Sonorix;
using namespace Sonorix::Cli;

namespace {

std::string ReadAll(const std::filesystem::path& APath)
{
    std::ifstream LFile(APath, std::ios::binary);
    return {std::istreambuf_iterator<char>(LFile), std::istreambuf_iterator<char>()};
}

TEST(StoredGraphToolTest, SavedGraphRunsAgainFromItsFileAndSavesTheSame)
{
    RegisterAllComponents();
    Sonorix::Test::RegisterTestComponents();
    const auto LDir = std::filesystem::temp_directory_path() / ("sonorix-stored-" + std::to_string(::getpid()));
    std::filesystem::create_directories(LDir);
    auto LRun = [](std::vector<std::string> AArguments, std::string* AErr = nullptr) {
        std::ostringstream LOut, LErr;
        const int LCode = SonorixMain(AArguments, LOut, LErr);
        if (AErr)
            *AErr = LErr.str();
        return LCode;
    };
    const std::string LFirst = (LDir / "first.snx").string(), LSecond = (LDir / "second.snx").string();
    ASSERT_EQ(LRun({"run", "--quiet", "--save", LFirst, "--wav", (LDir / "a.wav").string(),
                    "TestSource name=src AudioFormat.BufferSize=100 MaxBuffers=5 ! TSNAmplifier Coefficient=0.5"}),
              CExitOk);
    const std::string LText = ReadAll(LFirst);
    EXPECT_EQ(LText, "TSNTestSource name=src AudioFormat.BufferSize=100 MaxBuffers=5\n"
                     "TSNAmplifier name=SNAmplifier1 Coefficient=0.5\n"
                     "src.OutputPin ! SNAmplifier1.InputPin\n");
    ASSERT_EQ(LRun({"run", "--quiet", "-f", LFirst, "--save", LSecond, "--wav", (LDir / "b.wav").string()}), CExitOk);
    EXPECT_EQ(ReadAll(LSecond), LText);
    EXPECT_EQ(ReadAll(LDir / "a.wav"), ReadAll(LDir / "b.wav"));
    EXPECT_EQ(TWavReader((LDir / "b.wav").string()).Frames(), 500u);

    // A bad file: one line naming file, line and column; nothing runs.
    std::ofstream(LDir / "bad.snx") << "# comment\nTestSource name=src\nTSNAmplifier Coefficient=half\n";
    std::string LErr;
    EXPECT_EQ(LRun({"run", "-f", (LDir / "bad.snx").string()}, &LErr), CExitUsage);
    EXPECT_NE(LErr.find("bad.snx:3:14: "), std::string::npos) << LErr;
    EXPECT_NE(LErr.find("'half' is not a real number"), std::string::npos) << LErr;
    EXPECT_EQ(std::count(LErr.begin(), LErr.end(), '\n'), 1) << LErr;
    std::filesystem::remove_all(LDir);
}

} // namespace
