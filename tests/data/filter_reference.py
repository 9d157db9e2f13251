#!/usr/bin/python3
# SPDX-License-Identifier: MIT
"""Reference filter designs for tests/filters/DGFilterCalcTest.cpp.

Computed with scipy.signal, independently of the C++ design code, and
committed as filter_reference.txt; run again only when the cases change:

    /usr/bin/python3 tests/data/filter_reference.py > tests/data/filter_reference.txt

Line formats (whitespace separated):
    taps KIND DESIGN WINDOW FAMILY ORDER F1 F2 FS ALPHA COUNT v1 .. vCOUNT
    response KIND DESIGN WINDOW FAMILY ORDER F1 F2 FS ALPHA COUNT f1 dB1 .. fCOUNT dBCOUNT
DESIGN: 0 low pass, 1 high pass, 2 band pass, 3 band stop. taps lines hold
the exact coefficients (FIR taps, or b0..bN a0..aN); response lines hold the
magnitude in dB at frequencies in Hz (of scipy's sections for ftBiquadIIR,
whose sections may be grouped differently from ours, and of its polynomials
for ftIIR).
"""
import numpy as np
from scipy import signal

FS = 44100.0
DESIGNS = {0: (1000.0, -1.0), 1: (3500.0, -1.0), 2: (1500.0, 3500.0), 3: (1500.0, 3500.0)}
WINDOWS = {"wtRect": "boxcar", "wtBartlett": "bartlett", "wtBlackman": "blackman",
           "wtHamming": "hamming", "wtHanning": "hann", "wtKaiser": "kaiser"}
BTYPES = {0: "lowpass", 1: "highpass", 2: "bandpass", 3: "bandstop"}


def fmt(values):
    return " ".join(repr(float(v)) for v in values)


def fir(design, order, window, alpha):
    f1, f2 = DESIGNS[design]
    if window == "wtKaiser":
        win = ("kaiser", alpha * (order - 1) / 2.0)
    else:
        win = WINDOWS[window]
    if design == 0:
        taps = signal.firwin(order, f1, window=win, pass_zero=True, fs=FS)
    elif design == 1:
        taps = signal.firwin(order, f1, window=win, pass_zero=False, fs=FS)
    elif design == 2:
        taps = signal.firwin(order, [f1, f2], window=win, pass_zero=False, fs=FS)
    else:
        taps = signal.firwin(order, [f1, f2], window=win, pass_zero=True, fs=FS)
    print(f"taps ftFIR {design} {window} iirBessel {order} {f1!r} {f2!r} {FS!r} {alpha!r} {len(taps)} {fmt(taps)}")


def iir_design(family, design, order, alpha, output):
    f1, f2 = DESIGNS[design]
    wn = f1 if design < 2 else [f1, f2]
    kwargs = {}
    if family == "iirBessel":
        ftype = "bessel"
    elif family == "iirButterworth":
        ftype = "butter"
    else:
        ftype = "cheby1"
        kwargs["rp"] = alpha
    if ftype == "bessel":
        # phase normalisation is scipy's default for bessel
        return signal.iirfilter(order, wn, btype=BTYPES[design], ftype=ftype, output=output, fs=FS)
    return signal.iirfilter(order, wn, btype=BTYPES[design], ftype=ftype, output=output, fs=FS, **kwargs)


def iir_taps(family, design, order, alpha):
    f1, f2 = DESIGNS[design]
    b, a = iir_design(family, design, order, alpha, "ba")
    b = b / a[0]
    a = a / a[0]
    values = list(b) + list(a)
    print(f"taps ftIIR {design} wtHamming {family} {order} {f1!r} {f2!r} {FS!r} {alpha!r} {len(values)} {fmt(values)}")


def iir_response(kind, family, design, order, alpha):
    f1, f2 = DESIGNS[design]
    freqs = np.concatenate([np.geomspace(20.0, 21000.0, 48), [f1] if f2 < 0 else [f1, f2]])
    if kind == "ftBiquadIIR":
        sos = iir_design(family, design, order, alpha, "sos")
        _, h = signal.sosfreqz(sos, worN=freqs, fs=FS)
    else:
        b, a = iir_design(family, design, order, alpha, "ba")
        _, h = signal.freqz(b, a, worN=freqs, fs=FS)
    mags = 20.0 * np.log10(np.maximum(np.abs(h), 1e-300))
    values = []
    for f, m in zip(freqs, mags):
        values += [f, m]
    print(f"response {kind} {design} wtHamming {family} {order} {f1!r} {f2!r} {FS!r} {alpha!r} {len(freqs)} {fmt(values)}")


for window in WINDOWS:
    for design in range(4):
        for order in (41, 101):
            for alpha in ((0.1, 0.3, 1.0) if window == "wtKaiser" else (1.0,)):
                fir(design, order, window, alpha)
    for design in (0, 2):
        fir(design, 40, window, 0.3 if window == "wtKaiser" else 1.0)
fir(0, 1, "wtHamming", 1.0)
fir(0, 2, "wtHamming", 1.0)

for family in ("iirBessel", "iirButterworth", "iirChebyshev"):
    for design in range(4):
        for order in range(1, 9):
            alphas = (1.0, 0.5) if family == "iirChebyshev" else (1.0,)
            for alpha in alphas:
                iir_taps(family, design, order, alpha)
        for order in (1, 2, 4, 5, 8, 12, 20):
            iir_response("ftBiquadIIR", family, design, order, 1.0)
        # A polynomial of order 16 already loses about a dB near its poles in
        # double precision (in scipy as here): the direct form is checked up
        # to order 6 (12 for bands).
        for order in (3, 4, 6):
            iir_response("ftIIR", family, design, order, 1.0)
