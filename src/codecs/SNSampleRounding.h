// SPDX-License-Identifier: MIT
// Rounding of decoded float samples to integers, inline instead of a library
// call per sample.
#pragma once

#include <cmath>
#include <cstdint>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace Sonorix {

// Round to nearest, ties to even (the default rounding mode), as
// std::nearbyint does. Values outside the int32 range give INT32_MIN on SSE2:
// callers clamp first.
inline int32_t RoundToInt(float AValue)
{
#if defined(__SSE2__)
    return _mm_cvtss_si32(_mm_set_ss(AValue));
#else
    return static_cast<int32_t>(std::nearbyint(AValue));
#endif
}

inline int32_t RoundToInt(double AValue)
{
#if defined(__SSE2__)
    return _mm_cvtsd_si32(_mm_set_sd(AValue));
#else
    return static_cast<int32_t>(std::nearbyint(AValue));
#endif
}

} // namespace Sonorix
