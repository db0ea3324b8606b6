#!/usr/bin/env python3
"""Writes dsp/vecmath/tables.cpp: the constant tables of the vector sine, cosine and magnitude.

Run from the repository root at development time (needs python3-mpmath):
    python3 scripts/gen_vecmath_tables.py > dsp/vecmath/tables.cpp

Every entry comes from exact rational arithmetic on a value of pi carried to 1800 bits, so each
double is the correctly rounded (or, where the rule says so, truncated) value of its definition.
The generated file is committed; the build never runs this script.
"""
from fractions import Fraction
import sys

import mpmath

PREC = 1800
mpmath.mp.prec = PREC


def exact(x):
    """The mpf x as an exact Fraction."""
    sign, man, exp, _ = mpmath.mpf(x)._mpf_
    if man == 0:
        return Fraction(0)
    q = Fraction(man) * (Fraction(2) ** exp)
    return -q if sign else q


PI = exact(mpmath.pi)


def sin_exact(num, den):
    """sin(num*pi/den) to PREC bits, as a Fraction."""
    return exact(mpmath.sin(mpmath.pi * num / den))


def cos_exact(num, den):
    return exact(mpmath.cos(mpmath.pi * num / den))


def nearest_double(q):
    # int / int true division in CPython is correctly rounded; Fraction.__float__ uses it.
    return float(q)


def ilog2(q):
    """floor(log2(|q|)) for a non-zero Fraction."""
    q = abs(q)
    e = q.numerator.bit_length() - q.denominator.bit_length()
    if Fraction(2) ** e > q:
        e -= 1
    return e


def round_bits(q, bits, truncate):
    """q rounded to `bits` significant bits: to nearest, or toward zero."""
    if q == 0:
        return 0.0
    quantum = Fraction(2) ** (ilog2(q) - bits + 1)
    scaled = q / quantum
    if truncate:
        n = int(scaled)  # toward zero
    else:
        n = round(scaled)  # ties cannot occur for these irrational values
    return float(n * quantum)


def nearest_pow2(v):
    """The power of two nearest |v| by absolute difference, signed like v; 0.0 for v == 0."""
    if v == 0:
        return 0.0
    e = ilog2(v)
    lo = Fraction(2) ** e
    p = lo if abs(v) < lo * Fraction(3, 2) else lo * 2
    return float(p if v > 0 else -p)


def sine_table(rows, step_den, layout, tail_truncated, fixed):
    """Rows j = 0..rows-1 for the angle p = j*pi/step_den.

    layout 'sin32': cos p - c, sin head, sin tail, c      (c ~ cos p)
    layout 'sin256': cos p - c, c, sin head, sin tail
    layout 'cos256': -sin p - s, s, cos head, cos tail    (s ~ -sin p)
    layout 'cos64': -sin p - s, cos head, cos tail, s
    """
    out = []
    for j in range(rows):
        if j in fixed:
            out.append(list(fixed[j]))
            continue
        s = sin_exact(j, step_den)
        c = cos_exact(j, step_den)
        if layout in ("sin32", "sin256"):
            pw = nearest_pow2(c)
            part = nearest_double(c - Fraction(pw))
            head = nearest_double(s)
            tail = round_bits(s - Fraction(head), 24, tail_truncated)
            if layout == "sin32":
                out.append([part, head, tail, pw])
            else:
                out.append([part, pw, head, tail])
        else:
            pw = nearest_pow2(-s)
            part = nearest_double(-s - Fraction(pw))
            head = nearest_double(c)
            tail = round_bits(c - Fraction(head), 24, tail_truncated)
            if layout == "cos256":
                out.append([part, pw, head, tail])
            else:
                out.append([part, head, tail, pw])
    return out


def inv_two_pi_windows():
    # floor(2^(e-883) / (2 pi)) mod 2^192 for e = 0..2047, from one integer X = floor(2^1164/(2 pi)).
    top = 2047 - 883
    x = int(exact(mpmath.mpf(2) ** top / (2 * mpmath.pi)))
    rows = []
    for e in range(2048):
        k = e - 883
        w = 0 if k < 0 else (x >> (top - k)) % (1 << 192)
        rows.append([(w >> 128) & (2**64 - 1), (w >> 64) & (2**64 - 1), w & (2**64 - 1)])
    return rows


def four_over_pi_pieces():
    # 4/pi * 2^200 truncated at 2^-1024, cut into 49 pieces of 25 bits from the top.
    t = int(exact(4 / mpmath.pi * mpmath.mpf(2) ** 1224))
    assert t.bit_length() == 1225
    pieces = [0.0]
    for i in range(49):
        shift = 1200 - 25 * i
        bits = (t >> shift) & ((1 << 25) - 1)
        pieces.append(float(Fraction(bits) * Fraction(2) ** (shift - 1024)))
    pieces += [0.0, 0.0]
    return pieces


def rsqrt_seeds():
    out = []
    for i in range(512):
        x = Fraction(2 ** (i // 256)) * (1 + Fraction(i % 256, 256))
        v = exact(1 / mpmath.sqrt(mpmath.mpf(x.numerator) / x.denominator))
        out.append(float(Fraction(round(v * 2048), 2048)))
    return out


def fmt(v):
    if v == 0.0:
        return "-0.0" if str(v).startswith("-") else "0.0"
    return v.hex()


def emit_rows(name, rows, comment, width=4):
    lines = ["// " + c for c in comment]
    lines.append("alignas(64) const double %s[%d][%d] = {" % (name, len(rows), width))
    for j, r in enumerate(rows):
        lines.append("    {%s},  // %d" % (", ".join(fmt(v) for v in r), j))
    lines.append("};")
    return lines


def main():
    Z, NZ = 0.0, -0.0
    sin32 = sine_table(64, 32, "sin32", False,
                       {0: (Z, Z, Z, 1.0), 16: (Z, 1.0, Z, NZ), 32: (Z, Z, Z, -1.0),
                        48: (NZ, -1.0, Z, NZ)})
    sin64 = sine_table(128, 64, "sin32", False,
                       {0: (Z, Z, Z, 1.0), 32: (Z, 1.0, Z, NZ), 64: (Z, Z, Z, -1.0),
                        96: (NZ, -1.0, Z, NZ)})
    sin256 = sine_table(512, 256, "sin256", True,
                        {0: (Z, 1.0, Z, Z), 128: (Z, Z, 1.0, Z), 256: (Z, -1.0, Z, Z),
                         384: (Z, Z, -1.0, Z)})
    cos256 = sine_table(512, 256, "cos256", True,
                        {0: (Z, Z, 1.0, Z), 128: (Z, -1.0, Z, Z), 256: (Z, Z, -1.0, Z),
                         384: (Z, 1.0, Z, Z)})
    cos64 = sine_table(128, 64, "cos64", False,
                       {0: (Z, 1.0, Z, NZ), 32: (Z, Z, Z, -1.0), 64: (NZ, -1.0, Z, NZ),
                        96: (Z, Z, Z, 1.0)})
    out = [
        "// Generated by scripts/gen_vecmath_tables.py; do not edit by hand.",
        "// Constant tables of the vector sine, cosine and complex magnitude (dsp/vecmath/vecmath.h).",
        "// clang-format off",
        '#include "dsp/vecmath/vecmath.h"',
        "",
        'extern "C" {',
        "",
    ]
    out += emit_rows("dspSinTablePi32", sin32,
                     ["Row j, p = j*pi/32: cos p - c, sin p (head), sin p - head at 24 bits "
                      "(nearest), c = power of two nearest cos p."])
    out.append("")
    out += emit_rows("dspSinTablePi64", sin64,
                     ["Row j, p = j*pi/64: the columns of dspSinTablePi32."])
    out.append("")
    out += emit_rows("dspSinTablePi256", sin256,
                     ["Row j, p = j*pi/256: cos p - c, c, sin p (head), sin p - head at 24 bits "
                      "(toward zero)."])
    out.append("")
    out += emit_rows("dspCosTablePi256", cos256,
                     ["Row j, p = j*pi/256: -sin p - s, s = power of two nearest -sin p, cos p "
                      "(head), cos p - head at 24 bits (toward zero)."])
    out.append("")
    out += emit_rows("dspCosTablePi64", cos64,
                     ["Row j, p = j*pi/64: -sin p - s, cos p (head), cos p - head at 24 bits "
                      "(nearest), s."])
    out.append("")
    out.append("// Row e (biased exponent): floor(2^(e-883) / (2 pi)) mod 2^192, most significant "
               "word first.")
    out.append("alignas(64) const uint64_t dspInvTwoPiWindows[2048][3] = {")
    for e, r in enumerate(inv_two_pi_windows()):
        out.append("    {0x%016xu, 0x%016xu, 0x%016xu},  // %d" % (r[0], r[1], r[2], e))
    out.append("};")
    out.append("")
    out.append("// 4/pi * 2^200 truncated at 2^-1024, in 25-bit pieces from the top (entries 1..49),")
    out.append("// with zero entries around them so that a window of nine never leaves the array.")
    out.append("alignas(64) const double dspFourOverPiPieces[52] = {")
    for i, v in enumerate(four_over_pi_pieces()):
        out.append("    %s,  // %d" % (fmt(v), i))
    out.append("};")
    out.append("")
    out.append("// Entry i: 1/sqrt(2^(i/256) * (1 + (i%256)/256)) to the nearest multiple of 2^-11.")
    out.append("alignas(64) const double dspRsqrtSeedTable[512] = {")
    seeds = rsqrt_seeds()
    for i in range(0, 512, 4):
        out.append("    " + ", ".join(fmt(v) for v in seeds[i:i + 4]) + ",")
    out.append("};")
    out.append("")
    out.append('}  // extern "C"')
    sys.stdout.write("\n".join(out) + "\n")


if __name__ == "__main__":
    main()
