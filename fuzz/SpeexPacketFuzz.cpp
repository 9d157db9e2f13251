// SPDX-License-Identifier: MIT
// Framed packet streams into the Speex decoder (see FeedFramedPackets).
#include "FuzzPins.h"
#include "SNSpeexDecompressor.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* AData, size_t ASize)
{
    static const int CRates[] = {8000, 16000, 32000, 44100};
    return Sonorix::Fuzz::FeedFramedPackets<Sonorix::TSNSpeexDecompressor>(AData, ASize, CRates);
}
