// SPDX-License-Identifier: MIT
// The Vorbis/Ogg wrapper library: libvorbis, libvorbisenc and libvorbisfile
// behind one file name, plus the auxiliary DLL_* exports that hand out the
// library's structures. Its Ogg part (libogg and the Ogg structures) is
// libOggDLL.so, a dependency of this one. The codec functions themselves are
// found through this library's dependencies (dlsym on its handle searches
// them), so only the auxiliary exports are defined here.
#include "WrapperExports.h"

#include <ogg/ogg.h>
#include <vorbis/codec.h>
#include <vorbis/vorbisfile.h>

#include <cstdio>

SN_EXPORT void* DLL_GetDSPStateStruct()
{
    return NewZeroed<vorbis_dsp_state>();
}
SN_EXPORT void* DLL_GetVorbisBlockStruct()
{
    return NewZeroed<vorbis_block>();
}
SN_EXPORT void* DLL_GetFileStruct()
{
    return NewZeroed<OggVorbis_File>();
}
SN_EXPORT FILE* DLL_fopen(const char* AFileName, const char* AMode)
{
    return std::fopen(AFileName, AMode);
}
SN_EXPORT int DLL_fclose(FILE* AFile)
{
    return AFile ? std::fclose(AFile) : 0;
}
