// SPDX-License-Identifier: MIT
// Binding of the vector-primitive table. In this process (no IPP on the
// machine) every entry holds its portable kernel. A probe program started with
// LD_LIBRARY_PATH on a folder of stand-in IPP libraries shows the binding
// rules: a stateless entry that the library exports is bound, groups the
// library exports only in part stay portable, everything else stays portable.
#include "SNDispatcher.h"
#include "SNRampDispatcher.h"

#include <gtest/gtest.h>

#include <dlfcn.h>

#include <cstdio>
#include <map>
#include <string>

namespace Sonorix {
namespace {

bool RealIppPresent()
{
    for (const char* LName : {"libipps.so", "libipps.so.10", "libippi.so", "libippi.so.10"})
        if (void* LHandle = dlopen(LName, RTLD_LAZY | RTLD_LOCAL)) {
            dlclose(LHandle);
            return true;
        }
    return false;
}

// The probe's output as name -> word after it.
std::map<std::string, std::string> RunProbe(const std::string& AEnvironment)
{
    const std::string LCommand = AEnvironment + " '" SONORIX_DISPATCH_PROBE "'";
    std::map<std::string, std::string> LResult;
    FILE* LPipe = popen(LCommand.c_str(), "r");
    if (LPipe == nullptr)
        return LResult;
    char LLine[256];
    while (std::fgets(LLine, sizeof LLine, LPipe) != nullptr) {
        std::string s(LLine);
        while (!s.empty() && (s.back() == '\n' || s.back() == '\r'))
            s.pop_back();
        // "call <name> <value>" lines are keyed "<name>()".
        const bool LCall = s.rfind("call ", 0) == 0;
        if (LCall)
            s = s.substr(5);
        const auto LSpace = s.find(' ');
        if (LSpace != std::string::npos)
            LResult[s.substr(0, LSpace) + (LCall ? "()" : "")] = s.substr(LSpace + 1);
    }
    EXPECT_EQ(pclose(LPipe), 0) << LCommand;
    return LResult;
}

TEST(SNDispatcherLoaderTest, WithoutIppEveryEntryIsPortableHereAndInTheProbe)
{
    if (RealIppPresent())
        GTEST_SKIP() << "an IPP library is installed on this machine";
    SNDispatcherInit();
    SNDispatcherInit(); // once only; later calls change nothing
    // A sample of each group here; the probe reads every entry.
    EXPECT_EQ(ippsAdd_16s_I, _px_ippsAdd_16s_I);
    EXPECT_EQ(ippsFIROne_64f, _px_ippsFIROne_64f);
    EXPECT_EQ(ippsTone_Direct_16s, _px_ippsTone_Direct_16s);
    EXPECT_EQ(ippiConvert_32f16s_C1R, _px_ippiConvert_32f16s_C1R);
    EXPECT_EQ(ippsIIRInit_BiQuad_32f, _px_ippsIIRInit_BiQuad_32f);
    EXPECT_EQ(ippsVectorRamp_16s, _px_ippsVectorRamp_16s);
    EXPECT_TRUE(SNDispatcherIsPortable("ippsTone_Direct_16s"));
    EXPECT_EQ(SNDispatcherSignalProc("ippsTone_Direct_16s"), nullptr);
    EXPECT_EQ(SNDispatcherImageProc("ippiConvert_32f16s_C1R"), nullptr);
    const auto LLines = RunProbe("env -u LD_LIBRARY_PATH");
    ASSERT_EQ(LLines.size(), 27u + 3u);
    for (const auto& [LName, LWord] : LLines) {
        if (LName.find("()") == std::string::npos) {
            EXPECT_EQ(LWord, "portable") << LName;
        }
    }
    EXPECT_EQ(LLines.at("ippsSqr_32f_I()"), "9");
    EXPECT_EQ(LLines.at("ippsVectorRamp_16s()"), "5");
    EXPECT_EQ(LLines.at("ippiConvert_8s32f_C1R()"), "3");
}

TEST(SNDispatcherLoaderTest, ProbeBindsCompleteGroupsOfAStandInLibrary)
{
    if (RealIppPresent())
        GTEST_SKIP() << "an IPP library is installed on this machine";
    const auto LLines = RunProbe("LD_LIBRARY_PATH='" SONORIX_FAKE_IPP_DIR "'");
    ASSERT_EQ(LLines.size(), 27u + 3u);
    // Stateless entries that the stand-ins export are bound and called.
    EXPECT_EQ(LLines.at("ippsSqr_32f_I"), "bound");
    EXPECT_EQ(LLines.at("ippiConvert_8s32f_C1R"), "bound");
    EXPECT_EQ(LLines.at("ippsVectorRamp_16s"), "bound");
    EXPECT_EQ(LLines.at("ippsSqr_32f_I()"), "42");
    EXPECT_EQ(LLines.at("ippsVectorRamp_16s()"), "42");
    EXPECT_EQ(LLines.at("ippiConvert_8s32f_C1R()"), "42");
    // Exported, but their groups are incomplete there.
    EXPECT_EQ(LLines.at("ippsIIR_32f_I"), "portable");
    EXPECT_EQ(LLines.at("ippsIIRFree_32f"), "portable");
    EXPECT_EQ(LLines.at("ippsFIROne_64f"), "portable");
    int LBound = 0;
    for (const auto& [LName, LWord] : LLines)
        LBound += LWord == "bound" ? 1 : 0;
    EXPECT_EQ(LBound, 3);
}

} // namespace
} // namespace Sonorix
