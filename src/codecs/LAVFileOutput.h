// SPDX-License-Identifier: MIT
// The libav logger's local file: an I/O context of our own over a file
// descriptor, so that what reached the disk is known packet by packet.
//
// Every packet is on the disk once the logger has passed it on (nothing
// waits in a buffer), and the sizes in WAV and AIFF headers and the sample
// count of a FLAC STREAMINFO block follow the audio every half second
// of it: a run killed at any moment leaves a file that reads up to at most
// one second before its end. After a failed write (a full disk, a size
// limit) Salvage cuts the file back to the last whole packet and brings the
// headers to that length, so the container stays readable with exactly the
// audio it holds.
#pragma once

#include "SNOutputFile.h"

#include <cstdint>
#include <string>

struct AVIOContext;

namespace Sonorix::LAV {

class TLAVFileOutput {
public:
    TLAVFileOutput() = default;
    TLAVFileOutput(const TLAVFileOutput&) = delete;
    TLAVFileOutput& operator=(const TLAVFileOutput&) = delete;
    ~TLAVFileOutput() { Close(); }

    // Creates AFileName under a temporary name (see TSNOutputFile), for
    // reading too (headers are patched in place); AFormatName is the muxer's name, which
    // tells the headers to keep up to date. 0 or a negative AVERROR.
    int Open(const std::string& AFileName, const char* AFormatName, int ASampleRate);
    // For the muxer (owned here; freed by Close).
    AVIOContext* Context() const { return FContext; }
    // After the muxer took a packet whose end is ASamplesEnd samples into the
    // stream: puts it on the disk and keeps the headers up to date. 0 or the
    // write's negative AVERROR.
    int PacketWritten(int64_t ASamplesEnd);
    // Once the header is on the disk: the file takes its name. 0 or a
    // negative AVERROR.
    int Commit();
    // Whether a write failed.
    bool Failed() const { return FError != 0; }
    // After a failed write, instead of the trailer: the file is cut back to
    // the last whole packet and its headers describe what it holds.
    void Salvage();
    // Flushes and closes; 0 or a negative AVERROR. Safe to call twice.
    int Close();

private:
    enum class TKind { Other, Wav, Aiff, Flac };
    static int WriteCallback(void* AOpaque, uint8_t* ABuffer, int ASize);
    static int64_t SeekCallback(void* AOpaque, int64_t AOffset, int AWhence);
    // Sizes in the headers for a file that ends at AEnd after ASamples.
    void PatchHeaders(int64_t AEnd, int64_t ASamples);
    void PatchWav(int64_t AEnd);
    void PatchAiff(int64_t AEnd);
    void PatchFlac(int64_t ASamples);
    bool ReadAt(int64_t AOffset, uint8_t* AData, size_t ASize) const;
    void WriteAt(int64_t AOffset, const uint8_t* AData, size_t ASize) const;

    TSNOutputFile FFile;
    int FFd = -1;
    AVIOContext* FContext = nullptr;
    TKind FKind = TKind::Other;
    bool FSeekable = false; // A regular file.
    int FSampleRate = 0;
    int64_t FPosition = 0; // Where the next write of the muxer goes.
    int FError = 0;        // The first failed write's AVERROR.
    int64_t FGoodEnd = 0;  // The end of the last whole packet on the disk.
    int64_t FGoodSamples = 0;
    int64_t FPatchedSamples = -1; // -1: the header was not patched yet.
};

} // namespace Sonorix::LAV
