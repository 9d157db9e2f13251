// SPDX-License-Identifier: MIT
// Rounding of decoded float samples to integers, inline instead of a library
// call per sample.
#pragma once

#include <algorithm>
#include <cmath>
#include <cstddef>
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

// Float samples in the 16-bit scale to 16-bit integers: clamped, rounded as
// RoundToInt does, and the low 16 bits kept, as the scalar loop at the end
// does, eight at a time on SSE2 with the same results (a NaN, kept by the
// clamp, rounds to INT32_MIN and so gives 0 in both).
inline void FloatsToInt16(const float* ASource, int16_t* ADest, size_t ACount)
{
    size_t i = 0;
#if defined(__SSE2__)
    const __m128 LLow = _mm_set1_ps(-32768.0f);
    const __m128 LHigh = _mm_set1_ps(32767.0f);
    const auto LRound = [&](const float* AFrom) {
        // The bound first: a NaN operand gives the second operand, the NaN.
        const __m128 LClamped = _mm_min_ps(LHigh, _mm_max_ps(LLow, _mm_loadu_ps(AFrom)));
        return _mm_srai_epi32(_mm_slli_epi32(_mm_cvtps_epi32(LClamped), 16), 16);
    };
    for (; i + 8 <= ACount; i += 8)
        _mm_storeu_si128(reinterpret_cast<__m128i*>(ADest + i),
                         _mm_packs_epi32(LRound(ASource + i), LRound(ASource + i + 4)));
#endif
    for (; i < ACount; ++i)
        ADest[i] = static_cast<int16_t>(RoundToInt(std::clamp(ASource[i], -32768.0f, 32767.0f)));
}

} // namespace Sonorix
