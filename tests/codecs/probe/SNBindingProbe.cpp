// SPDX-License-Identifier: MIT
// Calls bound functions of one codec binding and prints the outcome:
//
//   SNBindingProbe vorbis|speex [WRAPPER DESTINATION]
//
// "loaded-before yes|no" (whether the wrapper, for vorbis either of its two
// files, was in the process before the first call), then "first ok ..." or "first <message>". With a wrapper file
// and a destination it copies the wrapper into place and calls again
// ("second ..."), showing that a failed load is retried.
#include "codecs/SNSpeex.h"
#include "codecs/SNVorbisOgg.h"

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>

namespace {
bool WrapperLoaded(const char* AWrapper)
{
    std::ifstream LMaps("/proc/self/maps");
    return std::string(std::istreambuf_iterator<char>(LMaps), {}).find(AWrapper) != std::string::npos;
}

// "ok" and what the calls gave.
// The Ogg part alone: libvorbis stays out of the process.
std::string CallVorbis()
{
    Sonorix::DLL_FreeStruct(Sonorix::DLL_Getogg_pageStruct());
    return WrapperLoaded("libvorbis") ? "ok, libvorbis mapped" : "ok";
}

std::string CallSpeex()
{
    const SpeexMode* LMode = Sonorix::DLL_Getspeex_wb_mode();
    const int LId = Sonorix::DLL_GetModeID(LMode);
    const int LVersion = Sonorix::DLL_GetModeBitStreamVersion(LMode);
    Sonorix::DLL_FreeSpeexStruct(Sonorix::DLL_GetSpeexBitsStruct());
    return "ok " + std::to_string(LId) + " " + std::to_string(LVersion);
}

void Call(const char* AStep, std::string (*ACall)())
{
    try {
        std::printf("%s %s\n", AStep, ACall().c_str());
    } catch (const std::exception& AError) {
        std::printf("%s %s\n", AStep, AError.what());
    }
}
} // namespace

int main(int argc, char** argv)
{
    const bool LSpeex = argc > 1 && std::strcmp(argv[1], "speex") == 0;
    std::printf("loaded-before %s\n", (LSpeex ? WrapperLoaded("libSpeexDLL.so") : WrapperLoaded("libOggDLL.so") || WrapperLoaded("libVorbisDLL.so")) ? "yes" : "no");
    std::string (*LCall)() = LSpeex ? CallSpeex : CallVorbis;
    Call("first", LCall);
    if (argc == 4) {
        std::filesystem::copy_file(argv[2], argv[3], std::filesystem::copy_options::overwrite_existing);
        Call("second", LCall);
    }
    return 0;
}
