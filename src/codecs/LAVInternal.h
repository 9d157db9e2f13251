// SPDX-License-Identifier: MIT
// libav headers and the sample conversions between the package's interleaved
// integer PCM and libav's sample formats. Internal to the libav components.
#pragma once

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/channel_layout.h>
#include <libavutil/opt.h>
#include <libavutil/samplefmt.h>
}

#include "SNExport.h"
#include "SNTypes.h"

#include <cstdint>
#include <string>

namespace Sonorix::LAV {

// Copies AFrames frames, starting at frame AFirst, of AData (planes of
// AFormat, AChannels channels) into ADest as interleaved integer PCM of ABits
// (8, 16, 24 or 32). Integer samples are shifted to the width (exact when
// widening; narrowing keeps the high bits); float samples are scaled by 128,
// 32768, 8388608 or 2147483647, rounded to nearest and saturated.
void InterleaveSamples(const uint8_t* const* AData, AVSampleFormat AFormat, int AChannels, int AFirst, int AFrames,
                       unsigned ABits, uint8_t* ADest);
// Whether AFormat stores samples exactly as a buffer of ABits does
// (interleaved, same width and signedness), so a block copy converts.
bool SameLayout(AVSampleFormat AFormat, unsigned ABits);

// Writes AFrames interleaved integer frames of ABits from ASrc into ADest
// (planes of AFormat) at frame ADestOffset. Integer formats get the sample
// shifted to their width; float formats get s / 2^(bits-1) (8-bit: (u-128)/128).
void DeinterleaveSamples(const uint8_t* ASrc, unsigned ABits, int AChannels, int AFrames, AVSampleFormat AFormat,
                         uint8_t* const* ADest, int ADestOffset);

// The sample format of ACodec that keeps ABits-wide samples best: the same or
// a wider integer format first, then float, then narrower integers.
AVSampleFormat ChooseSampleFormat(const AVCodec* ACodec, unsigned ABits);

// The width the player delivers a format in: 8, 16, 24 (32-bit samples that
// carry 24 bits) or 32 (wider integers and every float format).
unsigned NaturalBits(AVSampleFormat AFormat, int ABitsPerRawSample);

// Channel layout for a speaker mask (the masks share their bit positions);
// the default order for the count when the mask does not fit it. In the
// package library (the Vorbis decompressor uses it too), exported for the
// libav module.
SN_API void LayoutFromMask(AVChannelLayout& ALayout, uint32_t AMask, unsigned AChannels);
// The speaker mask of a layout; the usual mask when it has no native order.
uint32_t MaskFromLayout(const AVChannelLayout& ALayout);

// Options that let libavformat open local files and pipes only: a file name
// from pipeline text or a stored graph never reaches the network or, through
// concat: or subfile:, other files. The caller frees the dictionary.
AVDictionary* LocalOnlyOptions();
// The protocol libavformat would use for AName when it is neither a local
// file nor a pipe; empty otherwise.
std::string RefusedProtocol(const std::string& AName);

// Whether an AVCodecID is one of the PCM codecs.
bool IsPcmCodec(AVCodecID AId);
// The PCM codec of ABits in the byte order and 8-bit signedness of AModel
// (a PCM codec): for a WAV default of pcm_s16le and 24 bits, pcm_s24le.
AVCodecID PcmCodecForWidth(AVCodecID AModel, unsigned ABits);

} // namespace Sonorix::LAV
