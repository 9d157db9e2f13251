// SPDX-License-Identifier: MIT
// Helpers of the libav component tests: a temporary folder, the external
// ffmpeg/ffprobe tools, a feeder that pushes a signal into an input pin, and
// runners for the player.
#pragma once

#include "CVThreading.h"
#include "DGClock.h"
#include "PNPins.h"
#include "SNAudioBuffer.h"
#include "SNBasicCompressor.h"
#include "SNLAVAudioPlayer.h"
#include "SNOggCodec.h"
#include "TestComponents.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <filesystem>
#include <string>
#include <utility>
#include <vector>

// A namespace of its own: other test kits have helpers of the same names.
namespace Sonorix::Test::Codecs {

// A fresh folder under the system's temporary folder, removed afterwards.
class TTempDir {
public:
    TTempDir();
    ~TTempDir();
    std::string Path(const std::string& AName) const { return (FPath / AName).string(); }

private:
    std::filesystem::path FPath;
};

struct TShellResult {
    int ExitCode;
    std::string Output;
};
// Runs a shell command, standard error folded into the output.
TShellResult Shell(const std::string& ACommand);
bool HaveFfmpeg();
std::string Quote(const std::string& AText);
std::string ReadFile(const std::string& APath);
// The 16-bit samples of a WAV file's data chunk.
std::vector<int16_t> WavSamples(const std::string& AFile);
// `sonorix run OPTIONS 'PIPELINE'` through the shell.
TShellResult Tool(const std::string& APipeline, const std::string& AOptions = "--quiet");

// A test in a folder of its own that runs the Debian tools ANeeds names
// (scripts/install-deps.sh installs them); skipped when one is missing.
class TInteropTest : public ::testing::Test {
protected:
    explicit TInteropTest(std::string ANeeds = "") : FNeeds("ffmpeg ffprobe " + ANeeds) {}
    void SetUp() override
    {
        if (Shell("for T in " + FNeeds + "; do command -v $T || exit 1; done").ExitCode != 0)
            GTEST_SKIP() << "not installed, one of: " << FNeeds;
    }
    TTempDir FDir;
    std::string FNeeds;
};

// What ffprobe says of the first audio stream.
struct TProbe {
    bool Ok = false;
    std::string Codec;
    int SampleRate = 0;
    int Channels = 0;
    double Duration = 0;
    int BitsPerRawSample = 0;
};
TProbe Probe(const std::string& AFile);

// The file decoded by ffmpeg as interleaved 32-bit samples (integers at the top).
std::vector<int32_t> DecodeWithFfmpeg(const std::string& AFile);

// A test signal: channel c is a sine of 300 + 200 c Hz at half full scale,
// with a low-level ramp so that the lowest bits change too. The value is
// aligned to 32 bits; Narrow gives it at a width.
int32_t SignalAligned(uint64_t AFrame, unsigned AChannel, unsigned ARate);
int32_t Narrow(int32_t AAligned, unsigned ABits);
// Frames [AFirst, AFirst + AFrames) of the signal as a buffer.
ISNAudioBufferPtr SignalBuffer(const WAVEFORMATEXTENSIBLE& AFormat, uint64_t AFirst, uint32_t AFrames);
// The samples of buffers as 32-bit aligned values, interleaved.
std::vector<int32_t> AlignedSamples(const std::vector<ISNAudioBufferPtr>& ABuffers);
// How many of AFrames of interleaved aligned samples differ from the signal at ABits.
size_t SignalMismatches(const std::vector<int32_t>& ASamples, uint64_t AFrames, unsigned AChannels,
                        unsigned ABits, unsigned ARate);

// The class description of the test components below: a name, nothing published.
const TClassDescription& KitClassDescription();

// Pushes a stream into an audio input pin on the calling thread.
class TFeeder : public TPersistent {
public:
    TFeeder() : FOutputPin(this, "OutputPin") {}
    static const TClassDescription& ClassDescription() { return KitClassDescription(); }
    const TClassDescription& GetClassDescription() const override { return ClassDescription(); }
    TSNPNAudioSourcePin& GetOutputPin() { return FOutputPin; }
    // Start, the signal in buffers of AChunk frames, stop.
    void Play(const WAVEFORMATEXTENSIBLE& AFormat, uint64_t AFrames, uint32_t AChunk, bool AStop = true);

private:
    TSNPNAudioSourcePin FOutputPin;
};

// Connects each component's output pin to the next one's input pin.
template <class TFrom, class TTo, class... TRest>
void Chain(TFrom& AFrom, TTo& ATo, TRest&... ARest)
{
    AFrom.GetOutputPin().Connect(ATo.GetInputPin());
    if constexpr (sizeof...(TRest) > 0)
        Chain(ATo, ARest...);
}

// Records what reaches a binary input: the operations by name, the packet
// blocks, the headers and payloads of the framed ones, and all bytes in a row.
class TPacketCollector : public TPersistent {
public:
    TPacketCollector();
    static const TClassDescription& ClassDescription() { return KitClassDescription(); }
    const TClassDescription& GetClassDescription() const override { return ClassDescription(); }
    TDGPNBinarySinkPin FInputPin;
    TDGPNBinarySinkPin& GetInputPin() { return FInputPin; }
    std::vector<std::string> Log;
    std::vector<IDGBlockBufferPtr> Packets;
    std::vector<TSNCodecPacketHeader> Headers;
    std::vector<std::vector<uint8_t>> Data;
    std::vector<uint8_t> Stream;
    double Rate = -1;
    int Stops = 0;
};

// A start, AStream in blocks of AChunk bytes (0: a framed packet each), a stop.
void FeedStream(TDGPNBinarySinkPin& AInput, const std::vector<uint8_t>& AStream, size_t AChunk);

// Records OnError (handled when asked) and OnWarning ("message: detail") calls.
struct TErrorLog {
    std::vector<std::string> Messages;
    std::vector<std::string> Details;
    std::vector<std::string> Warnings;
    bool Handle = true;
    template <class C>
    void Attach(C& AComponent)
    {
        AComponent.SetOnError([this, &AComponent](TPersistent&, const std::string& AMessage, uint32_t, bool& AHandled) {
            Messages.push_back(AMessage);
            Details.push_back(AComponent.GetErrorDetail());
            AHandled = Handle;
        });
        AComponent.SetOnWarning([this](TPersistent&, const std::string& AMessage, const std::string& ADetail) {
            Warnings.push_back(AMessage + ": " + ADetail);
        });
    }
    std::string Text() const
    {
        std::string LText;
        for (size_t I = 0; I < Messages.size(); ++I)
            LText += Messages[I] + " (" + Details[I] + ")\n";
        return LText;
    }
};

// Plays a file to the end through a collector in virtual time.
struct TPlayResult {
    bool Opened = false;
    WAVEFORMATEXTENSIBLE Format{};
    std::vector<ISNAudioBufferPtr> Buffers;
    uint64_t Frames = 0;
    int Stops = 0;
    std::string Exception;
};
TPlayResult PlayFile(TSNLAVAudioPlayer& APlayer);

// Goertzel power of AFrequency in one channel of interleaved aligned samples,
// normalised to full scale.
double ToneLevel(const std::vector<int32_t>& ASamples, unsigned AChannels, unsigned AChannel, double AFrequency,
                 double ARate);
// The middle half of interleaved samples (away from codec priming and padding).
std::vector<int32_t> MiddleHalf(const std::vector<int32_t>& ASamples, unsigned AChannels);
// What a lossy codec keeps of the signal: in the middle half, each channel's
// own tone at about half full scale, its neighbour's far below, and no more
// power than the tone's.
void ExpectSignalTones(const std::vector<int32_t>& ASamples, unsigned AChannels, double ARate,
                       double ATolerance = 0.06);

// A binding's probe ("vorbis" or "speex") on a copy of the library without the
// wrapper, which it then copies in; then with AIncomplete (lacking an export) in its place.
std::pair<std::string, std::string> RunBindingProbe(const std::string& ABinding, const std::string& ALibrary,
                                                    const std::string& AWrapper, const std::string& AIncomplete);

} // namespace Sonorix::Test::Codecs

namespace Sonorix::Test {
using namespace Codecs;
}
