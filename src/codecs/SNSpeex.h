// SPDX-License-Identifier: MIT
// Binding of the Speex wrapper library (libSpeexDLL.so), in the manner of
// SNVorbisOgg.h: every libspeex function the package uses is a process-wide
// function variable with the library's own name and signature, bound by a
// first-call stub. A missing library raises EDGDLLLoadError "Can't load
// SpeexDLL.dll" (tried again on the next call); a missing export raises
// "Can't get <name>" and its variable keeps its stub. The auxiliary export
// "DLL_FreeStruct" is bound to DLL_FreeSpeexStruct, beside the Vorbis
// library's DLL_FreeStruct. Internal header: the codec headers are needed for
// the prototypes only.
#pragma once

#include "SNExport.h"

#include "codecs/SNVorbisOgg.h"

#include <speex/speex.h>
#include <speex/speex_bits.h>
#include <speex/speex_callbacks.h>
#include <speex/speex_stereo.h>

namespace Sonorix {
// Not installed, but exported: the package's own tool, module and probes
// call it across the library's edge.
SN_API_BEGIN

namespace SNSpeex {
// The library handle; loads on the first call, raises EDGDLLLoadError when
// the file cannot be loaded.
void* GetLibrary();
// One export of the library; raises EDGDLLLoadError "Can't get " + name.
void* GetProcAddress(const char* AName);
} // namespace SNSpeex

// Request codes of speex_encoder_ctl / speex_decoder_ctl: the libspeex
// macros (SPEEX_SET_QUALITY, SPEEX_GET_FRAME_SIZE, ...) of speex.h.
static_assert(SPEEX_GET_FRAME_SIZE == 3 && SPEEX_SET_QUALITY == 4 && SPEEX_SET_VBR == 12 &&
              SPEEX_SET_VBR_QUALITY == 14 && SPEEX_SET_COMPLEXITY == 16 && SPEEX_SET_SAMPLING_RATE == 24 &&
              SPEEX_SET_VAD == 30 && SPEEX_SET_DTX == 34);

using TDLLGetMode = const SpeexMode* (*)();
using TDLLModeInt = int (*)(const SpeexMode*);

#define SN_SPEEX_AUXILIARY(X)                                                                                          \
    X(DLL_Getspeex_nb_mode, DLL_Getspeex_nb_mode, TDLLGetMode)                                                         \
    X(DLL_Getspeex_wb_mode, DLL_Getspeex_wb_mode, TDLLGetMode)                                                         \
    X(DLL_Getspeex_uwb_mode, DLL_Getspeex_uwb_mode, TDLLGetMode)                                                       \
    X(DLL_GetModeID, DLL_GetModeID, TDLLModeInt)                                                                       \
    X(DLL_GetModeBitStreamVersion, DLL_GetModeBitStreamVersion, TDLLModeInt)                                           \
    X(DLL_GetSpeexBitsStruct, DLL_GetSpeexBitsStruct, TDLLGetStruct)                                                   \
    X(DLL_GetSpeexStereoStateStruct, DLL_GetSpeexStereoStateStruct, TDLLGetStruct)                                     \
    X(DLL_FreeSpeexStruct, DLL_FreeStruct, TDLLFreeStruct)

#define SN_SPEEX_FUNCTIONS(X)                                                                                          \
    X(speex_encoder_init) X(speex_encoder_ctl) X(speex_encode) X(speex_encode_stereo) X(speex_encoder_destroy)         \
    X(speex_bits_init) X(speex_bits_reset) X(speex_bits_insert_terminator) X(speex_bits_write) X(speex_bits_destroy)   \
    X(speex_decoder_init) X(speex_decoder_ctl) X(speex_decode) X(speex_decode_stereo) X(speex_decoder_destroy)         \
    X(speex_bits_read_from) X(speex_encode_int) X(speex_decode_int) X(speex_mode_query) X(speex_lib_ctl)               \
    X(speex_bits_rewind) X(speex_bits_read_whole_bytes) X(speex_bits_write_whole_bytes) X(speex_bits_pack)             \
    X(speex_bits_unpack_signed) X(speex_bits_unpack_unsigned) X(speex_bits_nbytes) X(speex_bits_peek_unsigned)        \
    X(speex_bits_peek) X(speex_bits_advance) X(speex_bits_remaining) X(speex_encode_stereo_int)                        \
    X(speex_decode_stereo_int) X(speex_std_stereo_request_handler)

#define SN_DECLARE_SPEEX_AUXILIARY(AName, AExport, AType) extern TLibraryFunction<AType> AName;
#define SN_DECLARE_SPEEX_FUNCTION(AName) extern TLibraryFunction<decltype(&::AName)> AName;
SN_SPEEX_AUXILIARY(SN_DECLARE_SPEEX_AUXILIARY)
SN_SPEEX_FUNCTIONS(SN_DECLARE_SPEEX_FUNCTION)
#undef SN_DECLARE_SPEEX_AUXILIARY
#undef SN_DECLARE_SPEEX_FUNCTION

// Releases a structure obtained from a Speex DLL_Get... export.
struct TSpeexStructFree {
    void operator()(void* AStruct) const
    {
        if (AStruct)
            DLL_FreeSpeexStruct(AStruct);
    }
};

SN_API_END
} // namespace Sonorix
