// SPDX-License-Identifier: MIT
// The Vorbis/Ogg wrapper library: libogg, libvorbis, libvorbisenc and
// libvorbisfile behind one file name, plus the auxiliary DLL_* exports that
// hand out the library's structures. The codec functions themselves are
// found through this library's dependencies (dlsym on its handle searches
// them), so only the auxiliary exports are defined here.
#include <ogg/ogg.h>
#include <vorbis/codec.h>
#include <vorbis/vorbisfile.h>

#include <cstdio>
#include <cstdlib>

#define SN_EXPORT extern "C" __attribute__((visibility("default")))

namespace {
template <class T>
void* NewZeroed()
{
    return std::calloc(1, sizeof(T));
}
} // namespace

SN_EXPORT void* DLL_GetDSPStateStruct()
{
    return NewZeroed<vorbis_dsp_state>();
}
SN_EXPORT void* DLL_GetVorbisBlockStruct()
{
    return NewZeroed<vorbis_block>();
}
SN_EXPORT void* DLL_GetOggStreamStateStruct()
{
    return NewZeroed<ogg_stream_state>();
}
SN_EXPORT void* DLL_Getogg_sync_stateStruct()
{
    return NewZeroed<ogg_sync_state>();
}
#ifndef SN_WITHOUT_PAGE_EXPORT
// A test build leaves this one out, to show the message of a missing export.
SN_EXPORT void* DLL_Getogg_pageStruct()
{
    return NewZeroed<ogg_page>();
}
#endif
SN_EXPORT void* DLL_Getogg_packetStruct()
{
    return NewZeroed<ogg_packet>();
}
SN_EXPORT void* DLL_GetFileStruct()
{
    return NewZeroed<OggVorbis_File>();
}
SN_EXPORT void DLL_FreeStruct(void* AStruct)
{
    std::free(AStruct);
}
SN_EXPORT FILE* DLL_fopen(const char* AFileName, const char* AMode)
{
    return std::fopen(AFileName, AMode);
}
SN_EXPORT int DLL_fclose(FILE* AFile)
{
    return AFile ? std::fclose(AFile) : 0;
}
