// Runs every public operation once (and the memory paths behind the scale shortcuts on large
// arrays), checks the results against plain loops and prints the slot the library chose.
// Meant to run under an emulator with a chosen processor model: an instruction the model
// lacks ends the run with SIGILL. Argument: the expected slot. Exit status 0 when the slot is
// the expected one and every result is right.
#include "corvane/dsp.h"
#include "dsp/vecmath/vecmath.h"

#include <algorithm>
#include <cmath>
#include <complex>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace {

int g_failures = 0;

// The largest order each slot's forward transform has a path for today (slot 2 without MOVBE
// runs slot 2n's).
int lastForwardOrder(int slot, bool movbe) {
    switch (slot) {
        case 0:
            return 27;
        case 2:
            return movbe ? 27 : 28;
        default:
            return 28;
    }
}

// The inverse has the forward's orders in every slot.
int lastInverseOrder(int slot, bool movbe) {
    return lastForwardOrder(slot, movbe);
}

// The inverse of the spectrum X(0) = 1.5, X(N/2) = -0.5, X(N/4) = 0.25 - 0.75i (the bins that
// exist at the order), unscaled, against its closed form, through one set of bodies.
using SizeFn = DspStatus(DSP_CALL*)(int, int, int, int*, int*, int*);
using InitFn = DspStatus(DSP_CALL*)(DspFftSpecReal64f**, int, int, int, BYTE*, BYTE*);
using TransformFn = DspStatus(DSP_CALL*)(const double*, double*, const DspFftSpecReal64f*, BYTE*);
DspStatus inverseOfClosedForm(SizeFn size, InitFn init, TransformFn inv, int order, bool* right) {
    int specSize = 0, bufSize = 0, workSize = 0;
    if (size(order, dspFftScaleFwd, 0, &specSize, &bufSize, &workSize) != dspOk) return -1;
    std::vector<BYTE> specMem(specSize), specBuf(bufSize + 1), work(workSize + 1);
    DspFftSpecReal64f* spec = nullptr;
    if (init(&spec, order, dspFftScaleFwd, 0, specMem.data(), specBuf.data()) != dspOk) return -1;
    const int n = 1 << order;
    std::vector<double> spectrum(n + 2, 0.0), x(n, 0.0);
    spectrum[0] = 1.5;
    if (n >= 2) spectrum[n] += -0.5;
    if (n >= 4) {
        spectrum[n / 2] += 0.25;
        spectrum[n / 2 + 1] = n == 4 ? 0 : -0.75;
    }
    const DspStatus status = inv(spectrum.data(), x.data(), spec, work.data());
    *right = true;
    for (int t = 0; t < n; ++t) {
        double want = 1.5;
        if (n >= 2) want += t % 2 ? 0.5 : -0.5;
        if (n == 4) want += t % 2 ? 0 : t == 0 ? 0.5 : -0.5;
        if (n > 4) {
            const double c[4] = {1, 0, -1, 0}, s[4] = {0, 1, 0, -1};
            want += 2 * (0.25 * c[t % 4] + 0.75 * s[t % 4]);
        }
        *right = *right && std::fabs(x[t] - want) <= 1e-14;
    }
    return status;
}

// X[k], k = 0..N/2, of 2^order real samples by an iterative radix-2 FFT in double, with the
// angles reduced before the sine and cosine.
std::vector<std::complex<double>> realSpectrum(const double* x, int order) {
    const int n = 1 << order;
    std::vector<std::complex<double>> v(x, x + n);
    for (int i = 1, j = 0; i < n; ++i) {
        int bit = n >> 1;
        for (; j & bit; bit >>= 1) j ^= bit;
        j ^= bit;
        if (i < j) std::swap(v[i], v[j]);
    }
    for (int len = 2; len <= n; len <<= 1) {
        for (int k = 0; k < len / 2; ++k) {
            const double a = -2 * std::acos(-1.0) * k / len;
            const std::complex<double> w(std::cos(a), std::sin(a));
            for (int i = 0; i < n; i += len) {
                const std::complex<double> u = v[i + k], t = v[i + k + len / 2] * w;
                v[i + k] = u + t;
                v[i + k + len / 2] = u - t;
            }
        }
    }
    v.resize(n / 2 + 1);
    return v;
}

void check(bool ok, const char* what) {
    if (!ok) {
        std::printf("FAILED: %s\n", what);
        ++g_failures;
    }
}

}  // namespace

int main(int argc, char** argv) {
    const int expectedSlot = argc > 1 ? std::atoi(argv[1]) : -1;
    constexpr int kSmall = 67;
    constexpr int kLarge = 1 << 20;  // 8 MiB of doubles: the large-block memory paths
    // b and c also carry the real FFT's input and output up to order 21.
    std::vector<double> a(kLarge), b(2 * kLarge), c(2 * kLarge + 2);
    for (int i = 0; i < kLarge; ++i) a[i] = std::ldexp(1.0 + (i % 97) / 128.0, i % 41 - 20);
    for (int i = 0; i < 2 * kLarge; ++i) b[i] = -0.75 + (i % 13) / 7.0;

    // The first call of any operation picks the slot.
    check(dspSet64f(2.5, c.data() + 1, kSmall) == dspOk, "dspSet64f status");
    const DspCpuSlot slot = dspGetCpuSlot();
    for (int i = 1; i <= kSmall; ++i) check(c[i] == 2.5, "dspSet64f values");

    check(dspMulConstInPlace64f(-3.0, c.data() + 1, kSmall) == dspOk,
          "dspMulConstInPlace64f status");
    for (int i = 1; i <= kSmall; ++i) check(c[i] == -7.5, "dspMulConstInPlace64f values");

    check(dspMulConst64f(a.data(), 0.375, c.data() + 1, kLarge) == dspOk, "dspMulConst64f status");
    bool same = true;
    for (int i = 0; i < kLarge; ++i) same &= c[i + 1] == a[i] * 0.375;
    check(same, "dspMulConst64f values");

    check(dspMul64f(a.data(), b.data(), c.data(), kLarge) == dspOk, "dspMul64f status");
    same = true;
    for (int i = 0; i < kLarge; ++i) same &= c[i] == a[i] * b[i];
    check(same, "dspMul64f values");

    // The shortcuts: copy and zero of 8 MiB through the slot's memory routines.
    check(dspMulConst64f(a.data(), 1.0, c.data() + 1, kLarge) == dspOk, "copy shortcut status");
    check(std::memcmp(c.data() + 1, a.data(), kLarge * sizeof(double)) == 0,
          "copy shortcut values");
    check(dspMulConstInPlace64f(0.0, c.data() + 1, kLarge) == dspOk, "zero shortcut status");
    same = true;
    for (int i = 1; i <= kLarge; ++i) same &= c[i] == 0.0 && !std::signbit(c[i]);
    check(same, "zero shortcut values");
    check(dspSet64f(-1.0, c.data(), kLarge) == dspOk, "large fill status");
    same = true;
    for (int i = 0; i < kLarge; ++i) same &= c[i] == -1.0;
    check(same, "large fill values");

    const double z[6] = {3, 4, -5, 12, 0, -2};
    check(dspMagnitude64fc(z, c.data(), 3) == dspOk, "dspMagnitude64fc status");
    check(c[0] == 5.0 && c[1] == 13.0 && c[2] == 2.0, "dspMagnitude64fc values");

    // Every vector-math kernel of the rows the chosen slot runs (a slot without stubs of its own
    // runs those of the slot below it), each accuracy slot: arguments from tiny to past the
    // large-argument reduction, against the C library within the loosest bound of the kernels
    // (the fastest members' 1e-8).
    const double args[8] = {0.0, -1e-300, 0.5, -3.0, 100.25, 123456.789, -9.5e7, 1e300};
    const int stubs = std::min<int>(slot, kDspVecMathSlots - 1);
    const int rows[3] = {dspVecMathRowMagnitude(stubs), dspVecMathRowSine(stubs),
                         dspVecMathRowCosine(stubs)};
    for (int accuracy = 0; accuracy < 3; ++accuracy) {
        double r[8];
        check(dspVecMathTable[rows[0]].kernel[accuracy](z, r, 3) == dspOk,
              "magnitude kernel status");
        const double want[3] = {5.0, 13.0, 2.0};
        for (int i = 0; i < 3; ++i)
            check(std::fabs(r[i] - want[i]) <= 1e-8 * want[i], "magnitude kernel values");
        check(dspVecMathTable[rows[1]].kernel[accuracy](args, r, 8) == dspOk, "sine kernel status");
        for (int i = 0; i < 8; ++i)
            check(std::fabs(r[i] - std::sin(args[i])) <= 1e-8, "sine kernel values");
        check(dspVecMathTable[rows[2]].kernel[accuracy](args, r, 8) == dspOk,
              "cosine kernel status");
        for (int i = 0; i < 8; ++i)
            check(std::fabs(r[i] - std::cos(args[i])) <= 1e-8, "cosine kernel values");
    }

    // The real FFT: the size query, the set-up and the forward transform at orders 0 to 21 into
    // buffers of exactly the reported sizes. The forward transform is checked against a double
    // radix-2 FFT up to kReferenceOrder and by a round trip through the inverse above it (the
    // reference, emulated, took most of each model's run); the inverse against a closed form
    // where the slot has a path; both must refuse the other orders. Order 28 is refused only
    // where the slot's largest order is 27 (slot 0, slot 2 with MOVBE).
    constexpr int kReferenceOrder = 16;
    const bool movbe = dspCheckCpuFeatures(dspFeatMovbe) != 0;
    for (int order = 0; order <= 21; ++order) {
        int specSize = 0, bufSize = 0, workSize = 0;
        check(dspFftGetSizeReal64f(order, dspFftScaleNone, 0, &specSize, &bufSize, &workSize) ==
                  dspOk,
              "dspFftGetSizeReal64f status");
        std::vector<BYTE> specMem(specSize), specBuf(bufSize + 1), work(workSize + 1);
        DspFftSpecReal64f* spec = nullptr;
        check(dspFftInitReal64f(&spec, order, dspFftScaleFwd, 0, specMem.data(),
                                bufSize ? specBuf.data() : nullptr) == dspOk,
              "dspFftInitReal64f status");
        int32_t header[24] = {};
        if (spec) std::memcpy(header, spec, sizeof header);
        check(header[0] == 9 && header[1] == order, "spec tag and order");
        check(workSize == (header[7] ? header[7] + 64 : 0), "work size");
        const BYTE* s = reinterpret_cast<const BYTE*>(spec);
        check(s >= specMem.data() && s + 96 <= specMem.data() + specSize, "spec placement");
        const DspStatus forward = dspFftFwdRealToCcs64f(b.data(), c.data(), spec, work.data());
        if (order <= lastForwardOrder(slot, movbe)) {
            check(forward == dspOk, "dspFftFwdRealToCcs64f status");
            const int n = 1 << order;
            double err = 0, norm = 0;
            if (order <= kReferenceOrder) {
                const std::vector<std::complex<double>> want = realSpectrum(b.data(), order);
                for (int k = 0; k <= n / 2; ++k) {
                    const std::complex<double> got(c[2 * k], c[2 * k + 1]), w = want[k] / double(n);
                    err += std::norm(got - w);
                    norm += std::norm(w);
                }
            } else {
                // Back through the inverse, which the closed form below checks at this order.
                std::vector<double> back(n);
                check(dspFftInvCcsToReal64f(c.data(), back.data(), spec, work.data()) == dspOk,
                      "round trip status");
                for (int t = 0; t < n; ++t) {
                    err += (back[t] - b[t]) * (back[t] - b[t]);
                    norm += b[t] * b[t];
                }
            }
            check(std::sqrt(err / norm) <= 1e-15 * std::max(1, order),
                  "dspFftFwdRealToCcs64f values");
            check(c[1] == 0 && (n == 1 || c[n + 1] == 0), "dspFftFwdRealToCcs64f zero parts");
        } else {
            check(forward == dspErrFftOrder, "dspFftFwdRealToCcs64f unbuilt order");
        }
        bool right = false;
        const DspStatus inverse = inverseOfClosedForm(dspFftGetSizeReal64f, dspFftInitReal64f,
                                                      dspFftInvCcsToReal64f, order, &right);
        if (order <= lastInverseOrder(slot, movbe)) {
            check(inverse == dspOk && right, "dspFftInvCcsToReal64f values");
        } else {
            check(inverse == dspErrFftOrder, "dspFftInvCcsToReal64f unbuilt order");
        }
    }
    // Every body at or below the chosen slot (slot 2's without MOVBE too), one order per path:
    // real kernel, complex kernel, passes, block butterflies, recursive driver (slot 0 from 12,
    // slots 4 and 5 from 19).
    {
        struct Bodies {
            int slot;
            SizeFn size;
            InitFn init;
            TransformFn inv;
        };
        const Bodies bodies[] = {
            {0, dspFftGetSizeReal64f_s0, dspFftInitReal64f_s0, dspFftInvCcsToReal64f_s0},
            {1, dspFftGetSizeReal64f_s1, dspFftInitReal64f_s1, dspFftInvCcsToReal64f_s1},
            {2, dspFftGetSizeReal64f_s2, dspFftInitReal64f_s2, dspFftInvCcsToReal64f_s2},
            {2, dspFftGetSizeReal64f_s2n, dspFftInitReal64f_s2n, dspFftInvCcsToReal64f_s2n},
            {3, dspFftGetSizeReal64f_s3, dspFftInitReal64f_s3, dspFftInvCcsToReal64f_s3},
            {4, dspFftGetSizeReal64f_s4, dspFftInitReal64f_s4, dspFftInvCcsToReal64f_s4},
            {5, dspFftGetSizeReal64f_s5, dspFftInitReal64f_s5, dspFftInvCcsToReal64f_s5},
        };
        for (const Bodies& body : bodies) {
            if (body.slot > slot) continue;
            const bool own = body.inv != dspFftInvCcsToReal64f_s2n;
            const int last = lastInverseOrder(body.slot, own && movbe);
            for (int order : {3, 6, 9, 12, 13, 16, 19}) {
                if (order > last) continue;
                bool right = false;
                const DspStatus st =
                    inverseOfClosedForm(body.size, body.init, body.inv, order, &right);
                if (st != dspOk || !right) {
                    std::printf("FAILED: inverse body of slot %d%s, order %d\n", body.slot,
                                own ? "" : "n", order);
                    ++g_failures;
                }
            }
        }
    }
    {
        int specSize = 0, bufSize = 0, workSize = 0;
        const bool top27 = slot == 0 || (slot == 2 && dspCheckCpuFeatures(dspFeatMovbe));
        check(dspFftGetSizeReal64f(28, dspFftScaleNone, 0, &specSize, &bufSize, &workSize) ==
                  (top27 ? dspErrFftOrder : dspOk),
              "dspFftGetSizeReal64f order 28");
        check(dspFftInvCcsToReal64f(a.data(), c.data(), nullptr, nullptr) == dspErrNullPtr,
              "dspFftInvCcsToReal64f null spec");
    }

    int medianSize = 0;
    check(dspMedianGetBufferSize(5, 19, &medianSize) == dspOk && medianSize == 80,
          "dspMedianGetBufferSize");
    std::vector<BYTE> medianBuf(16 * 11);
    const double in[5] = {1, 5, 2, 8, 3}, want[5] = {1, 1, 2, 5, 3};
    double out[5], dly[10];
    for (int mask : {3, 5, 11}) {
        check(dspMedian64f(in, out, 5, mask, nullptr, dly, medianBuf.data()) == dspOk,
              "dspMedian64f status");
        if (mask == 3) check(std::memcmp(out, want, sizeof out) == 0, "dspMedian64f values");
        double inPlace[5];
        std::memcpy(inPlace, in, sizeof inPlace);
        check(dspMedianInPlace64f(inPlace, 5, mask, nullptr, dly, medianBuf.data()) == dspOk,
              "dspMedianInPlace64f status");
        check(std::memcmp(inPlace, out, sizeof out) == 0, "dspMedianInPlace64f values");
    }

    const DspStatus status = dspInitCpu();
    std::printf("slot %d status %d features 0x%llx\n", slot, status,
                static_cast<unsigned long long>(dspGetEnabledFeatures()));
    if (expectedSlot >= 0 && slot != expectedSlot) {
        std::printf("FAILED: expected slot %d\n", expectedSlot);
        ++g_failures;
    }
    return g_failures == 0 ? 0 : 1;
}
