// SPDX-License-Identifier: MIT
// The Speex wrapper library: libspeex behind one file name, plus the
// auxiliary DLL_* exports (modes, mode numbers, and the library's structures).
// The codec functions are found through this library's dependency on
// libspeex (dlsym on its handle searches it).
#include <speex/speex.h>
#include <speex/speex_bits.h>
#include <speex/speex_stereo.h>

#include <cstdlib>

#define SN_EXPORT extern "C" __attribute__((visibility("default")))

SN_EXPORT const SpeexMode* DLL_Getspeex_nb_mode()
{
    return &speex_nb_mode;
}
SN_EXPORT const SpeexMode* DLL_Getspeex_wb_mode()
{
    return &speex_wb_mode;
}
SN_EXPORT const SpeexMode* DLL_Getspeex_uwb_mode()
{
    return &speex_uwb_mode;
}
SN_EXPORT int DLL_GetModeID(const SpeexMode* AMode)
{
    return AMode ? AMode->modeID : -1;
}
#ifndef SN_WITHOUT_MODE_VERSION_EXPORT
// A test build leaves this one out, to show the message of a missing export.
SN_EXPORT int DLL_GetModeBitStreamVersion(const SpeexMode* AMode)
{
    return AMode ? AMode->bitstream_version : -1;
}
#endif
SN_EXPORT void* DLL_GetSpeexBitsStruct()
{
    return std::calloc(1, sizeof(SpeexBits));
}
SN_EXPORT void* DLL_GetSpeexStereoStateStruct()
{
    auto* LState = static_cast<SpeexStereoState*>(std::calloc(1, sizeof(SpeexStereoState)));
    if (LState)
        speex_stereo_state_reset(LState);
    return LState;
}
SN_EXPORT void DLL_FreeStruct(void* AStruct)
{
    std::free(AStruct);
}
