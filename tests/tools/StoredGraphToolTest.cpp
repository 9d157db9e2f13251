// SPDX-License-Identifier: MIT
// `sonorix run --save FILE` and `sonorix run -f FILE`, in-process.
#include "CliError.h"
#include "ToolTestKit.h"
#include "WavWriter.h"
#include "codecs/LAVTestSupport.h"

#include <fstream>

using namespace Sonorix;
using namespace Sonorix::Cli;
using StoredGraphToolTest = Sonorix::Test::TToolTest;

TEST_F(StoredGraphToolTest, SavedGraphRunsAgainFromItsFileAndSavesTheSame)
{
    ASSERT_EQ(Sonorix({"run", "--quiet", "--save", Path("first.snx"), "--wav", Path("a.wav"),
                       "TestSource name=src AudioFormat.BufferSize=100 MaxBuffers=5 ! TSNAmplifier Coefficient=0.5"})
                  .ExitCode,
              CExitOk);
    const std::string LText = Sonorix::Test::ReadFile(Path("first.snx"));
    EXPECT_EQ(LText, "TSNTestSource name=src AudioFormat.BufferSize=100 MaxBuffers=5\n"
                     "TSNAmplifier name=SNAmplifier1 Coefficient=0.5\n"
                     "src.OutputPin ! SNAmplifier1.InputPin\n");
    ASSERT_EQ(Sonorix({"run", "--quiet", "-f", Path("first.snx"), "--save", Path("second.snx"), "--wav", Path("b.wav")})
                  .ExitCode,
              CExitOk);
    EXPECT_EQ(Sonorix::Test::ReadFile(Path("second.snx")), LText);
    EXPECT_EQ(Sonorix::Test::ReadFile(Path("a.wav")), Sonorix::Test::ReadFile(Path("b.wav")));
    EXPECT_EQ(TWavReader(Path("b.wav")).Frames(), 500u);

    // A bad file: one line naming file, line and column; nothing runs.
    std::ofstream(Path("bad.snx")) << "# comment\nTestSource name=src\nTSNAmplifier Coefficient=half\n";
    const auto LBad = Sonorix({"run", "-f", Path("bad.snx")});
    EXPECT_EQ(LBad.ExitCode, CExitUsage);
    EXPECT_NE(LBad.Err.find("bad.snx:3:14: "), std::string::npos) << LBad.Err;
    EXPECT_NE(LBad.Err.find("'half' is not a real number"), std::string::npos) << LBad.Err;
    EXPECT_EQ(std::count(LBad.Err.begin(), LBad.Err.end(), '\n'), 1) << LBad.Err;
}
