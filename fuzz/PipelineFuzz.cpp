// SPDX-License-Identifier: MIT
// Pipeline text as the tool receives it: parsed and built (components
// created, properties set, pins connected), never run. Every input must end
// in a graph or in one error; anything else (a crash, a leak, an allocation
// beyond the fuzzer's limit) is a finding.
#include "CliError.h"
#include "Graph.h"
#include "PipelineParser.h"
#include "SonorixPkg.h"

#include <cstddef>
#include <cstdint>
#include <exception>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* AData, size_t ASize)
{
    static const bool LRegistered = [] {
        Sonorix::RegisterAllComponents();
        return true;
    }();
    (void)LRegistered;
    const std::string LText(reinterpret_cast<const char*>(AData), ASize);
    try {
        const Sonorix::Cli::TPipeline LPipeline = Sonorix::Cli::ParsePipeline(LText);
        (void)Sonorix::Cli::TGraph::Build(LPipeline);
    } catch (const std::exception&) {
        // A clear error is the expected answer to bad text.
    }
    return 0;
}
