// SPDX-License-Identifier: MIT
// The package's own catalogue rows: the one place that names every component
// of every area, so it sits above them all, in the package library itself.
#include "SNCatalogueRows.h"

#include "SonorixPkg.h"

#include <array>

namespace Sonorix {

namespace {

using C = TPaletteCategory;

// The libav components live in a module of their own (CMakeLists.txt).
#ifdef SONORIX_LAV_MODULE
constexpr const char* CLAVModule = SONORIX_LAV_MODULE;
#else
constexpr const char* CLAVModule = nullptr;
#endif

constexpr std::array<TCatalogueEntry, 37> CCatalogue{{
    {"SNAmplifier", "TSNAmplifier", C::pcFilters, "Audio Amplifier", &TSNAmplifier::ClassDescription},
    {"SNLowPass", "TSNLowPass", C::pcFilters, "Perform Low Pass Audio Filter", &TSNLowPass::ClassDescription},
    {"SNHighPass", "TSNHighPass", C::pcFilters, "Perform High Pass Audio Filter", &TSNHighPass::ClassDescription},
    {"SNBandPass", "TSNBandPass", C::pcFilters, "Perform Band Pass Audio Filter", &TSNBandPass::ClassDescription},
    {"SNBandStop", "TSNBandStop", C::pcFilters, "Perform Band Stop Audio Filter", &TSNBandStop::ClassDescription},
    {"SNRemoveDC", "TSNRemoveDC", C::pcFilters, "Remove Audio DC Component", &TSNRemoveDC::ClassDescription},
    {"SNCombFilter", "TSNCombFilter", C::pcFilters, "Perform Comb Filter over Audio Signal", &TSNCombFilter::ClassDescription},
    {"SNDelayLine", "TSNDelayLine", C::pcFilters, "Add Audio Delay", &TSNDelayLine::ClassDescription},
    {"SNDynamicRangeCompressor", "TSNDynamicRangeCompressor", C::pcFilters, "Audio Dynamic Range Compressor", &TSNDynamicRangeCompressor::ClassDescription},
    {"SNGraphicEqualizer", "TSNGraphicEqualizer", C::pcFilters, "Graphic Audio Equalizer", &TSNGraphicEqualizer::ClassDescription},
    {"SNRepack", "TSNRepack", C::pcFilters, "Repacks the Audio Buffers", &TSNRepack::ClassDescription},
    {"SNSignalGen", "TSNSignalGen", C::pcGenerators, "Audio Signal Generator( Sine, Triangle, Rectange, DC)", &TSNSignalGen::ClassDescription},
    {"SNRandomGen", "TSNRandomGen", C::pcGenerators, "Random Noise Audio Generator", &TSNRandomGen::ClassDescription},
    {"SNGaussGen", "TSNGaussGen", C::pcGenerators, "Gaussian Noise Audio Generator", &TSNGaussGen::ClassDescription},
    {"SNAudioMixer", "TSNAudioMixer", C::pcMixers, "Audio Mixer", &TSNAudioMixer::ClassDescription},
    {"SNChannelMerger", "TSNChannelMerger", C::pcMixers, "Audio Channel Merger", &TSNChannelMerger::ClassDescription},
    {"SNChannelSplitter", "TSNChannelSplitter", C::pcSplitters, "Audio Channels Splitter", &TSNChannelSplitter::ClassDescription},
    {"SNQueuedSwitch", "TSNQueuedSwitch", C::pcMixers, "Queued Audio Channels Switch", &TSNQueuedSwitch::ClassDescription},
    {"SNSwitch", "TSNSwitch", C::pcFilters, "On/Off Audio Switch", &TSNSwitch::ClassDescription},
    {"SNRealToAudio", "TSNRealToAudio", C::pcConverters, "Real Signal to Audio Converter", &TSNRealToAudio::ClassDescription},
    {"SNBufferQueue", "TSNBufferQueue", C::pcFilters, "Audio Buffer Queue", &TSNBufferQueue::ClassDescription},
    {"SNVUMeter", "TSNVUMeter", C::pcMeasurement, "Audio Volume Unit Meter(VU)", &TSNVUMeter::ClassDescription},
    {"SNPPMMeter", "TSNPPMMeter", C::pcMeasurement, "Audio Peek Programme Meter(PPM)", &TSNPPMMeter::ClassDescription},
    {"SNRMSMeter", "TSNRMSMeter", C::pcMeasurement, "RMS Audio Signal Meter", &TSNRMSMeter::ClassDescription},
    {"SNSpectrum", "TSNSpectrum", C::pcAnalysis, "Computes Audio Spectrum", &TSNSpectrum::ClassDescription},
    {"SNGoniometer", "TSNGoniometer", C::pcFilters, "Audio Goniometer", &TSNGoniometer::ClassDescription},
    {"SNSnapshot", "TSNSnapshot", C::pcFilters, "Take Audio Signal Snapshot", &TSNSnapshot::ClassDescription},
    {"SNVorbisCompressor", "TSNVorbisCompressor", C::pcCompressors, "Vorbis Audio Compressor", &TSNVorbisCompressor::ClassDescription},
    {"SNVorbisDecompressor", "TSNVorbisDecompressor", C::pcDecompressors, "Vorbis Audio Decompressor", &TSNVorbisDecompressor::ClassDescription},
    {"SNOggLogger", "TSNOggLogger", C::pcLoggers, "Ogg Audio File Logger", &TSNOggLogger::ClassDescription},
    {"SNOggPlayer", "TSNOggPlayer", C::pcPlayers, "Ogg Audio File Player", &TSNOggPlayer::ClassDescription},
    {"SNSpeexCompressor", "TSNSpeexCompressor", C::pcCompressors, "Speex Audio Compressor", &TSNSpeexCompressor::ClassDescription},
    {"SNSpeexDecompressor", "TSNSpeexDecompressor", C::pcDecompressors, "Speex Audio Decompressor", &TSNSpeexDecompressor::ClassDescription},
    {"SNLAVAudioCompressor", "TSNLAVAudioCompressor", C::pcCompressors, "LibAV Audio Compressor", nullptr, CLAVModule},
    {"SNLAVAudioDecompressor", "TSNLAVAudioDecompressor", C::pcDecompressors, "LibAV Audio Decompressor", nullptr, CLAVModule},
    {"SNLAVAudioPlayer", "TSNLAVAudioPlayer", C::pcPlayers, "LibAV Audio Player", &TSNLAVAudioPlayer::ClassDescription},
    {"SNLAVAudioLogger", "TSNLAVAudioLogger", C::pcLoggers, "LibAV Audio Logger", &TSNLAVAudioLogger::ClassDescription},
}};

// Before any code of the library's users runs (the library's initialisers
// run before theirs), the rows join the catalogue.
[[maybe_unused]] const bool CInstalled = (InstallPackageCatalogue(CCatalogue), true);

} // namespace

} // namespace Sonorix
