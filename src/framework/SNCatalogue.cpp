// SPDX-License-Identifier: MIT
#include "SNCatalogue.h"

#include "SonorixPkg.h"

#include <algorithm>
#include <array>
#include <mutex>
#include <strings.h>

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
    {"SNLAVAudioLogger", "TSNLAVAudioLogger", C::pcLoggers, "LibAV Audio Logger", nullptr, CLAVModule},
}};

// The package's rows, then the rows that modules added.
struct TRows {
    std::mutex Mutex;
    std::vector<TCatalogueEntry> Rows{CCatalogue.begin(), CCatalogue.end()};

    static TRows& Instance()
    {
        static TRows LRows;
        return LRows;
    }

    TCatalogueEntry* Find(std::string_view AClassName)
    {
        for (TCatalogueEntry& LEntry : Rows)
            if (AClassName.size() == std::strlen(LEntry.ClassName) &&
                strncasecmp(AClassName.data(), LEntry.ClassName, AClassName.size()) == 0)
                return &LEntry;
        return nullptr;
    }
};

} // namespace

std::vector<TCatalogueEntry> Catalogue()
{
    TRows& LRows = TRows::Instance();
    std::lock_guard LGuard(LRows.Mutex);
    return LRows.Rows;
}

TCatalogueEntry CatalogueEntry(std::string_view AClassName)
{
    TRows& LRows = TRows::Instance();
    std::lock_guard LGuard(LRows.Mutex);
    const TCatalogueEntry* LEntry = LRows.Find(AClassName);
    if (!LEntry || AClassName != LEntry->ClassName)
        throw EAssertionFailed("'" + std::string(AClassName) + "' is not in the component catalogue");
    return *LEntry;
}

void ApplyCatalogue(TClassDescription& AClass, std::string_view AClassName)
{
    const TCatalogueEntry LEntry = CatalogueEntry(AClassName);
    AClass.ClassName = LEntry.ClassName;
    AClass.Unit = LEntry.Unit;
    AClass.Category = LEntry.Category;
    AClass.DisplayName = LEntry.DisplayName;
}

void AddCatalogueEntries(const std::vector<TCatalogueEntry>& AEntries, std::string_view AModuleFile)
{
    TRows& LRows = TRows::Instance();
    std::lock_guard LGuard(LRows.Mutex);
    for (size_t I = 0; I < AEntries.size(); ++I) {
        const TCatalogueEntry& LEntry = AEntries[I];
        SNAssert(LEntry.Unit && LEntry.ClassName && LEntry.DisplayName && LEntry.Describe,
                 "a catalogue row needs a unit, a class name, a display name and its description");
        const std::string LName = LEntry.ClassName;
        if (LName.empty())
            throw EAssertionFailed("a catalogue row needs a class name");
        const TCatalogueEntry* LKnown = LRows.Find(LName);
        const bool LReserved = LKnown && !LKnown->Describe && LKnown->Module && AModuleFile == LKnown->Module &&
                               LName == LKnown->ClassName;
        if (LKnown && !LReserved)
            throw EAssertionFailed("class '" + LName + "' is already in the component catalogue");
        for (size_t J = 0; J < I; ++J)
            if (strcasecmp(AEntries[J].ClassName, LEntry.ClassName) == 0)
                throw EAssertionFailed("class '" + LName + "' is named twice");
    }
    for (const TCatalogueEntry& LEntry : AEntries) {
        if (TCatalogueEntry* LReserved = LRows.Find(LEntry.ClassName))
            LReserved->Describe = LEntry.Describe;
        else
            LRows.Rows.push_back(LEntry);
    }
}

void RemoveCatalogueEntries(const std::vector<TCatalogueEntry>& AEntries)
{
    TRows& LRows = TRows::Instance();
    std::lock_guard LGuard(LRows.Mutex);
    for (const TCatalogueEntry& LEntry : AEntries) {
        TCatalogueEntry* LKnown = LRows.Find(LEntry.ClassName);
        if (!LKnown)
            continue;
        if (LKnown->Module)
            LKnown->Describe = nullptr; // a reserved row stays reserved
        else
            LRows.Rows.erase(LRows.Rows.begin() + (LKnown - LRows.Rows.data()));
    }
}

} // namespace Sonorix
