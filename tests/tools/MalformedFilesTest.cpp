// SPDX-License-Identifier: MIT
// A corpus of malformed files (scripts/make-malformed-corpus.py) through both
// file players, in a probe process: each run ends within 10 s, without a
// crash, in at most 256 MiB of resident memory (768 MiB under
// AddressSanitizer; outside sanitizers also 2 GiB of address space), and
// plays (with at most a note) or ends in one error line.
#include "codecs/LAVTestSupport.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <sstream>
#include <sys/wait.h>

using namespace Sonorix::Test::Codecs;

// AddressSanitizer keeps up to 256 MiB of freed blocks in quarantine.
#if defined(__SANITIZE_ADDRESS__)
constexpr long CPeakRssKiB = 768 * 1024;
#else
constexpr long CPeakRssKiB = 256 * 1024;
#endif

TEST(MalformedFilesTest, EveryFileEndsInOneLineOrPlays)
{
    for (const char* LTool : {"sox", "ffmpeg", "oggenc", "speexenc", "python3"})
        if (Shell(std::string("command -v ") + LTool).ExitCode != 0)
            GTEST_SKIP() << LTool << " is not installed";
    TTempDir LDir;
    const std::string LCorpus = LDir.Path("corpus");
    const TShellResult LMade =
        Shell("python3 " + Quote(SONORIX_SOURCE_DIR "/scripts/make-malformed-corpus.py") + " " + Quote(LCorpus));
    ASSERT_EQ(LMade.ExitCode, 0) << LMade.Output;
    const size_t LFiles = std::distance(std::filesystem::directory_iterator(LCorpus), {});
    ASSERT_GE(LFiles, 200U);

    size_t LFrom = 0, LResults = 0, LPlayed = 0;
    size_t LFaults = 0; // runs that ended the probe
    while (LFrom < LFiles) {
        // From file LFrom on, 10 s a run, 2 GiB of address space.
        const std::string LCommand =
            Quote(SONORIX_PLAYER_PROBE) + " " + std::to_string(LFrom) + " 10 2048 " + Quote(LCorpus) + " 2>&1";
        FILE* LPipe = popen(LCommand.c_str(), "r");
        ASSERT_NE(LPipe, nullptr);
        std::string LStarted, LOutput;
        size_t LStartedIndex = LFrom;
        for (char LLine[4096]; std::fgets(LLine, sizeof LLine, LPipe);) {
            const std::string LText(LLine, strcspn(LLine, "\n"));
            std::vector<std::string> LField;
            std::istringstream LFields(LText);
            for (std::string LOne; std::getline(LFields, LOne, '\t');)
                LField.push_back(LOne);
            if (LField.size() >= 4 && LField[0] == "START") {
                LStartedIndex = std::stoul(LField[1]);
                LStarted = LField[2] + " " + LField[3];
                LOutput.clear();
            } else if (LField.size() >= 6 && LField[0] == "RESULT") {
                ++LResults;
                const int LCode = std::stoi(LField[3]);
                const long LLines = std::stol(LField[4]), LRss = std::stol(LField[5]);
                const std::string LError = LField.size() > 6 ? LField[6] : "";
                LPlayed += LCode == 0;
                // A run that plays may add a note on packets it dropped.
                EXPECT_TRUE(LCode == 0 ? LLines <= 1 : LLines == 1)
                    << LStarted << ": exit " << LCode << ", " << LLines << " lines:\n"
                    << LOutput;
                // One line that says what is wrong, never a bare exception.
                EXPECT_TRUE(LCode == 0 || (LError.size() > 20 && LError.find("bad_alloc") == std::string::npos))
                    << LStarted << ": " << LError;
                EXPECT_LT(LRss, CPeakRssKiB) << LStarted;
                LStarted.clear();
            } else {
                LOutput += LText + "\n";
            }
        }
        const int LStatus = pclose(LPipe);
        if (LStatus == 0)
            break;
        // Crashed or hung in the run last started: report it and go on after it.
        ++LFaults;
        ADD_FAILURE() << LStarted << " ended the probe (status " << LStatus << "):\n" << LOutput;
        LFrom = LStartedIndex + 1;
    }
    EXPECT_EQ(LFaults, 0u);
    EXPECT_GE(LResults, 2 * LFiles - 2 * LFaults);
    // The unchanged files play; most others are refused or play what is left.
    EXPECT_GE(LPlayed, 5U);
}
