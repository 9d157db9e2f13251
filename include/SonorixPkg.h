// SPDX-License-Identifier: MIT
// The whole package: every component header, and one call that registers
// every component with the registry.
#pragma once

#include "CVRegistry.h"
#include "SNAmplifier.h"
#include "SNChannelSplitter.h"
#include "SNGoniometer.h"
#include "SNPPMMeter.h"
#include "SNRMSMeter.h"
#include "SNSnapshot.h"
#include "SNSpectrum.h"
#include "SNVUMeter.h"

namespace Sonorix {

// Calls the RegisterPkg of every component unit. Applications that create
// components by class name (stored forms, pipelines) call it once.
inline void RegisterAllComponents()
{
    SNAmplifier::RegisterPkg();
    SNChannelSplitter::RegisterPkg();
    SNVUMeter::RegisterPkg();
    SNPPMMeter::RegisterPkg();
    SNRMSMeter::RegisterPkg();
    SNSpectrum::RegisterPkg();
    SNGoniometer::RegisterPkg();
    SNSnapshot::RegisterPkg();
}

} // namespace Sonorix
