// SPDX-License-Identifier: MIT
// The whole package: every component header, and one call that registers
// every component with the registry.
#pragma once

#include "CVRegistry.h"
#include "SNStoredGraph.h"
#include "SNAmplifier.h"
#include "SNBandPass.h"
#include "SNBandStop.h"
#include "SNCombFilter.h"
#include "SNDelayLine.h"
#include "SNHighPass.h"
#include "SNLowPass.h"
#include "SNRemoveDC.h"
#include "SNChannelSplitter.h"
#include "SNGoniometer.h"
#include "SNPPMMeter.h"
#include "SNRMSMeter.h"
#include "SNSnapshot.h"
#include "SNLAVAudioCompressor.h"
#include "SNLAVAudioDecompressor.h"
#include "SNLAVAudioLogger.h"
#include "SNLAVAudioPlayer.h"
#include "SNGaussGen.h"
#include "SNRandomGen.h"
#include "SNSignalGen.h"
#include "SNAudioMixer.h"
#include "SNChannelMerger.h"
#include "SNSpectrum.h"
#include "SNVUMeter.h"
#include "SNDynamicRangeCompressor.h"
#include "SNGraphicEqualizer.h"
#include "SNRepack.h"
#include "SNOggLogger.h"
#include "SNOggPlayer.h"
#include "SNVorbisCompressor.h"
#include "SNVorbisDecompressor.h"
#include "SNSpeexCompressor.h"
#include "SNSpeexDecompressor.h"
#include "SNSwitch.h"
#include "SNBufferQueue.h"
#include "SNQueuedSwitch.h"
#include "SNRealToAudio.h"

namespace Sonorix {

// Calls the RegisterPkg of every component unit. Applications that create
// components by class name (stored forms, pipelines) call it once.
inline void RegisterAllComponents()
{
    SNAmplifier::RegisterPkg();
    SNLowPass::RegisterPkg();
    SNHighPass::RegisterPkg();
    SNBandPass::RegisterPkg();
    SNBandStop::RegisterPkg();
    SNRemoveDC::RegisterPkg();
    SNCombFilter::RegisterPkg();
    SNDelayLine::RegisterPkg();
    SNChannelSplitter::RegisterPkg();
    SNVUMeter::RegisterPkg();
    SNPPMMeter::RegisterPkg();
    SNRMSMeter::RegisterPkg();
    SNSpectrum::RegisterPkg();
    SNGoniometer::RegisterPkg();
    SNSnapshot::RegisterPkg();
    SNLAVAudioCompressor::RegisterPkg();
    SNLAVAudioDecompressor::RegisterPkg();
    SNLAVAudioPlayer::RegisterPkg();
    SNLAVAudioLogger::RegisterPkg();
    SNSignalGen::RegisterPkg();
    SNRandomGen::RegisterPkg();
    SNGaussGen::RegisterPkg();
    SNAudioMixer::RegisterPkg();
    SNChannelMerger::RegisterPkg();
    SNDynamicRangeCompressor::RegisterPkg();
    SNGraphicEqualizer::RegisterPkg();
    SNRepack::RegisterPkg();
    SNVorbisCompressor::RegisterPkg();
    SNVorbisDecompressor::RegisterPkg();
    SNOggLogger::RegisterPkg();
    SNOggPlayer::RegisterPkg();
    SNSwitch::RegisterPkg();
    SNBufferQueue::RegisterPkg();
    SNQueuedSwitch::RegisterPkg();
    SNRealToAudio::RegisterPkg();
    SNSpeexCompressor::RegisterPkg();
    SNSpeexDecompressor::RegisterPkg();
}

} // namespace Sonorix
