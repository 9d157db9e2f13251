#!/usr/bin/python3
# SPDX-License-Identifier: MIT
"""Reference designs of the graphic equalizer for
tests/filters/SNGraphicEqualizerTest.cpp.

The summed design written from its description with scipy.signal.firwin,
independently of the C++ code, and committed as equalizer_reference.txt;
run again only when the cases change:

    /usr/bin/python3 tests/data/equalizer_reference.py > tests/data/equalizer_reference.txt

Line format (whitespace separated):
    case FS ORDER WINDOW ALPHA NBANDS f1 g1 .. fN gN NTAPS t1 .. tNTAPS NCENTRES f1 |H1| .. fN |HN|
Bands are listed in the order they are entered; |H| is the magnitude of the
summed design at each enabled band's centre (below FS / 2).
"""
import numpy as np
from scipy import signal

WINDOWS = {"wtRect": "boxcar", "wtBartlett": "bartlett", "wtBlackman": "blackman",
           "wtHamming": "hamming", "wtHanning": "hann", "wtKaiser": "kaiser"}


def window(name, alpha, order):
    return ("kaiser", alpha * (order - 1) / 2.0) if name == "wtKaiser" else WINDOWS[name]


def single(value):
    # split points are computed in single precision
    return float(np.float32(value))


def design(fs, order, win, alpha, bands):
    bands = sorted(bands, key=lambda b: b[0])
    w = window(win, alpha, order)
    n = len(bands)
    c = single(bands[0][0] + (bands[1][0] - bands[0][0]) / 3.0)
    taps = bands[0][1] * signal.firwin(order, c, window=w, pass_zero=True, fs=fs)
    for k in range(1, n - 1):
        a = bands[k][0] - bands[k - 1][0]
        b = bands[k + 1][0] - bands[k][0]
        half = single(a * b / (a + b))
        taps = taps + bands[k][1] * signal.firwin(order, [bands[k][0] - half, bands[k][0] + half],
                                                  window=w, pass_zero=False, fs=fs)
    c = single(bands[n - 2][0] + (bands[n - 1][0] - bands[n - 2][0]) / 3.0)
    if c <= fs:
        taps = taps + bands[n - 1][1] * signal.firwin(order, c, window=w, pass_zero=False, fs=fs)
    return taps


def case(fs, order, win, alpha, bands):
    taps = design(fs, order, win, alpha, bands)
    centres = [f for f, _ in bands if f < fs / 2]
    _, h = signal.freqz(taps, worN=centres, fs=fs)
    flat = " ".join(f"{f!r} {g!r}" for f, g in bands)
    resp = " ".join(f"{f!r} {abs(v)!r}" for f, v in zip(centres, h))
    print(f"case {fs!r} {order} {win} {alpha!r} {len(bands)} {flat} {len(taps)} "
          f"{' '.join(repr(float(t)) for t in taps)} {len(centres)} {resp}")


# Entered as 1000, 250, 4000 Hz: designed as 250, 1000, 4000.
case(44100.0, 41, "wtHamming", 1.0, [(1000.0, 1.0), (250.0, 0.5), (4000.0, 2.0)])
# Ten bands at the default frequencies (31 Hz, doubling), mixed gains.
gains = [1.0, 0.5, 2.0, 1.0, 0.25, 1.0, 1.5, 0.0, 1.0, 0.75]
case(48000.0, 401, "wtKaiser", 0.5, [(31.0 * 2 ** k, g) for k, g in enumerate(gains)])
case(44100.0, 1001, "wtBlackman", 1.0, [(125.0 * 2 ** k, 1.0 if k != 3 else 0.25) for k in range(7)])
# The highest band's cutoff lies above the sample rate: it contributes nothing.
case(44100.0, 101, "wtHanning", 1.0, [(1000.0, 1.0), (2000.0, 0.5), (300000.0, 3.0)])
