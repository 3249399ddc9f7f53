#!/usr/bin/python3
"""Designs the 345-tap halfband low-pass of the HQ oversampling stages and
prints it as src/filters/HalfbandKernel.cpp.

Usage: design_halfband.py [OUTPUT]   (default: standard output)

Design parameters
-----------------
  length            345 taps h[0..344], centre index 172, h[i] = h[344 - i]
  even taps         0.0 except the centre (h[0] = h[344] = 0)
  centre tap        0.5000000000464324 (bit pattern 0x3FE00000000661B2)
  fixed odd taps    by distance d from the centre (h[172 - d] = h[172 + d]):
                      d = 1    0.3181989622993339
                      d = 3   -0.1057709661795335
                      d = 5    0.06310956651471045
                      d = 7   -0.04470254257219194
                      d = 9    0.0343826247747871
                      d = 11  -0.02774115160487056
                      d = 169  3.07826065648288e-10
                      d = 171 -1.326517127758302e-10
  odd-phase sum     0.4999999999535682, as the stages' dot product adds it
                    (so the table sums to 1 and the gain at DC is 1)
  stopband          0.27 .. 0.5 cycles per sample of the doubled rate
  passband          0 .. 0.23 follows from the halfband symmetry
                    H(f) + H(0.5 - f) = 2 * centre

How the remaining 78 odd taps are found
---------------------------------------
A halfband response is H(f) = centre + 2 * sum_d h_d cos(2 pi f d), d odd.
With the centre, the eight fixed taps and the sum fixed, the free taps are
chosen to minimise the largest |H(f)| over the stopband, a linear minimax
problem solved as a linear programme on a dense grid (scipy's HiGHS). The
unknowns are a correction to a starting design (a Kaiser-windowed sinc),
with response errors scaled by 1e10 so the solver sees numbers near 1: a
first solve in steps of 1e-6, then two more around its own answer in steps
of 1e-10, so the result is exact to the last bits. H(0.5) = 2 * centre - 1 = 9.29e-11
(-200.6 dB) is fixed by the centre and the sum, so no design can be lower
there; the minimax design reaches that floor over the whole stopband,
which makes the passband flat within 2 * 9.29e-11 up to 0.23.

Finally one free tap pair (d = 13) is moved by a few units in the last
place so that the dot product of the odd phase with ones, added in the
order the stages use (see HalfbandFir), gives the odd-phase sum exactly,
with the exact sum of the taps as near to it as that allows.
The script checks every stated property and fails if one is not met.
"""
import struct
import sys
from fractions import Fraction

import numpy as np
from scipy.optimize import linprog
from scipy.special import i0

LENGTH = 345
CENTRE_INDEX = 172
CENTRE = struct.unpack('>d', bytes.fromhex('3FE00000000661B2'))[0]
FIXED = {
    1: 0.3181989622993339,
    3: -0.1057709661795335,
    5: 0.06310956651471045,
    7: -0.04470254257219194,
    9: 0.0343826247747871,
    11: -0.02774115160487056,
    169: 3.07826065648288e-10,
    171: -1.326517127758302e-10,
}
ODD_PHASE_SUM = 0.4999999999535682
STOPBAND_EDGE = 0.27
GRID_POINTS = 6000
TUNED_DISTANCE = 13
KAISER_BETA = 0.1102 * (200.0 - 8.7)  # Kaiser's rule for 200 dB

DISTANCES = np.arange(1, CENTRE_INDEX, 2)  # 1, 3, ..., 171
FREE = np.array([d for d in DISTANCES if d not in FIXED])
FREE_INDEX = np.searchsorted(DISTANCES, FREE)


def response(half, f):
    """H(f) from the odd taps by distance (array over DISTANCES)."""
    f = np.atleast_1d(np.asarray(f, dtype=float))
    return CENTRE + 2.0 * np.cos(2.0 * np.pi * np.outer(f, DISTANCES)) @ half


def starting_design():
    window = i0(KAISER_BETA * np.sqrt(1.0 - (DISTANCES / CENTRE_INDEX) ** 2)) / i0(KAISER_BETA)
    half = np.sin(np.pi * DISTANCES / 2) / (np.pi * DISTANCES) * window
    half *= ODD_PHASE_SUM / (2.0 * half.sum())
    for d, v in FIXED.items():
        half[DISTANCES == d] = v
    return half


def minimax_step(half, grid, unit):
    """One linear programme: the correction (in units of `unit`) to the free
    taps that minimises max |H| over the grid with the odd sum held."""
    n = len(FREE)
    scale = 1e10  # response errors of 1e-10 become numbers near 1
    r0 = response(half, grid) * scale
    a = 2.0 * np.cos(2.0 * np.pi * np.outer(grid, FREE)) * unit * scale
    ones = np.ones((len(grid), 1))
    a_ub = np.vstack([np.hstack([a, -ones]), np.hstack([-a, -ones])])
    b_ub = np.concatenate([-r0, r0])
    a_eq = np.hstack([2.0 * np.ones((1, n)) * unit * scale, np.zeros((1, 1))])
    b_eq = np.array([(ODD_PHASE_SUM - 2.0 * half.sum()) * scale])
    cost = np.zeros(n + 1)
    cost[-1] = 1.0
    result = linprog(cost, A_ub=a_ub, b_ub=b_ub, A_eq=a_eq, b_eq=b_eq,
                     bounds=[(None, None)] * (n + 1), method='highs')
    if result.status != 0:
        raise SystemExit('linear programme failed: ' + result.message)
    out = half.copy()
    out[FREE_INDEX] += result.x[:n] * unit
    return out


def full_table(half):
    h = [0.0] * LENGTH
    h[CENTRE_INDEX] = CENTRE
    for d, v in zip(DISTANCES, half):
        h[CENTRE_INDEX - d] = h[CENTRE_INDEX + d] = float(v)
    return h


def stage_dot_sum(h):
    """Sum of the odd phase as HalfbandFir's dot product adds it: 176 padded
    taps in 22 blocks of 8, two lanes with four partial sums each, combined
    as ((s1 + s0) + (s3 + s2)) per lane and then high lane + low lane."""
    taps = [h[2 * k + 1] for k in range(172)] + [0.0] * 4
    s = [[0.0, 0.0] for _ in range(4)]
    for block in range(0, 176, 8):
        for part in range(4):
            for lane in range(2):
                s[part][lane] += taps[block + 2 * part + lane] * 1.0
    lanes = [(s[1][i] + s[0][i]) + (s[3][i] + s[2][i]) for i in range(2)]
    return lanes[1] + lanes[0]


def exact_odd_sum(h):
    return sum(Fraction(h[i]) for i in range(1, LENGTH, 2))


def tune_sum(h):
    """Moves the d = TUNED_DISTANCE pair by whole units in the last place so
    that the stages' dot product of the odd phase is ODD_PHASE_SUM; of the
    tunings that do, takes the one whose exact sum is nearest to it."""
    lo, hi = CENTRE_INDEX - TUNED_DISTANCE, CENTRE_INDEX + TUNED_DISTANCE
    base = h[lo]
    target = Fraction(ODD_PHASE_SUM)
    best = None
    v = base
    candidates = []
    for direction in (np.inf, -np.inf):
        v = base
        for steps in range(400):
            candidates.append(float(v))
            v = np.nextafter(v, direction)
    for v in candidates:
        h[lo] = h[hi] = v
        if stage_dot_sum(h) == ODD_PHASE_SUM:
            error = abs(exact_odd_sum(h) - target)
            if best is None or error < best[0] or (error == best[0] and abs(v - base) < abs(best[1] - base)):
                best = (error, v)
    if best is None:
        raise SystemExit('odd-phase sum not reachable by tuning')
    h[lo] = h[hi] = best[1]
    return h


def db(x):
    return 20.0 * np.log10(abs(x))


def check(h):
    """Every stated property of the table; exits on the first failure."""
    h = np.array(h)
    half = np.array([h[CENTRE_INDEX + d] for d in DISTANCES])
    failures = []

    def need(ok, what):
        if not ok:
            failures.append(what)

    need(len(h) == LENGTH, 'length')
    need(struct.pack('>d', h[CENTRE_INDEX]).hex().upper() == '3FE00000000661B2', 'centre bits')
    need(all(h[i] == h[LENGTH - 1 - i] for i in range(LENGTH)), 'symmetry')
    need(all(h[i] == 0.0 for i in range(0, LENGTH, 2) if i != CENTRE_INDEX), 'zero even taps')
    need(all(h[CENTRE_INDEX + d] == v for d, v in FIXED.items()), 'fixed taps')
    need(all((half[i] > 0) == (i % 2 == 0) for i in range(len(half))), 'alternating signs')
    need(stage_dot_sum(list(h)) == ODD_PHASE_SUM, 'odd-phase sum')
    need(abs(float(exact_odd_sum(list(h)) + Fraction(CENTRE)) - 1.0) <= 1e-15, 'table sum')
    stop = np.abs(response(half, np.linspace(STOPBAND_EDGE, 0.5, 20001)))
    need(db(stop.max()) < -195.0, 'stopband below -195 dB')
    flat = np.abs(response(half, np.linspace(0.0, 0.23, 20001)) - 1.0)
    need(flat.max() < 2e-10, 'passband flat within 2e-10')
    # Each figure to its stated digits. 0.24 and 0.26 are tied by the
    # halfband symmetry; both round right only for -42.250 .. -42.225 dB.
    landmarks = {0.24: (-0.067, 0.0005), 0.245: (-1.10, 0.005), 0.25: (-6.02, 0.005),
                 0.255: (-18.5, 0.05), 0.26: (-42.2375, 0.0125)}
    for f, (want, tol) in landmarks.items():
        need(abs(db(response(half, f)[0]) - want) <= tol, 'response at %g' % f)
    if failures:
        raise SystemExit('halfband table fails: ' + ', '.join(failures))
    return stop.max(), flat.max()


def cpp_source(h):
    lines = [
        '// generated by tools/halfband/design_halfband.py, do not edit.',
        '// The 345-tap halfband low-pass of the HQ oversampling stages; see the',
        '// script for its design parameters and HalfbandKernel.h for its properties.',
        '#include "filters/HalfbandKernel.h"',
        '',
        'namespace tarvo {',
        '',
        'const double kHalfbandKernel[kHalfbandLength] = {',
    ]
    for i, v in enumerate(h):
        lines.append('    %s,  // h[%d]' % (repr(float(v)) if v != 0.0 else '0.0', i))
    lines += ['};', '', '}  // namespace tarvo', '']
    return '\n'.join(lines)


def main():
    grid = np.linspace(STOPBAND_EDGE, 0.5, GRID_POINTS)
    half = starting_design()
    half = minimax_step(half, grid, 1e-6)
    for _ in range(2):
        half = minimax_step(half, grid, 1e-10)
    h = tune_sum(full_table(half))
    stop, flat = check(h)
    sys.stderr.write('stopband max %.3f dB, passband deviation %.3g\n' % (db(stop), flat))
    text = cpp_source(h)
    if len(sys.argv) > 1:
        with open(sys.argv[1], 'w') as out:
            out.write(text)
    else:
        sys.stdout.write(text)


if __name__ == '__main__':
    main()
