// Self-test of the vector vocabulary (dsp/vec.h) in one CPU slot: every operation, lane by lane,
// against plain scalar arithmetic on the same lane values. The kernel tests run only after it
// passed on every slot the machine supports (tests/dsp/CMakeLists.txt), so a wrong lane is
// reported here as such rather than as a wrong kernel result. Test builds only.
#if CORVANE_DSP_TEST_SEAMS

#include "dsp/testing.h"
#include "dsp/vec.h"

#include <math.h>
#include <stdio.h>

namespace {

struct Checker {
    char* message;
    int capacity;
    int failures = 0;

    void expect(bool ok, const char* what, int lane) {
        if (ok) return;
        if (failures++ == 0 && capacity > 0)
            snprintf(message, static_cast<size_t>(capacity), "slot %s: %s, lane %d",
                     DSP_SLOT_NAME_TEXT, what, lane);
    }
    void expectBits(double got, double want, const char* what, int lane) {
        expect(dbits(got) == dbits(want), what, lane);
    }
};

// Four lane values per operand: ordinary, negative, huge and subnormal numbers, a NaN and
// infinities, so that every lane differs from its neighbours.
const double kNaN = __builtin_nan("");
const double kInf = __builtin_inf();
const double kA[8] = {1.5, -2.25, 3.0e300, -0x1p-1070, 7.0, kNaN, -0.0, 0x1.fffffffffffffp-1};
const double kB[8] = {-0.75, 4.0, 2.0e10, 0x1p-1073, 7.0, 1.0, 0.0, -kInf};

using BinaryOp = V (*)(V, V);

// Runs op on every group of kLanes lanes of kA and kB and compares each lane with ref.
template <typename Ref>
void checkBinary(Checker& c, BinaryOp op, Ref ref, const char* what) {
    for (int base = 0; base + kLanes <= 8; base += kLanes) {
        double out[kLanes];
        vstoreu(out, op(vloadu(kA + base), vloadu(kB + base)));
        for (int l = 0; l < kLanes; ++l)
            c.expectBits(out[l], ref(kA[base + l], kB[base + l]), what, l);
    }
}

double maskOf(bool t) {
    return dfrom(t ? ~uint64_t(0) : 0);
}

void checkFloatLanes(Checker& c) {
    checkBinary(
        c, [](V a, V b) { return a + b; }, [](double a, double b) { return a + b; }, "+");
    checkBinary(
        c, [](V a, V b) { return a - b; }, [](double a, double b) { return a - b; }, "-");
    checkBinary(
        c, [](V a, V b) { return a * b; }, [](double a, double b) { return a * b; }, "*");
    checkBinary(
        c, vand, [](double a, double b) { return dfrom(dbits(a) & dbits(b)); }, "vand");
    checkBinary(
        c, vor, [](double a, double b) { return dfrom(dbits(a) | dbits(b)); }, "vor");
    checkBinary(
        c, vxor, [](double a, double b) { return dfrom(dbits(a) ^ dbits(b)); }, "vxor");
    // The second operand where the pair is unordered.
    checkBinary(
        c, vmin, [](double a, double b) { return a < b ? a : b; }, "vmin");
    checkBinary(
        c, vmax, [](double a, double b) { return a > b ? a : b; }, "vmax");
    checkBinary(
        c, vle, [](double a, double b) { return maskOf(a <= b); }, "vle");
    checkBinary(
        c, vlt, [](double a, double b) { return maskOf(a < b); }, "vlt");
    checkBinary(
        c, vge, [](double a, double b) { return maskOf(a >= b); }, "vge");
    checkBinary(
        c, [](V m, V b) { return vselect(vle(m, b), m, b); },
        [](double a, double b) { return a <= b ? b : a; }, "vselect");
    checkBinary(
        c, vandnot, [](double a, double b) { return dfrom(~dbits(a) & dbits(b)); }, "vandnot");
    checkBinary(
        c, [](V a, V) { return vabs(a); }, [](double a, double) { return fabs(a); }, "vabs");
    checkBinary(
        c, [](V a, V) { return vneg(a); }, [](double a, double) { return -a; }, "vneg");
    checkBinary(
        c, [](V a, V) { return vsign(a); },
        [](double a, double) { return dfrom(dbits(a) & 0x8000000000000000ull); }, "vsign");
    checkBinary(
        c, [](V a, V) { return vlowBitToSign(a); },
        [](double a, double) { return dfrom(dbits(a) << 63); }, "vlowBitToSign");

    for (int base = 0; base + kLanes <= 8; base += kLanes) {
        const V a = vloadu(kA + base);
        int want = 0;
        for (int l = 0; l < kLanes; ++l) want |= static_cast<int>(dbits(kA[base + l]) >> 63) << l;
        c.expect(vmovemask(a) == want, "vmovemask", 0);
        uint64_t bits[kLanes];
        double lanes[kLanes];
        vlaneBits(a, bits);
        vlanes(a, lanes);
        for (int l = 0; l < kLanes; ++l) {
            c.expect(bits[l] == dbits(kA[base + l]), "vlaneBits", l);
            c.expectBits(lanes[l], kA[base + l], "vlanes", l);
        }
    }

    // Every lane of a broadcast and of zero; aligned and unaligned memory.
    alignas(64) double aligned8[8];
    unsigned char raw[8 * sizeof(double) + 1];
    double* unaligned = reinterpret_cast<double*>(raw + 1);
    vstore(aligned8, vset(-6.5));
    vstoreu(unaligned, vzero());
    for (int l = 0; l < kLanes; ++l) {
        c.expectBits(aligned8[l], -6.5, "vset / vstore", l);
        c.expectBits(ld1(unaligned + l), 0.0, "vzero / vstoreu", l);
    }
    vstoreu(unaligned, vloadu(kA));
    vstore(aligned8, vload(aligned8));
    for (int l = 0; l < kLanes; ++l) {
        c.expectBits(ld1(unaligned + l), kA[l], "vloadu / vstoreu", l);
        c.expectBits(aligned8[l], -6.5, "vload / vstore", l);
    }
    double b[kLanes];
    vstoreu(b, vbits(0x7FF8000000000123ull));
    for (int l = 0; l < kLanes; ++l) c.expect(dbits(b[l]) == 0x7FF8000000000123ull, "vbits", l);
}

#if DSP_SLOT >= 1

// The estimates are only promised to 1.5 * 2^-12 (relative).
void checkEstimates(Checker& c) {
    const double in[4] = {1.0, 0.0625, 3.0e-20, 7.5e17};
    double out[4];
    for (int base = 0; base + kLanes <= 4; base += kLanes) {
        vstoreu(out, vrsqrtEstimate(vloadu(in + base)));
        for (int l = 0; l < kLanes; ++l) {
            const double want = 1.0 / sqrt(in[base + l]);
            c.expect(fabs(out[l] - want) <= 0x1.8p-12 * want, "vrsqrtEstimate", l);
        }
    }
    for (int i = 0; i < 4; ++i) {
        const float x = static_cast<float>(in[i]);
        const double want = 1.0 / sqrt(static_cast<double>(x));
        c.expect(fabs(rsqrtEstimate1(x) - want) <= 0x1.8p-12 * want, "rsqrtEstimate1", i);
    }
}

// Interleaved (re, im) pairs: p[2k] real, p[2k+1] imaginary.
void checkComplexLanes(Checker& c) {
    const double p[8] = {1, -2, 3, -4, 5, -6, 7, -8};
    V re, im;
    vdeinterleave(p, re, im);
    double r[kLanes], i[kLanes], back[2 * kLanes];
    vstoreu(r, re);
    vstoreu(i, im);
    for (int l = 0; l < kLanes; ++l) {
        c.expectBits(r[l], p[2 * l], "vdeinterleave re", l);
        c.expectBits(i[l], p[2 * l + 1], "vdeinterleave im", l);
    }
    vinterleave(back, re, im);
    for (int l = 0; l < 2 * kLanes; ++l) c.expectBits(back[l], p[l], "vinterleave", l);
    double s[kLanes], nr[kLanes], ni[kLanes];
    vstoreu(s, vswapPairs(vloadu(p)));
    vstoreu(nr, vnegRe(vloadu(p)));
    vstoreu(ni, vnegIm(vloadu(p)));
    for (int l = 0; l < kLanes; ++l) {
        c.expectBits(s[l], p[l ^ 1], "vswapPairs", l);
        c.expectBits(nr[l], l % 2 == 0 ? -p[l] : p[l], "vnegRe", l);
        c.expectBits(ni[l], l % 2 == 1 ? -p[l] : p[l], "vnegIm", l);
    }
    // Within each 128-bit half: the even lanes of both operands, then the odd ones.
    const double q[4] = {10, 20, 30, 40};
    double lo[kLanes], hi[kLanes], rev[kLanes];
    vstoreu(lo, vunpackLo(vloadu(p), vloadu(q)));
    vstoreu(hi, vunpackHi(vloadu(p), vloadu(q)));
    vstoreu(rev, vreverse(vloadu(p)));
    for (int l = 0; l < kLanes; ++l) {
        const int from = l & ~1;
        c.expectBits(lo[l], l % 2 == 0 ? p[from] : q[from], "vunpackLo", l);
        c.expectBits(hi[l], l % 2 == 0 ? p[from + 1] : q[from + 1], "vunpackHi", l);
        c.expectBits(rev[l], p[kLanes - 1 - l], "vreverse", l);
    }
}

void checkIntegerLanes(Checker& c) {
    const int64_t a[4] = {INT64_MAX, -5, 0x0123456789ABCDEFll, INT64_MIN};
    const int64_t b[4] = {1, -7, -0x0123456789ABCDEFll, 3};
    int64_t out[4];
    for (int base = 0; base + kILanes <= 4; base += kILanes) {
        const VI x = iloadu(a + base), y = iloadu(b + base);
        auto lanes = [&](VI v, const char* what, auto ref) {
            istoreu(out, v);
            for (int l = 0; l < kILanes; ++l) {
                const uint64_t ua = static_cast<uint64_t>(a[base + l]);
                const uint64_t ub = static_cast<uint64_t>(b[base + l]);
                c.expect(static_cast<uint64_t>(out[l]) == ref(ua, ub), what, l);
            }
        };
        lanes(iadd(x, y), "iadd", [](uint64_t p, uint64_t q) { return p + q; });
        lanes(iand(x, y), "iand", [](uint64_t p, uint64_t q) { return p & q; });
        lanes(ixor(x, y), "ixor", [](uint64_t p, uint64_t q) { return p ^ q; });
        lanes(ishl<63>(x), "ishl 63", [](uint64_t p, uint64_t) { return p << 63; });
        lanes(ishl<1>(x), "ishl 1", [](uint64_t p, uint64_t) { return p << 1; });
        lanes(iset(-9), "iset", [](uint64_t, uint64_t) { return static_cast<uint64_t>(-9ll); });
        lanes(izero(), "izero", [](uint64_t, uint64_t) { return uint64_t(0); });
#if DSP_SLOT >= 3
        // Signed comparison, and the blend it drives.
        lanes(icmpgt(x, y), "icmpgt", [](uint64_t p, uint64_t q) {
            return static_cast<int64_t>(p) > static_cast<int64_t>(q) ? ~uint64_t(0) : 0;
        });
        lanes(iselect(icmpgt(x, y), x, y), "iselect", [](uint64_t p, uint64_t q) {
            return static_cast<int64_t>(p) > static_cast<int64_t>(q) ? q : p;
        });
#endif
    }
#if DSP_SLOT >= 3
    // A row of three vectors, lanes numbered 0 .. 3 * kILanes - 1, moved by one lane both ways.
    int64_t row[12], up[4], down[4];
    for (int k = 0; k < 12; ++k) row[k] = 100 + k;
    const VI prev = iloadu(row), cur = iloadu(row + kILanes), next = iloadu(row + 2 * kILanes);
    istoreu(up, ilanesUp(imiddle(prev, cur), cur));
    istoreu(down, ilanesDown(cur, imiddle(cur, next)));
    for (int l = 0; l < kILanes; ++l) {
        c.expect(up[l] == 100 + kILanes + l - 1, "ilanesUp", l);
        c.expect(down[l] == 100 + kILanes + l + 1, "ilanesDown", l);
    }
#endif
}

// Byte blocks: unaligned and aligned moves, the pattern broadcast, and streaming stores that
// the fence makes visible.
void checkByteBlocks(Checker& c) {
    alignas(64) unsigned char src[2 * kVecBytes + 1], dst[2 * kVecBytes + 1];
    for (size_t i = 0; i < sizeof src; ++i) src[i] = static_cast<unsigned char>(i * 7 + 1);
    memset(dst, 0xEE, sizeof dst);
    bstoreu(dst + 1, bloadu(src + 1));
    bstore(dst + kVecBytes, bzero());
    for (size_t i = 0; i < kVecBytes; ++i) {
        c.expect(dst[1 + i] == (i + 1 < kVecBytes ? src[1 + i] : 0), "bloadu / bstoreu", int(i));
        c.expect(dst[kVecBytes + i] == 0, "bzero / bstore", int(i));
    }
    bstream(dst, bset64(0x0102030405060708ull));
    b16stream(dst + kVecBytes, b16loadu(src + 3));
    fence();
    for (size_t i = 0; i < kVecBytes; ++i)
        c.expect(dst[i] == 8 - i % 8, "bset64 / bstream", int(i));
    for (size_t i = 0; i < 16; ++i) c.expect(dst[kVecBytes + i] == src[3 + i], "b16 moves", int(i));
    b16storeu(dst + 5, b16zero());
    for (size_t i = 0; i < 16; ++i) c.expect(dst[5 + i] == 0, "b16zero / b16storeu", int(i));

    alignas(64) double d[kLanes];
    vstream(d, vloadu(kA));
    fence();
    for (int l = 0; l < kLanes; ++l) c.expectBits(d[l], kA[l], "vstream", l);
    prefetchNta(src);
    prefetchT0(src);
}

// int16 and int32 lanes: each operation against its scalar meaning.
void checkSampleLanes(Checker& c) {
    const int16_t a[8] = {-32768, 32767, -1, 0, 1234, -20000, 300, -7};
    const int16_t b[8] = {1, -1, -32768, 32767, 99, 3, -300, -7};
    const int32_t w[8] = {INT32_MAX, -70000, 40000, -32768, 32767, 128, -129, 0};
    int16_t h[8];
    int32_t x[4];
    const auto s16 = [&](S16 v, const char* what, auto ref) {
        b16storeu(h, v);
        for (int l = 0; l < 8; ++l) c.expect(h[l] == static_cast<int16_t>(ref(l)), what, l);
    };
    const auto i32 = [&](S16 v, const char* what, auto ref) {
        b16storeu(x, v);
        for (int l = 0; l < 4; ++l) c.expect(x[l] == static_cast<int32_t>(ref(l)), what, l);
    };
    const auto sat = [](int32_t v) { return v < -32768 ? -32768 : v > 32767 ? 32767 : v; };
    const S16 va = b16loadu(a), vb = b16loadu(b);
    s16(s16set(-5), "s16set", [](int) { return -5; });
    s16(s16subSat(va, vb), "s16subSat", [&](int l) { return sat(a[l] - b[l]); });
    s16(s16mulLo(va, vb), "s16mulLo", [&](int l) { return (a[l] * b[l]) & 0xFFFF; });
    s16(s16mulHi(va, vb), "s16mulHi", [&](int l) { return (a[l] * b[l]) >> 16; });
    s16(s16unpackLo(va, vb), "s16unpackLo", [&](int l) { return l % 2 ? b[l / 2] : a[l / 2]; });
    s16(s16unpackHi(va, vb), "s16unpackHi",
        [&](int l) { return l % 2 ? b[4 + l / 2] : a[4 + l / 2]; });
    const S16 wa = b16loadu(w), wb = b16loadu(w + 4);
    i32(i32set(-9), "i32set", [](int) { return -9; });
    i32(i32add(wa, wb), "i32add",
        [&](int l) { return static_cast<uint32_t>(w[l]) + static_cast<uint32_t>(w[4 + l]); });
    i32(i32sra<8>(wa), "i32sra", [&](int l) { return w[l] >> 8; });
    s16(s32packSat(wa, wb), "s32packSat", [&](int l) { return sat(w[l]); });
    i32(i32shl<3>(wa), "i32shl", [&](int l) { return static_cast<uint32_t>(w[l]) << 3; });
    s16(s16reverse(va), "s16reverse", [&](int l) { return a[7 - l]; });
    i32(i32reverse(wa), "i32reverse", [&](int l) { return w[3 - l]; });
    s16(b16blend(s16unpackLo(s16set(0), s16set(-1)), va, vb), "b16blend",
        [&](int l) { return l % 2 ? b[l] : a[l]; });
    double d[4];
    i32storeScaled(d, wa, 0.5);
    for (int l = 0; l < 4; ++l) c.expectBits(d[l], w[l] * 0.5, "i32storeScaled", l);
    // Each lane's product falls on another rule: NaN, either clamp, truncation of either sign.
    const double e[8] = {kNaN, 1.0e6, -32768.75, -0.75, -kInf, 16383.75, 0.25, kInf};
    const int32_t want[8] = {0, 32767, -32768, -1, -32768, 32767, 0, 32767};
    for (int g = 0; g < 8; g += 4)
        i32(i32loadScaled16(e + g, 2.0), "i32loadScaled16", [&](int l) { return want[g + l]; });
}

#endif

#if DSP_SLOT >= 4
// The moves across the 128-bit halves, each as the lanes of a and b (0..3 and 4..7) it picks.
void checkWideLanes(Checker& c) {
    struct Move {
        const char* what;
        V (*op)(V, V);
        int from[4];
    };
    const Move moves[] = {
        {"vjoinLow", vjoinLow, {0, 1, 4, 5}},
        {"vjoinHigh", vjoinHigh, {2, 3, 6, 7}},
        {"vswapHalves", [](V a, V) { return vswapHalves(a); }, {2, 3, 0, 1}},
        {"vswapMiddle", [](V a, V) { return vswapMiddle(a); }, {0, 2, 1, 3}},
        {"vdupEven", [](V a, V) { return vdupEven(a); }, {0, 0, 2, 2}},
        {"vdupOdd", [](V a, V) { return vdupOdd(a); }, {1, 1, 3, 3}},
        {"vblendOdd", vblendOdd, {0, 5, 2, 7}},
        {"vblendHigh", vblendHigh, {0, 1, 6, 7}},
    };
    double out[4];
    for (const Move& m : moves) {
        vstoreu(out, m.op(vloadu(kA), vloadu(kA + 4)));
        for (int l = 0; l < 4; ++l) c.expectBits(out[l], kA[m.from[l]], m.what, l);
    }
    vstoreu(out, vselectBySign(vloadu(kA), vloadu(kA + 4), vloadu(kB)));
    for (int l = 0; l < 4; ++l)
        c.expectBits(out[l], dbits(kA[l]) >> 63 ? kB[l] : kA[4 + l], "vselectBySign", l);
    for (int base = 0; base < 8; base += 4) {
        vstoreu(out, vfloor(vloadu(kA + base)));
        for (int l = 0; l < 4; ++l) c.expectBits(out[l], floor(kA[base + l]), "vfloor", l);
    }
#if DSP_SLOT == 5
    for (int base = 0; base < 8; base += 4) {
        vstoreu(out, vbitToSign<1>(vloadu(kA + base)));
        for (int l = 0; l < 4; ++l)
            c.expectBits(out[l], dfrom((dbits(kA[base + l]) >> 1) << 63), "vbitToSign<1>", l);
    }
#endif
    vstoreu(out, vaddsub(vloadu(kA), vloadu(kB)));
    for (int l = 0; l < 4; ++l)
        c.expectBits(out[l], l % 2 ? kA[l] + kB[l] : kA[l] - kB[l], "vaddsub", l);
    vstoreu(out, vsetLanes(kA[3], kA[2], kA[1], kA[0]));
    for (int l = 0; l < 4; ++l) c.expectBits(out[l], kA[3 - l], "vsetLanes", l);
    double lo[2], hi[2];
    vstoreHalves(lo, hi, vloadHalves(kA + 5, kB + 1));
    for (int l = 0; l < 2; ++l) {
        c.expectBits(lo[l], kA[5 + l], "vloadHalves / vstoreHalves", l);
        c.expectBits(hi[l], kB[1 + l], "vloadHalves / vstoreHalves", 2 + l);
    }
    // Rows 0..3 of kA, kB (rows of four) transposed.
    V r[4] = {vloadu(kA), vloadu(kA + 4), vloadu(kB), vloadu(kB + 4)};
    const double* rows[4] = {kA, kA + 4, kB, kB + 4};
    vtranspose4(r[0], r[1], r[2], r[3]);
    for (int i = 0; i < 4; ++i) {
        vstoreu(out, r[i]);
        for (int l = 0; l < 4; ++l) c.expectBits(out[l], rows[l][i], "vtranspose4", 4 * i + l);
    }
    const V a = vloadu(kA), b = vloadu(kB);
    const int32_t words[4] = {vlowWord<0>(a), vlowWord<1>(a), vlowWord<2>(a), vlowWord<3>(a)};
    for (int l = 0; l < 4; ++l)
        c.expect(words[l] == static_cast<int32_t>(dbits(kA[l])), "vlowWord", l);
    const int32_t bounds[4] = {-5, 0, 0x100, 0x7FFFFFFF};
    for (int32_t bound : bounds) {
        uint64_t bits[4];
        vlaneBits(vhighWordGapAbove(a, b, bound), bits);
        for (int l = 0; l < 4; ++l) {
            const uint32_t gap = static_cast<uint32_t>(dbits(kA[l]) >> 32) -
                                 static_cast<uint32_t>(dbits(kB[l]) >> 32);
            const bool above = static_cast<int32_t>(gap) > bound;
            c.expect(bits[l] == (above ? ~uint64_t(0) : 0), "vhighWordGapAbove", l);
        }
    }
    // The 128-bit half.
    struct HalfOp {
        const char* what;
        VH (*op)(VH, VH);
        double (*ref)(const double*, const double*, int);
    };
    const HalfOp halves[] = {
        {"VH +", [](VH x, VH y) { return x + y; },
         [](const double* x, const double* y, int l) { return x[l] + y[l]; }},
        {"VH -", [](VH x, VH y) { return x - y; },
         [](const double* x, const double* y, int l) { return x[l] - y[l]; }},
        {"VH *", [](VH x, VH y) { return x * y; },
         [](const double* x, const double* y, int l) { return x[l] * y[l]; }},
        {"VH vswapPairs", [](VH x, VH) { return vswapPairs(x); },
         [](const double* x, const double*, int l) { return x[1 - l]; }},
        {"VH vnegRe", [](VH x, VH) { return vnegRe(x); },
         [](const double* x, const double*, int l) { return l ? x[l] : -x[l]; }},
        {"VH vnegIm", [](VH x, VH) { return vnegIm(x); },
         [](const double* x, const double*, int l) { return l ? -x[l] : x[l]; }},
        {"hset", [](VH, VH) { return hset(-6.5); },
         [](const double*, const double*, int) { return -6.5; }},
    };
    for (const HalfOp& h : halves)
        for (int base = 0; base < 8; base += 2) {
            hstoreu(lo, h.op(hloadu(kA + base), hloadu(kB + base)));
            for (int l = 0; l < 2; ++l)
                c.expectBits(lo[l], h.ref(kA + base, kB + base, l), h.what, l);
        }
}
#endif

#if DSP_SLOT == 5
// One rounding: 1 + 2^-30 times 1 - 2^-30 is 1 - 2^-60, whose product rounds to 1.
void checkFusedMultiplyAdd(Checker& c) {
    const double a[4] = {1 + 0x1p-30, 3.0, -0x1p-600, 1e308};
    const double b[4] = {1 - 0x1p-30, 1.0 / 3.0, 0x1p-500, 10.0};
    const double d[4] = {-1.0, -1.0, 0x1p-1074, -1e308};
    double out[4];
    vstoreu(out, vfma(vloadu(a), vloadu(b), vloadu(d)));
    for (int l = 0; l < 4; ++l) c.expectBits(out[l], fma(a[l], b[l], d[l]), "vfma", l);
    c.expectBits(out[0], -0x1p-60, "vfma rounds once", 0);
    vstoreu(out, vfms(vloadu(a), vloadu(b), vloadu(d)));
    for (int l = 0; l < 4; ++l) c.expectBits(out[l], fma(a[l], b[l], -d[l]), "vfms", l);
    vstoreu(out, vfmaddsub(vloadu(a), vloadu(b), vloadu(d)));
    for (int l = 0; l < 4; ++l)
        c.expectBits(out[l], fma(a[l], b[l], l % 2 ? d[l] : -d[l]), "vfmaddsub", l);
    vstoreu(out, vfmsubadd(vloadu(a), vloadu(b), vloadu(d)));
    for (int l = 0; l < 4; ++l)
        c.expectBits(out[l], fma(a[l], b[l], l % 2 ? -d[l] : d[l]), "vfmsubadd", l);
}
#endif

}  // namespace

extern "C" int DSP_CALL DSP_SLOT_NAME(dspVecSelfTest)(char* message, int capacity) {
    Checker c{message, capacity};
    if (capacity > 0) message[0] = '\0';
    checkFloatLanes(c);
#if DSP_SLOT >= 1
    checkEstimates(c);
    checkComplexLanes(c);
    checkIntegerLanes(c);
    checkByteBlocks(c);
    checkSampleLanes(c);
#endif
#if DSP_SLOT >= 4
    checkWideLanes(c);
#endif
#if DSP_SLOT == 5
    checkFusedMultiplyAdd(c);
#endif
    return c.failures;
}

#endif  // CORVANE_DSP_TEST_SEAMS
