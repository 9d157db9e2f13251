// SPDX-License-Identifier: MIT
// The tool's commands run in-process: every component (the test-only ones
// too) registered, a fresh folder per test, and the output of a run.
#pragma once

#include "Commands.h"
#include "SonorixPkg.h"
#include "TestComponents.h"
#include "codecs/LAVTestSupport.h"

#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

namespace Sonorix::Test {

struct TToolResult {
    int ExitCode;
    std::string Out;
    std::string Err;
    // The lines of Out that contain AText.
    size_t CountWith(const std::string& AText) const
    {
        size_t LCount = 0;
        std::istringstream LIn(Out);
        for (std::string LLine; std::getline(LIn, LLine);)
            LCount += LLine.find(AText) != std::string::npos;
        return LCount;
    }
};

class TToolTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        RegisterAllComponents();
        RegisterTestComponents();
    }
    void TearDown() override { TTestSource::OnBufferSent = nullptr; }
    TToolResult Sonorix(std::vector<std::string> AArguments)
    {
        std::ostringstream LOut, LErr;
        const int LCode = Cli::SonorixMain(AArguments, LOut, LErr);
        return {LCode, LOut.str(), LErr.str()};
    }
    std::string Path(const std::string& AName) const { return FDir.Path(AName); }

    Codecs::TTempDir FDir;
};

} // namespace Sonorix::Test
