// SPDX-License-Identifier: MIT
// Scalar types, sizes and status codes shared by every vector primitive.
// Kernels take raw pointers and lengths with these types and include nothing
// of the component framework.
#pragma once

#include <cstdint>

namespace Sonorix {

using Ipp8u = uint8_t;
using Ipp8s = int8_t;
using Ipp16s = int16_t;
using Ipp16u = uint16_t;
using Ipp32s = int32_t;
using Ipp32u = uint32_t;
using Ipp32f = float;
using Ipp64f = double;
using IppStatus = int32_t;

// A complex double, real part first (the layout of std::complex<double>).
struct Ipp64fc {
    double re;
    double im;
};

// A region of interest: width elements per row, height rows.
struct IppiSize {
    int32_t width;
    int32_t height;
};

// Float-to-integer rounding of the convert primitives.
enum IppRoundMode : int32_t {
    ippRndZero = 0,
    ippRndNear = 1,
};

enum IppHintAlgorithm : int32_t {
    ippAlgHintNone = 0,
    ippAlgHintFast = 1,
    ippAlgHintAccurate = 2,
};

constexpr IppStatus ippStsNoErr = 0;
constexpr IppStatus ippStsSizeErr = -6;
constexpr IppStatus ippStsRangeErr = -7;
constexpr IppStatus ippStsNullPtrErr = -8;
constexpr IppStatus ippStsMemAllocErr = -9;
constexpr IppStatus ippStsDivByZeroErr = -10;
constexpr IppStatus ippStsStepErr = -14;
constexpr IppStatus ippStsFftOrderErr = -15;
constexpr IppStatus ippStsFftFlagErr = -16;
constexpr IppStatus ippStsContextMatchErr = -17;
constexpr IppStatus ippStsThresholdErr = -18;
constexpr IppStatus ippStsIIROrderErr = -25;
constexpr IppStatus ippStsSamplePhaseErr = -30;
constexpr IppStatus ippStsSampleFactorErr = -31;
constexpr IppStatus ippStsTrnglAsymErr = -40;
constexpr IppStatus ippStsTrnglPhaseErr = -41;
constexpr IppStatus ippStsTrnglFreqErr = -42;
constexpr IppStatus ippStsTrnglMagnErr = -43;
constexpr IppStatus ippStsTonePhaseErr = -44;
constexpr IppStatus ippStsToneFreqErr = -45;
constexpr IppStatus ippStsToneMagnErr = -46;
// ippsPeriodicityLSPE_32f: the vector is too short for maxPeriod, longer than
// 1024, or longer than 16 x minPeriod. IPP gives this code no name.
constexpr IppStatus SNStsPeriodicityLenErr = -119;

} // namespace Sonorix
