// SPDX-License-Identifier: MIT
// Calls bound functions of the Speex binding and prints the outcome, as
// SNVorbisOggProbe does: "first ok <id> <version>" or "first <message>";
// with a wrapper file and a destination it copies the wrapper into place and
// calls again ("second ...").
#include "codecs/SNSpeex.h"

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
        if (LLine.find("libSpeexDLL.so") != std::string::npos)
            return true;
    return false;
}

void Call(const char* AStep)
{
    try {
        const SpeexMode* LMode = Sonorix::DLL_Getspeex_wb_mode();
        const int LId = Sonorix::DLL_GetModeID(LMode);
        const int LVersion = Sonorix::DLL_GetModeBitStreamVersion(LMode);
        Sonorix::DLL_FreeSpeexStruct(Sonorix::DLL_GetSpeexBitsStruct());
        std::printf("%s ok %d %d\n", AStep, LId, LVersion);
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
