// SPDX-License-Identifier: MIT
// Framed packet streams into the Vorbis decoder (see FeedFramedPackets).
#include "FuzzPins.h"
#include "SNVorbisDecompressor.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* AData, size_t ASize)
{
    static const int CRates[] = {44100, 48000, 22050, 8000};
    return Sonorix::Fuzz::FeedFramedPackets<Sonorix::TSNVorbisDecompressor>(AData, ASize, CRates);
}
