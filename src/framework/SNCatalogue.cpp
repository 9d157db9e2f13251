// SPDX-License-Identifier: MIT
#include "SNCatalogue.h"

#include <array>

namespace Sonorix {

namespace {

using C = TPaletteCategory;

constexpr std::array<TCatalogueEntry, 37> CCatalogue{{
    {"SNAmplifier", "TSNAmplifier", C::pcFilters, "Audio Amplifier"},
    {"SNLowPass", "TSNLowPass", C::pcFilters, "Perform Low Pass Audio Filter"},
    {"SNHighPass", "TSNHighPass", C::pcFilters, "Perform High Pass Audio Filter"},
    {"SNBandPass", "TSNBandPass", C::pcFilters, "Perform Band Pass Audio Filter"},
    {"SNBandStop", "TSNBandStop", C::pcFilters, "Perform Band Stop Audio Filter"},
    {"SNRemoveDC", "TSNRemoveDC", C::pcFilters, "Remove Audio DC Component"},
    {"SNCombFilter", "TSNCombFilter", C::pcFilters, "Perform Comb Filter over Audio Signal"},
    {"SNDelayLine", "TSNDelayLine", C::pcFilters, "Add Audio Delay"},
    {"SNDynamicRangeCompressor", "TSNDynamicRangeCompressor", C::pcFilters, "Audio Dynamic Range Compressor"},
    {"SNGraphicEqualizer", "TSNGraphicEqualizer", C::pcFilters, "Graphic Audio Equalizer"},
    {"SNRepack", "TSNRepack", C::pcFilters, "Repacks the Audio Buffers"},
    {"SNSignalGen", "TSNSignalGen", C::pcGenerators, "Audio Signal Generator( Sine, Triangle, Rectange, DC)"},
    {"SNRandomGen", "TSNRandomGen", C::pcGenerators, "Random Noise Audio Generator"},
    {"SNGaussGen", "TSNGaussGen", C::pcGenerators, "Gaussian Noise Audio Generator"},
    {"SNAudioMixer", "TSNAudioMixer", C::pcMixers, "Audio Mixer"},
    {"SNChannelMerger", "TSNChannelMerger", C::pcMixers, "Audio Channel Merger"},
    {"SNChannelSplitter", "TSNChannelSplitter", C::pcSplitters, "Audio Channels Splitter"},
    {"SNQueuedSwitch", "TSNQueuedSwitch", C::pcMixers, "Queued Audio Channels Switch"},
    {"SNSwitch", "TSNSwitch", C::pcFilters, "On/Off Audio Switch"},
    {"SNRealToAudio", "TSNRealToAudio", C::pcConverters, "Real Signal to Audio Converter"},
    {"SNBufferQueue", "TSNBufferQueue", C::pcFilters, "Audio Buffer Queue"},
    {"SNVUMeter", "TSNVUMeter", C::pcMeasurement, "Audio Volume Unit Meter(VU)"},
    {"SNPPMMeter", "TSNPPMMeter", C::pcMeasurement, "Audio Peek Programme Meter(PPM)"},
    {"SNRMSMeter", "TSNRMSMeter", C::pcMeasurement, "RMS Audio Signal Meter"},
    {"SNSpectrum", "TSNSpectrum", C::pcAnalysis, "Computes Audio Spectrum"},
    {"SNGoniometer", "TSNGoniometer", C::pcFilters, "Audio Goniometer"},
    {"SNSnapshot", "TSNSnapshot", C::pcFilters, "Take Audio Signal Snapshot"},
    {"SNVorbisCompressor", "TSNVorbisCompressor", C::pcCompressors, "Vorbis Audio Compressor"},
    {"SNVorbisDecompressor", "TSNVorbisDecompressor", C::pcDecompressors, "Vorbis Audio Decompressor"},
    {"SNOggLogger", "TSNOggLogger", C::pcLoggers, "Ogg Audio File Logger"},
    {"SNOggPlayer", "TSNOggPlayer", C::pcPlayers, "Ogg Audio File Player"},
    {"SNSpeexCompressor", "TSNSpeexCompressor", C::pcCompressors, "Speex Audio Compressor"},
    {"SNSpeexDecompressor", "TSNSpeexDecompressor", C::pcDecompressors, "Speex Audio Decompressor"},
    {"SNLAVAudioCompressor", "TSNLAVAudioCompressor", C::pcCompressors, "LibAV Audio Compressor"},
    {"SNLAVAudioDecompressor", "TSNLAVAudioDecompressor", C::pcDecompressors, "LibAV Audio Decompressor"},
    {"SNLAVAudioPlayer", "TSNLAVAudioPlayer", C::pcPlayers, "LibAV Audio Player"},
    {"SNLAVAudioLogger", "TSNLAVAudioLogger", C::pcLoggers, "LibAV Audio Logger"},
}};

} // namespace

std::span<const TCatalogueEntry> Catalogue()
{
    return CCatalogue;
}

const TCatalogueEntry& CatalogueEntry(std::string_view AClassName)
{
    for (const TCatalogueEntry& LEntry : CCatalogue)
        if (AClassName == LEntry.ClassName)
            return LEntry;
    throw EAssertionFailed("'" + std::string(AClassName) + "' is not in the component catalogue");
}

void ApplyCatalogue(TClassDescription& AClass, std::string_view AClassName)
{
    const TCatalogueEntry& LEntry = CatalogueEntry(AClassName);
    AClass.ClassName = LEntry.ClassName;
    AClass.Unit = LEntry.Unit;
    AClass.Category = LEntry.Category;
    AClass.DisplayName = LEntry.DisplayName;
}

} // namespace Sonorix
