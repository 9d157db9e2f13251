// SPDX-License-Identifier: MIT
// WAV files for the tool: a streaming writer of integer PCM (8/16/24/32 bits,
// 1..32 channels) and a small reader for checks and tests.
//
//   TWavWriter W("out.wav", Format);  // Format: WAVEFORMATEXTENSIBLE
//   W.Write(Frames, Bytes);            // whole frames, interleaved
//   W.Close();                         // or let the destructor do it
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "SNTypes.h"

namespace Sonorix::Cli {

// A WAV file that cannot be written or read as one.
class EWavError : public Sonorix::EDGException {
public:
    using EDGException::EDGException;
};

// Writes the header at once and keeps it valid: sizes are patched by Flush()
// and Close(), so after a crash the file holds what the last Flush() saw.
// The header is plain WAVE_FORMAT_PCM for 1-2 channels of 8 or 16 bits with
// the usual speaker mask, WAVE_FORMAT_EXTENSIBLE otherwise. Not thread-safe.
class TWavWriter {
public:
    // Uses channels, rate, bits, and for WAVE_FORMAT_EXTENSIBLE the valid bits
    // and mask (0 means the usual one); block align and byte rate are derived.
    // Throws EFOpenError "Cannot create <path>.: <reason>", EWavError for a
    // format it cannot write.
    TWavWriter(const std::string& APath, const WAVEFORMATEXTENSIBLE& AFormat);
    ~TWavWriter();
    TWavWriter(const TWavWriter&) = delete;
    TWavWriter& operator=(const TWavWriter&) = delete;

    // Appends interleaved little-endian samples; ABytes must be whole frames.
    // Throws EWavError when the data would pass the format's 4 GiB limit
    // (nothing of this call is written), or on a failed write: then the file
    // keeps the whole frames that reached it and DataBytes() says how many.
    void Write(const void* AData, size_t ABytes);

    // Patches the sizes into the header and syncs the file to disk. Not for
    // signal handlers: call it from the thread that writes.
    void Flush();

    // Final sizes and close; idempotent. Throws EWavError when the file could
    // not be completed (the destructor swallows that).
    void Close();

    // Lowers the data size limit below the format's own (tests, size caps).
    void SetDataLimit(uint64_t ABytes);

    const std::string& Path() const noexcept { return FPath; }
    uint64_t DataBytes() const noexcept { return FDataBytes; }
    uint64_t Frames() const noexcept { return FDataBytes / FBlockAlign; }
    bool Extensible() const noexcept { return FExtensible; }

private:
    void WriteAt(uint64_t AOffset, const void* AData, size_t ABytes);
    void FlushBuffer();
    void PatchSizes(uint64_t ARiffTail);
    [[noreturn]] void FailIo(const char* AWhat, int AErrno);

    std::string FPath;
    int FFd = -1;
    bool FExtensible = false;
    unsigned FBlockAlign = 1;
    uint32_t FHeaderBytes = 0;  // everything before the data bytes
    uint64_t FDataBytes = 0;    // accepted by Write()
    uint64_t FDiskBytes = 0;    // of those, handed to the kernel
    uint64_t FDataLimit = 0;
    bool FWriteFailed = false;  // bytes may lie past the data; trimmed on close
    std::vector<uint8_t> FBuffer;
};

// A whole WAV file in memory. Accepts integer PCM as plain or EXTENSIBLE
// format, skips chunks it does not know; every size is checked against the
// file, so a damaged file raises EWavError and never a huge allocation.
class TWavReader {
public:
    explicit TWavReader(const std::string& APath);

    // The format as found; a plain PCM header reads as wFormatTag
    // WAVE_FORMAT_PCM with valid bits = bits, mask 0 and the PCM subformat.
    const WAVEFORMATEXTENSIBLE& Format() const noexcept { return FFormat; }
    unsigned Channels() const noexcept { return FFormat.Format.nChannels; }
    unsigned BitsPerSample() const noexcept { return FFormat.Format.wBitsPerSample; }
    uint32_t SampleRate() const noexcept { return FFormat.Format.nSamplesPerSec; }
    size_t Frames() const noexcept { return FData.size() / FFormat.Format.nBlockAlign; }

    // The data chunk's bytes, interleaved as stored.
    const std::vector<uint8_t>& Data() const noexcept { return FData; }

    // Every sample as a signed value at its own width (8-bit data, stored
    // unsigned, comes back as -128..127), interleaved.
    std::vector<int32_t> Samples() const;

private:
    WAVEFORMATEXTENSIBLE FFormat{};
    std::vector<uint8_t> FData;
};

} // namespace Sonorix::Cli
