// SPDX-License-Identifier: MIT
// Calls one bound function of the Vorbis/Ogg binding and prints the outcome:
// "first ok" or "first <message>". With two arguments (a wrapper file and a
// destination) it then copies the wrapper into place and calls again
// ("second ..."), showing that a failed load is retried. "loaded-before"
// tells whether libogg was in the process before the first call.
#include "codecs/SNVorbisOgg.h"

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>

namespace {
bool WrapperLoaded()
{
    std::ifstream LMaps("/proc/self/maps");
    std::string LLine;
    while (std::getline(LMaps, LLine))
        if (LLine.find("libVorbisDLL.so") != std::string::npos)
            return true;
    return false;
}

void Call(const char* AStep)
{
    try {
        void* LPage = Sonorix::DLL_Getogg_pageStruct();
        Sonorix::DLL_FreeStruct(LPage);
        std::printf("%s ok\n", AStep);
    } catch (const std::exception& AError) {
        std::printf("%s %s\n", AStep, AError.what());
    }
}
} // namespace

int main(int argc, char** argv)
{
    std::printf("loaded-before %s\n", WrapperLoaded() ? "yes" : "no");
    Call("first");
    if (argc == 3) {
        std::filesystem::copy_file(argv[1], argv[2], std::filesystem::copy_options::overwrite_existing);
        Call("second");
    }
    return 0;
}
