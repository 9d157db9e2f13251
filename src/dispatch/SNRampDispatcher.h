// SPDX-License-Identifier: MIT
// The ramp entry of the vector-primitive table, bound like the entries of
// SNDispatcher.h: to IPP's ippsVectorRamp_16s when an IPP signal library
// provides it, else to the portable kernel.
//
//   Sonorix::Ipp16s LRamp[64];
//   Sonorix::ippsVectorRamp_16s(LRamp, 64, -1000.0f, 31.25f); // -1000, -968.75 -> -969, ...
#pragma once

#include "SNIppTypes.h"

namespace Sonorix {

// dst[n] = saturate16(round(offset + slope n)), halves away from zero.
using TPtr_ippsVectorRamp_16s = IppStatus (*)(Ipp16s* pDst, int len, float offset, float slope);

extern TPtr_ippsVectorRamp_16s ippsVectorRamp_16s;

IppStatus _px_ippsVectorRamp_16s(Ipp16s* pDst, int len, float offset, float slope);

// Binds ippsVectorRamp_16s once; the library's static initialiser calls it.
void SNRampDispatcherInit();

} // namespace Sonorix
