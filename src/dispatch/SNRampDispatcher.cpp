// SPDX-License-Identifier: MIT
// The ramp entry and its binding at load; the kernel is in
// SNDispatcherKernels.cpp beside the other generators.
#include "SNRampDispatcher.h"

#include "SNIppLoader.h"

#include <mutex>

namespace Sonorix {

TPtr_ippsVectorRamp_16s ippsVectorRamp_16s = _px_ippsVectorRamp_16s;

namespace {

std::once_flag GRampBound;

void BindRamp()
{
    if (void* LAddress = SNIppLoader::GetIPPSProcAddress("ippsVectorRamp_16s"))
        ippsVectorRamp_16s = reinterpret_cast<TPtr_ippsVectorRamp_16s>(LAddress);
}

const bool CRampBoundAtLoad = (SNRampDispatcherInit(), true);

} // namespace

void SNRampDispatcherInit()
{
    std::call_once(GRampBound, BindRamp);
}

} // namespace Sonorix
