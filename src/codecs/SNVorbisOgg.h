// SPDX-License-Identifier: MIT
// Binding of the Vorbis/Ogg wrapper library (libVorbisDLL.so and its Ogg
// part libOggDLL.so). Every codec
// function the package uses is a process-wide function variable with the
// library's own name and signature, in namespace Sonorix:
//
//   ogg_stream_pageout(LState, LPage);   // as if linked statically
//
// Each variable starts at a first-call stub: the first call of any of them
// loads the library (from the folder of libSonorixPkg.so), resolves that one
// export, stores its address and calls it. A missing library raises
// EDGDLLLoadError "Can't load VorbisDLL.dll" and is tried again on the next
// call; a missing export raises "Can't get <name>" and its variable keeps its
// stub. Internal header: the codec headers are needed for the prototypes
// only, nothing links the codec libraries.
#pragma once

#include "SNExport.h"

#include <ogg/ogg.h>
#include <vorbis/codec.h>
#include <vorbis/vorbisenc.h>
#include <vorbis/vorbisfile.h>

#include <atomic>
#include <cstdio>
#include <mutex>

namespace Sonorix {
// Not installed, but exported: the package's own tool, module and probes
// call it across the library's edge.
SN_API_BEGIN

using Pvorbis_info = vorbis_info*;
using Pvorbis_comment = vorbis_comment*;
using Pvorbis_dsp_state = vorbis_dsp_state*;
using Pvorbis_block = vorbis_block*;
using Pogg_packet = ogg_packet*;
using Pogg_page = ogg_page*;
using PPPSingle = float***;

// The library handle (nullptr while not loaded). Loads on the first call;
// raises EDGDLLLoadError when the file cannot be loaded.
void* GetLibrary();
// The same for the wrapper's Ogg part, libOggDLL.so, which the Ogg functions
// and structures come from, so that Ogg alone never maps libvorbis. Its
// failure is the wrapper's: "Can't load VorbisDLL.dll".
void* GetOggLibrary();
// Loads the wrapper AFileName from the package library's folder once per
// process (AHandle, under AMutex); raises EDGDLLLoadError(AFailure) when it
// cannot, and tries again on the next call.
void* LoadWrapperLibrary(std::atomic<void*>& AHandle, std::mutex& AMutex, const char* AFileName,
                         const char* AFailure);
// Resolves one export of the library (of its Ogg part); raises
// EDGDLLLoadError "Can't get " + name when it has none.
void* SNGetProcAddress(const char* AName);
void* SNGetOggProcAddress(const char* AName);

// A function variable: called like the function, bound once by its stub.
// The pointer is atomic, so threads that make a first call together each
// store the same address without a data race.
template <class F>
class TLibraryFunction;

template <class R, class... A>
class TLibraryFunction<R (*)(A...)> {
public:
    using TFunction = R (*)(A...);
    constexpr explicit TLibraryFunction(TFunction AStub) : FFunction(AStub) {}
    R operator()(A... AArgs) const { return FFunction.load(std::memory_order_acquire)(AArgs...); }
    TFunction Get() const { return FFunction.load(std::memory_order_acquire); }
    void Bind(TFunction AFunction) { FFunction.store(AFunction, std::memory_order_release); }

    // The first-call stub of the variable AVariable bound to export AName,
    // found by AResolve (which raises when it cannot).
    template <TLibraryFunction& AVariable, const char* AName, void* (*AResolve)(const char*) = &SNGetProcAddress>
    static R Stub(A... AArgs)
    {
        AVariable.Bind(reinterpret_cast<TFunction>(AResolve(AName)));
        return AVariable(AArgs...);
    }

private:
    std::atomic<TFunction> FFunction;
};

// Auxiliary exports of the wrapper.
using TDLLGetStruct = void* (*)();
using TDLLFreeStruct = void (*)(void*);
using TDLLfopen = FILE* (*)(const char*, const char*);
using TDLLfclose = int (*)(FILE*);

#define SN_VORBIS_AUXILIARY(X)                                                                                         \
    X(DLL_GetDSPStateStruct, TDLLGetStruct)                                                                            \
    X(DLL_GetVorbisBlockStruct, TDLLGetStruct)                                                                         \
    X(DLL_GetFileStruct, TDLLGetStruct)                                                                                \
    X(DLL_fopen, TDLLfopen)                                                                                            \
    X(DLL_fclose, TDLLfclose)

#define SN_OGG_AUXILIARY(X)                                                                                            \
    X(DLL_GetOggStreamStateStruct, TDLLGetStruct)                                                                      \
    X(DLL_Getogg_sync_stateStruct, TDLLGetStruct)                                                                      \
    X(DLL_Getogg_pageStruct, TDLLGetStruct)                                                                            \
    X(DLL_Getogg_packetStruct, TDLLGetStruct)                                                                          \
    X(DLL_FreeStruct, TDLLFreeStruct)

#define SN_VORBIS_FUNCTIONS(X)                                                                                         \
    X(vorbis_info_init) X(vorbis_info_clear) X(vorbis_encode_init_vbr) X(vorbis_encode_init)                           \
    X(vorbis_comment_init) X(vorbis_comment_add_tag) X(vorbis_comment_clear) X(vorbis_analysis_init)                   \
    X(vorbis_block_init) X(vorbis_block_clear) X(vorbis_dsp_clear) X(vorbis_analysis_headerout)                        \
    X(vorbis_analysis_buffer) X(vorbis_analysis_wrote) X(vorbis_analysis_blockout) X(vorbis_analysis)                  \
    X(vorbis_bitrate_addblock) X(vorbis_bitrate_flushpacket) X(vorbis_synthesis_headerin) X(vorbis_synthesis_init)     \
    X(vorbis_synthesis) X(vorbis_synthesis_blockin) X(vorbis_synthesis_pcmout) X(vorbis_synthesis_read)                \
    X(vorbis_synthesis_restart) X(vorbis_synthesis_trackonly) X(vorbis_synthesis_lapout) X(vorbis_packet_blocksize)    \
    X(vorbis_synthesis_idheader) X(ov_open) X(ov_clear) X(ov_read) X(ov_info) X(ov_pcm_total) X(ov_pcm_seek)

#define SN_OGG_FUNCTIONS(X)                                                                                            \
    X(ogg_stream_init) X(ogg_stream_clear) X(ogg_stream_packetin) X(ogg_stream_pageout) X(ogg_stream_flush)            \
    X(ogg_page_eos) X(ogg_sync_init) X(ogg_sync_clear) X(ogg_sync_buffer) X(ogg_sync_wrote) X(ogg_sync_pageout)        \
    X(ogg_sync_reset) X(ogg_stream_pagein) X(ogg_stream_packetout) X(ogg_stream_reset) X(ogg_stream_reset_serialno)    \
    X(ogg_page_serialno) X(ogg_page_bos) X(ogg_sync_pageseek) X(ogg_page_granulepos)

#define SN_DECLARE_AUXILIARY(AName, AType) extern TLibraryFunction<AType> AName;
#define SN_DECLARE_FUNCTION(AName) extern TLibraryFunction<decltype(&::AName)> AName;
SN_VORBIS_AUXILIARY(SN_DECLARE_AUXILIARY)
SN_OGG_AUXILIARY(SN_DECLARE_AUXILIARY)
SN_VORBIS_FUNCTIONS(SN_DECLARE_FUNCTION)
SN_OGG_FUNCTIONS(SN_DECLARE_FUNCTION)
#undef SN_DECLARE_AUXILIARY
#undef SN_DECLARE_FUNCTION

// Releases a structure obtained from a DLL_Get... export (RAII for the
// components' state).
struct TVorbisStructFree {
    void operator()(void* AStruct) const
    {
        if (AStruct)
            DLL_FreeStruct(AStruct);
    }
};

SN_API_END
} // namespace Sonorix
