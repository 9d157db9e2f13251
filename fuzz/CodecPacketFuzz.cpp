// SPDX-License-Identifier: MIT
// Packet streams as a decoder receives them from upstream: the first byte
// picks the stream's form (framed, with the codec named by a header packet,
// or the raw elementary stream of a named codec); the rest is cut into
// packets by 16-bit lengths. Errors must come through OnError, never as a
// crash, a hang or unbounded memory.
#include "FuzzPins.h"
#include "SNBasicCompressor.h"
#include "SNLAVAudioDecompressor.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <exception>

using namespace Sonorix;
using Sonorix::Fuzz::TBlockFeeder;
using Sonorix::Fuzz::TFuzzSink;
using Sonorix::Fuzz::TFuzzSource;

namespace {

constexpr std::array<const char*, 7> CCodecs{"flac", "mp3", "libvorbis", "libopus", "aac", "pcm_s16le", "alac"};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* AData, size_t ASize)
{
    if (ASize < 1)
        return 0;
    const uint8_t LMode = AData[0];
    ++AData;
    --ASize;
    TSNLAVAudioDecompressor LDecoder;
    LDecoder.SetOnError([](TPersistent&, const std::string&, uint32_t, bool& AHandled) { AHandled = true; });
    // Raw streams name their codec; framed ones carry it in a header packet.
    if (LMode & 0x80)
        LDecoder.GetAudioCompression().SetCodecName(CCodecs[LMode % CCodecs.size()]);
    TFuzzSource LSource;
    TFuzzSink LSink;
    LSource.Pin.Connect(LDecoder.GetInputPin());
    LDecoder.GetOutputPin().Connect(LSink.Pin);
    TBlockFeeder LFeeder(LSource.Pin);
    try {
        LSource.Pin.Notify(std::make_shared<TPNStartSampleRateOperation>(LMode & 0x40 ? 44100 : 0));
        while (ASize >= 2) {
            const size_t LLength = std::min<size_t>(static_cast<size_t>(AData[0]) | static_cast<size_t>(AData[1]) << 8,
                                                    ASize - 2);
            LFeeder.Feed(AData + 2, LLength);
            AData += 2 + LLength;
            ASize -= 2 + LLength;
        }
        LSource.Pin.Notify(std::make_shared<TPNStopOperation>());
    } catch (const std::exception&) {
        // Errors a handler did not absorb surface as exceptions.
    }
    return 0;
}
