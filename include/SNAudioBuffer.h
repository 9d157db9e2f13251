// SPDX-License-Identifier: MIT
// The audio buffer: interleaved integer PCM samples of one format, passed
// between components by std::shared_ptr.
//
// Sample formats: 8, 16, 24 or 32 bits, 1 to 32 channels, little-endian,
// packed (block align = channels * bytes per sample). 16, 24 and 32-bit
// samples are signed; 8-bit samples are unsigned with 128 as zero, and every
// operation of the buffer keeps that convention: Zero and Resize fill with
// 128, Add sums the offsets away (a + b - 128), MultiplyByReal scales around
// 128, CopyTo removes and restores the offset.
//
// Arithmetic saturates at the width's limits (0..255, -32768..32767,
// -8388608..8388607, INT32_MIN..INT32_MAX) and MultiplyByReal rounds to
// nearest with ties to even (3 * 0.5 -> 2, 5 * 0.5 -> 2, -3 * 0.5 -> -2).
//
// A buffer is not synchronised: one thread at a time, or the owner's lock.
//
//   auto LBuffer = Sonorix::TSNAudioBuffer::CreateSize(48000, 16, 2, 1024);
//   LBuffer->MultiplyByReal(0.5);
//   LBuffer->CopyTo(0, *LMono8Bit, 0, LBuffer->GetSize());
#pragma once

#include "SNExport.h"

#include "DGBuffers.h"
#include "SNTypes.h"

#include <cstddef>
#include <cstdint>
#include <memory>

namespace Sonorix {
SN_API_BEGIN

class ISNAudioBuffer;
using ISNAudioBufferPtr = std::shared_ptr<ISNAudioBuffer>;

class ISNAudioBuffer {
public:
    virtual ~ISNAudioBuffer() = default;

    // Number of sample frames (one sample per channel).
    virtual uint32_t GetSize() const = 0;
    virtual uint32_t GetChannels() const = 0;
    virtual uint32_t GetBitsPerSample() const = 0;
    virtual uint32_t GetSamplesPerSecond() const = 0;
    virtual uint32_t GetChannelMask() const = 0;
    // WAVE_FORMAT_EXTENSIBLE, PCM, every derived field filled in.
    virtual WAVEFORMATEXTENSIBLE GetWaveFormat() const = 0;

    // The first sample. Pointers stay valid until Resize or Assign.
    virtual const void* Read() const = 0;
    virtual void* Modify() = 0;
    virtual const uint8_t* ByteRead() const = 0;
    virtual uint8_t* ByteWrite() = 0;
    // GetSize() * GetDataStep().
    virtual size_t GetByteSize() const = 0;
    // Bytes per frame (block align).
    virtual uint32_t GetDataStep() const = 0;

    // The stored value of one sample: 0..255 as stored for 8-bit, sign-extended
    // for the other widths. std::out_of_range outside the buffer.
    virtual int32_t GetItem(uint32_t AFrame, uint32_t AChannel) const = 0;

    // Copies ACount frames from frame ASourceOffset of this buffer to frame
    // ADestOffset of ADest, converting to ADest's format (ADest keeps its
    // format and sample rate; frames outside the range are untouched).
    //
    // Width: the sample is shifted to the destination width. Widening shifts
    // left (low bits zero: 16-bit 1 -> 24-bit 256); narrowing keeps the high
    // bits with an arithmetic right shift, that is rounds toward minus
    // infinity (16-bit -1 -> 8-bit -1, stored as 127). 8-bit samples have 128
    // removed before and added after.
    //
    // Channels, when the counts differ:
    //   - a mono source is duplicated into every destination channel;
    //   - a mono destination takes the mean of all source channels, at the
    //     destination width, rounded toward minus infinity;
    //   - otherwise destination channel c takes source channel c; channels
    //     the source lacks are silent, surplus source channels are dropped.
    //
    // std::out_of_range when either range passes the end of its buffer.
    // ADest may be this buffer (overlapping ranges are copied as by memmove).
    virtual void CopyTo(uint32_t ASourceOffset, ISNAudioBuffer& ADest, uint32_t ADestOffset,
                        uint32_t ACount) const = 0;
    // Takes ASource's format and a copy of its samples.
    virtual void Assign(const ISNAudioBuffer& ASource) = 0;
    // Adds AOther sample by sample, saturating, over the frames both have.
    // Widths and channel counts must match (EAssertionFailed naming both
    // formats); the sample rate is not compared.
    virtual void Add(const ISNAudioBuffer& AOther) = 0;
    // Every sample multiplied in place by AValue (rounded, saturated).
    virtual void MultiplyByReal(double AValue) = 0;
    // Silence: 128 for 8-bit, 0 otherwise.
    virtual void Zero() = 0;
    // New frame count; the leading frames are kept, new frames are silent.
    virtual void Resize(uint32_t AFrames) = 0;
    // Whether no other object (a view made by CreateUniversal, the block's
    // maker) shares the samples' memory.
    virtual bool OwnsSamplesAlone() const = 0;
};

class TSNAudioBuffer final : public ISNAudioBuffer {
    struct TPrivate {};

public:
    // Silent buffers. Bits must be 8, 16, 24 or 32 and channels 1..32, else
    // EAssertionFailed naming the value. A channel mask of 0 means the usual
    // one for the channel count.
    static ISNAudioBufferPtr CreateSize(uint32_t ASampleRate, uint32_t ABits, uint32_t AChannels, uint32_t AFrames);
    static ISNAudioBufferPtr CreateSizeEx(uint32_t ASampleRate, uint32_t ABits, uint32_t AChannels, uint32_t AFrames,
                                          uint32_t AChannelMask);
    // Integer PCM formats only (WAVE_FORMAT_PCM, or WAVE_FORMAT_EXTENSIBLE not
    // of float subtype); nBlockAlign, when not 0, must be the packed size.
    static ISNAudioBufferPtr CreateWaveFormat(const WAVEFORMATEXTENSIBLE& AFormat, uint32_t AFrames);
    // An independent copy of format and samples.
    static ISNAudioBufferPtr CreateCopy(const ISNAudioBuffer& ASource);
    // A view of AData's interleaved bytes, without copying: writes through the
    // buffer change AData and the other way round. Frames = bytes / block
    // align, followed live (a trailing partial frame is ignored). Resize and
    // Assign resize AData itself.
    static ISNAudioBufferPtr CreateUniversal(const WAVEFORMATEXTENSIBLE& AFormat, IDGBlockBufferPtr AData);
    // Copy on write: ABuffer itself when the reference passed is the only one
    // to it and to its samples (the caller may then write without anyone else
    // seeing it), else an independent copy.
    static ISNAudioBufferPtr MakeWritable(const ISNAudioBufferPtr& ABuffer);
    // Whether AOwner's reference is the only one, counting synchronised with
    // the other holders' releases: whatever they did with the object before
    // letting it go happens before the caller's writes.
    template <class T>
    static bool IsSoleReference(const std::shared_ptr<T>& AOwner)
    {
        if (AOwner.use_count() != 1)
            return false;
        // use_count() is a relaxed load; the count's read-modify-write of a
        // copy acquires what the last releasing holder did.
        const std::shared_ptr<T> LSync = AOwner;
        return true;
    }

    TSNAudioBuffer(TPrivate, uint32_t ASampleRate, uint32_t ABits, uint32_t AChannels, uint32_t AChannelMask,
                   IDGBlockBufferPtr AData);

    uint32_t GetSize() const override;
    uint32_t GetChannels() const override;
    uint32_t GetBitsPerSample() const override;
    uint32_t GetSamplesPerSecond() const override;
    uint32_t GetChannelMask() const override;
    WAVEFORMATEXTENSIBLE GetWaveFormat() const override;
    const void* Read() const override;
    void* Modify() override;
    const uint8_t* ByteRead() const override;
    uint8_t* ByteWrite() override;
    size_t GetByteSize() const override;
    uint32_t GetDataStep() const override;
    int32_t GetItem(uint32_t AFrame, uint32_t AChannel) const override;
    void CopyTo(uint32_t ASourceOffset, ISNAudioBuffer& ADest, uint32_t ADestOffset, uint32_t ACount) const override;
    void Assign(const ISNAudioBuffer& ASource) override;
    void Add(const ISNAudioBuffer& AOther) override;
    void MultiplyByReal(double AValue) override;
    void Zero() override;
    void Resize(uint32_t AFrames) override;
    bool OwnsSamplesAlone() const override;

private:
    // Fills frames [AFirst, GetSize()) with silence.
    void FillSilence(uint32_t AFirst);

    uint32_t FSampleRate;
    uint32_t FBits;
    uint32_t FChannels;
    uint32_t FChannelMask;
    IDGBlockBufferPtr FData;
};

SN_API_END
} // namespace Sonorix
