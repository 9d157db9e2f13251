// SPDX-License-Identifier: MIT
// Stored graph files as a program reads them: every input must end in a
// graph or in one ESNGraphError. A graph that reads must store, read back
// and store again to the very same text; anything else (a crash, a leak, a
// round trip that changes the text) is a finding.
#include "SNStoredGraph.h"
#include "SonorixPkg.h"

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* AData, size_t ASize)
{
    static const bool LRegistered = [] {
        Sonorix::RegisterAllComponents();
        return true;
    }();
    (void)LRegistered;
    const std::string LText(reinterpret_cast<const char*>(AData), ASize);
    std::unique_ptr<Sonorix::TSNGraph> LGraph;
    try {
        LGraph = Sonorix::ReadGraphText(LText, "fuzz.snx");
    } catch (const Sonorix::ESNGraphError&) {
        return 0; // a clear error is the expected answer to a bad file
    }
    const std::string LStored = Sonorix::StoreGraphText(*LGraph);
    LGraph.reset();
    std::string LAgain;
    try {
        LAgain = Sonorix::StoreGraphText(*Sonorix::ReadGraphText(LStored, "stored.snx"));
    } catch (const Sonorix::ESNGraphError& E) {
        std::fprintf(stderr, "stored text does not read back: %s\n%s", E.what(), LStored.c_str());
        std::abort();
    }
    if (LAgain != LStored) {
        std::fprintf(stderr, "round trip changed the text:\n%s---\n%s", LStored.c_str(), LAgain.c_str());
        std::abort();
    }
    return 0;
}
