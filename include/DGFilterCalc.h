// SPDX-License-Identifier: MIT
// Filter design: windowed-sinc FIR filters and Bessel, Butterworth and
// Chebyshev IIR filters, as low pass, high pass, band pass or band stop.
//
// DGFilterCalc returns the taps in the layout the filter core builds its
// states from:
//   ftFIR        Order coefficients h[0] .. h[Order-1] (linear phase);
//   ftIIR        b0..bN followed by a0..aN (a0 = 1), N the filter order;
//   ftBiquadIIR  six values per section: b0, b1, b2, a0, a1, a2 (a0 = 1);
//                a first-order section has b2 = a2 = 0.
//
// FIR designs follow the window method: the ideal response of the band is
// sampled around the centre tap, multiplied by the window, and scaled to a
// gain of exactly 1 in the middle of the pass band (at 0 Hz for low pass and
// band stop, at half the sample rate for high pass, at the centre of the band
// for band pass). The windows are the symmetric forms (zero at both ends for
// Bartlett, Hanning and Blackman); the Kaiser window takes
// beta = Alpha * (Order - 1) / 2, so the designer's range of Alpha (0 .. 1)
// spans the useful shapes at every order.
//
// IIR designs are analog prototypes (Bessel normalised so that the phase
// passes its midpoint at the corner, Butterworth, Chebyshev type I with Alpha
// dB of pass-band ripple) moved to the requested band and mapped with the
// bilinear transform, the edges pre-warped. Order is the order of the
// prototype: band pass and band stop filters are of order 2 * Order.
//
// Arguments from outside are never trusted: edges are brought into
// (0, SampleRate / 2), a sample rate of 0 or less designs a filter that
// passes its band as if the edges were at half the rate, orders are limited
// to 1 .. MaxFIROrder taps for FIR and 1 .. MaxIIROrder for IIR prototypes.
//
//   auto LInfo = DGFilterCalc(ftFIR, dfLowPass, 101, 1000.0, -1.0, 44100.0, wtHamming, iirBessel, 1.0);
//   std::vector<double> LTaps = LInfo->GetTaps();            // 101 taps
//   double LGain = std::abs(LInfo->GetResponse(5000.0));      // < 0.01
#pragma once

#include "SNExport.h"

#include "CVPersistent.h"

#include <complex>
#include <cstdint>
#include <memory>
#include <vector>

namespace Sonorix {
SN_API_BEGIN

enum TDGFilterType : int32_t { ftFIR, ftIIR, ftBiquadIIR };
enum TDGWindowType : int32_t { wtRect, wtBartlett, wtBlackman, wtHamming, wtHanning, wtKaiser };
enum TDGIIRFilterType : int32_t { iirBessel, iirButterworth, iirChebyshev };
enum TDGDesignFilterType : int32_t { dfLowPass = 0, dfHighPass = 1, dfBandPass = 2, dfBandStop = 3 };

extern const TEnumInfo TDGFilterTypeInfo;
extern const TEnumInfo TDGWindowTypeInfo;
extern const TEnumInfo TDGIIRFilterTypeInfo;

// A finished design.
class IDGFilterInfo {
public:
    virtual ~IDGFilterInfo() = default;
    // The taps in the layout of the filter kind (see above).
    virtual std::vector<double> GetTaps() const = 0;
    // The complex frequency response at AFrequency Hz.
    virtual std::complex<double> GetResponse(double AFrequency) const = 0;
    virtual TDGFilterType GetFilterType() const = 0;
};

using IDGFilterInfoPtr = std::shared_ptr<IDGFilterInfo>;

constexpr int32_t MaxFIROrder = 32767;
constexpr int32_t MaxIIROrder = 20;

// AFrequency1 is the corner of a low or high pass and the lower edge of a
// band; AFrequency2 the upper edge of a band (ignored otherwise). All in Hz.
// AAlpha: the Kaiser parameter (FIR) or the Chebyshev ripple in dB (IIR).
IDGFilterInfoPtr DGFilterCalc(TDGFilterType AFilterType, TDGDesignFilterType ADesign, int32_t AOrder,
                              double AFrequency1, double AFrequency2, double ASampleRate, TDGWindowType AWindow,
                              TDGIIRFilterType AIIRType, double AAlpha);

// The window of the FIR designs, ALength values (for tests and analysers).
std::vector<double> DGWindow(TDGWindowType AWindow, int32_t ALength, double AAlpha);

// Magnitude response helpers over a taps array of the given kind, at the
// normalised frequency AFrequency / ASampleRate.
std::complex<double> DGFilterResponse(TDGFilterType AFilterType, const std::vector<double>& ATaps,
                                      double ANormalisedFrequency);

SN_API_END
} // namespace Sonorix
