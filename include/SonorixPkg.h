// SPDX-License-Identifier: MIT
// The whole package: every component header, and one call that registers
// every component with the registry. The libav components (SNLAV*.h) are
// in the library SonorixLAV: code that uses them by type links it.
#pragma once

#include "SNExport.h"

#include "CVRegistry.h"
#include "SNStoredGraph.h"
#include "SNModule.h"
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
SN_API_BEGIN

// Registers every component of the catalogue (SNCatalogue.h): the package's
// own, the libav components by name (their module loads on first use), and
// the rows that loaded modules added. Applications that create components by
// class name (stored forms, pipelines) call it once.
inline void RegisterAllComponents()
{
    TSNRegistry::Instance().RegisterCatalogue();
}

SN_API_END
} // namespace Sonorix
