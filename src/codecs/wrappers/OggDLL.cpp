// SPDX-License-Identifier: MIT
// The Ogg part of the Vorbis/Ogg wrapper: libogg behind one file name, plus
// the auxiliary DLL_* exports of the Ogg structures. The Ogg player and writer
// and the Speex codecs need no more than this, so they never map libvorbis;
// libVorbisDLL.so depends on this library, so its handle finds all of it too.
#include "WrapperExports.h"

#include <ogg/ogg.h>

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
SN_EXPORT void DLL_FreeStruct(void* AStruct)
{
    std::free(AStruct);
}
