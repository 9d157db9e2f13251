// SPDX-License-Identifier: MIT
// PCM-to-PCM conversion between two integer wave formats: channel count (and
// speaker layout), sample width and sample rate, streaming. It offers the
// operations and result codes of a platform compression-manager stream, so
// the rate change and the Speex decoder use one converter:
//
//   std::unique_ptr<TSNPCMConverter> LStream;
//   if (PCMStreamOpen(LStream, LSource, LDest, ACM_STREAMOPENF_NONREALTIME) != MMSYSERR_NOERROR) ...
//   uint32_t LDestBytes = 0;
//   PCMStreamSize(LStream.get(), LSourceBytes, LDestBytes, ACM_STREAMSIZEF_SOURCE);
//   TSNPCMStreamHeader LHeader{.Source = ..., .SourceLength = ..., .Dest = ..., .DestLength = LDestBytes};
//   PCMStreamPrepareHeader(LStream.get(), LHeader);
//   PCMStreamConvert(LStream.get(), LHeader, ACM_STREAMCONVERTF_START | ACM_STREAMCONVERTF_BLOCKALIGN);
//   PCMStreamUnprepareHeader(LStream.get(), LHeader);
//   LStream.reset();                                  // close
//
// Built on libswresample (band-limited resampling, channel rematrixing,
// sample format conversion). Not installed: a private interface of the
// package.
#pragma once

#include "SNExport.h"

#include "SNTypes.h"

#include <cstdint>
#include <memory>

namespace Sonorix {
// Not installed, but exported: the package's own tool, module and probes
// call it across the library's edge.
SN_API_BEGIN

// Result codes.
constexpr uint32_t MMSYSERR_NOERROR = 0;
constexpr uint32_t MMSYSERR_INVALHANDLE = 5;
constexpr uint32_t MMSYSERR_NOMEM = 7;
constexpr uint32_t MMSYSERR_INVALFLAG = 10;
constexpr uint32_t MMSYSERR_INVALPARAM = 11;
constexpr uint32_t ACMERR_NOTPOSSIBLE = 512;
constexpr uint32_t ACMERR_UNPREPARED = 514;

// Flags.
constexpr uint32_t ACM_STREAMOPENF_QUERY = 0x1;
constexpr uint32_t ACM_STREAMOPENF_NONREALTIME = 0x4;
constexpr uint32_t ACM_STREAMSIZEF_SOURCE = 0x0;
constexpr uint32_t ACM_STREAMSIZEF_DESTINATION = 0x1;
constexpr uint32_t ACM_STREAMCONVERTF_BLOCKALIGN = 0x4;
constexpr uint32_t ACM_STREAMCONVERTF_START = 0x10;
// Drains what the resampler still holds (the end of the stream).
constexpr uint32_t ACM_STREAMCONVERTF_END = 0x20;

// One conversion: source bytes in, destination bytes out.
struct TSNPCMStreamHeader {
    const uint8_t* Source = nullptr;
    uint32_t SourceLength = 0;
    uint32_t SourceLengthUsed = 0;
    uint8_t* Dest = nullptr;
    uint32_t DestLength = 0;
    uint32_t DestLengthUsed = 0;
    bool Prepared = false;
};

class TSNPCMConverter;

// Opens a stream between two integer PCM formats (WAVE_FORMAT_PCM or
// WAVE_FORMAT_EXTENSIBLE with the PCM subtype; 8, 16, 24 or 32 bits; 1 to
// 32 channels; rate 1 .. 1536000). A PCM tag takes the usual speaker mask of
// its channel count. ACMERR_NOTPOSSIBLE for a format it cannot convert,
// MMSYSERR_INVALFLAG for unknown flags. With ACM_STREAMOPENF_QUERY only the
// answer is given and no stream is made.
uint32_t PCMStreamOpen(std::unique_ptr<TSNPCMConverter>& AStream, const WAVEFORMATEXTENSIBLE& ASource,
                       const WAVEFORMATEXTENSIBLE& ADest, uint32_t AFlags);
// The same from bare headers, which must carry the PCM tag (the extensible
// fields are not there to read): ACMERR_NOTPOSSIBLE for any other tag.
uint32_t PCMStreamOpen(std::unique_ptr<TSNPCMConverter>& AStream, const WAVEFORMATEX& ASource,
                       const WAVEFORMATEX& ADest, uint32_t AFlags);
// The destination size that a source of ALength bytes can need (SOURCE), or
// the source size that fills ALength destination bytes (DESTINATION).
// MMSYSERR_INVALHANDLE without a stream, MMSYSERR_INVALFLAG for other flags,
// MMSYSERR_INVALPARAM for a length of 0, ACMERR_NOTPOSSIBLE when the result
// does not fit 32 bits.
uint32_t PCMStreamSize(const TSNPCMConverter* AStream, uint32_t ALength, uint32_t& AResult, uint32_t AFlags);
uint32_t PCMStreamPrepareHeader(const TSNPCMConverter* AStream, TSNPCMStreamHeader& AHeader);
uint32_t PCMStreamUnprepareHeader(const TSNPCMConverter* AStream, TSNPCMStreamHeader& AHeader);
// Converts the whole source frames of the header (a trailing partial frame is
// left unused). START resets the stream's history first; END drains it after
// the source. Output that does not fit the destination stays in the stream
// for the next call.
uint32_t PCMStreamConvert(TSNPCMConverter* AStream, TSNPCMStreamHeader& AHeader, uint32_t AFlags);

class TSNPCMConverter {
public:
    ~TSNPCMConverter();
    TSNPCMConverter(const TSNPCMConverter&) = delete;
    TSNPCMConverter& operator=(const TSNPCMConverter&) = delete;

    const WAVEFORMATEXTENSIBLE& GetSourceFormat() const { return FSource; }
    const WAVEFORMATEXTENSIBLE& GetDestFormat() const { return FDest; }
    // Frames of output that AFrames of input can give at most.
    uint64_t MaxOutputFrames(uint64_t AFrames) const;
    // Converts AFrames of packed source frames into at most ACapacity packed
    // destination frames; returns the frames written. ASource may be null
    // with AFrames 0 and ADrain set (end of stream).
    uint32_t ConvertFrames(const uint8_t* ASource, uint32_t AFrames, uint8_t* ADest, uint32_t ACapacity,
                           bool ADrain = false);
    // Forgets the history (a new stream).
    void Reset();

private:
    friend uint32_t PCMStreamOpen(std::unique_ptr<TSNPCMConverter>&, const WAVEFORMATEXTENSIBLE&,
                                  const WAVEFORMATEXTENSIBLE&, uint32_t);
    struct TImpl;
    explicit TSNPCMConverter(std::unique_ptr<TImpl> AImpl);

    std::unique_ptr<TImpl> FImpl;
    WAVEFORMATEXTENSIBLE FSource{};
    WAVEFORMATEXTENSIBLE FDest{};
};

SN_API_END
} // namespace Sonorix
