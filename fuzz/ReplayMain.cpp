// SPDX-License-Identifier: MIT
// Runs a fuzz target over files without libFuzzer: each argument is a file
// or a folder of files, every one handed to LLVMFuzzerTestOneInput once.
// The suite replays the committed seeds this way, so every input that once
// found a fault stays a test with any compiler and under every sanitizer.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <system_error>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* AData, size_t ASize);

int main(int AArgc, char** AArgv)
{
    namespace fs = std::filesystem;
    std::vector<fs::path> LFiles;
    for (int I = 1; I < AArgc; ++I) {
        std::error_code LError;
        if (fs::is_directory(AArgv[I], LError)) {
            for (const fs::directory_entry& LEntry : fs::directory_iterator(AArgv[I]))
                if (LEntry.is_regular_file())
                    LFiles.push_back(LEntry.path());
        } else {
            LFiles.emplace_back(AArgv[I]);
        }
    }
    std::sort(LFiles.begin(), LFiles.end());
    if (LFiles.empty()) {
        std::fprintf(stderr, "no input files\n");
        return 2;
    }
    for (const fs::path& LFile : LFiles) {
        std::ifstream LStream(LFile, std::ios::binary);
        if (!LStream) {
            std::fprintf(stderr, "cannot read %s\n", LFile.c_str());
            return 2;
        }
        const std::vector<uint8_t> LData{std::istreambuf_iterator<char>(LStream), std::istreambuf_iterator<char>()};
        std::printf("%s (%zu bytes)\n", LFile.filename().c_str(), LData.size());
        std::fflush(stdout);
        LLVMFuzzerTestOneInput(LData.data(), LData.size());
    }
    std::printf("%zu inputs, no fault\n", LFiles.size());
    return 0;
}
