// SPDX-License-Identifier: MIT
// The whole package: every component header, and one call that registers
// every component with the registry.
#pragma once

#include "CVRegistry.h"
#include "SNAmplifier.h"
#include "SNAudioMixer.h"
#include "SNChannelMerger.h"

namespace Sonorix {

// Calls the RegisterPkg of every component unit. Applications that create
// components by class name (stored forms, pipelines) call it once.
inline void RegisterAllComponents()
{
    SNAmplifier::RegisterPkg();
    SNAudioMixer::RegisterPkg();
    SNChannelMerger::RegisterPkg();
}

} // namespace Sonorix
