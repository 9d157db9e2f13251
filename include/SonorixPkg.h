// SPDX-License-Identifier: MIT
// The whole package: every component header, and one call that registers
// every component with the registry.
#pragma once

#include "CVRegistry.h"
#include "SNAmplifier.h"
#include "SNBandPass.h"
#include "SNBandStop.h"
#include "SNCombFilter.h"
#include "SNDelayLine.h"
#include "SNHighPass.h"
#include "SNLowPass.h"
#include "SNRemoveDC.h"

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
}

} // namespace Sonorix
