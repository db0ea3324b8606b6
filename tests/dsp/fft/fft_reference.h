// Reference transforms and helpers for the real-FFT transform tests: a long-double radix-2 FFT
// with exactly reduced angles (checked against a quad-precision direct DFT in
// test_fft_kernels.cpp), error measures, random signals, bit comparison and the x87 control
// word.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <complex>
#include <cstdint>
#include <cstring>
#include <random>
#include <string>
#include <vector>

namespace ffttest {

using Cl = std::complex<long double>;

// w_n^k = exp(sign 2 pi i k / n) for k reduced modulo n first, in long double.
inline Cl unitRoot(int64_t k, int64_t n, int sign) {
    const int64_t r = ((k % n) + n) % n;
    const long double a = 2 * acosl(-1.0L) * static_cast<long double>(r) / n;
    return {cosl(a), sign * sinl(a)};
}

// The complex DFT X[k] = sum_j x[j] exp(sign 2 pi i j k / n) of n = 2^b values, by an iterative
// radix-2 FFT in long double; sign -1 forward, +1 inverse, unscaled.
inline std::vector<Cl> complexDft(std::vector<Cl> x, int sign) {
    const int64_t n = static_cast<int64_t>(x.size());
    for (int64_t i = 1, j = 0; i < n; ++i) {
        int64_t bit = n >> 1;
        for (; j & bit; bit >>= 1) j ^= bit;
        j ^= bit;
        if (i < j) std::swap(x[i], x[j]);
    }
    std::vector<Cl> w(static_cast<size_t>(std::max<int64_t>(n / 2, 1)));
    for (int64_t k = 0; k < n / 2; ++k) w[k] = unitRoot(k, n, sign);
    for (int64_t len = 2; len <= n; len <<= 1) {
        const int64_t step = n / len;
        for (int64_t i = 0; i < n; i += len) {
            for (int64_t k = 0; k < len / 2; ++k) {
                const Cl u = x[i + k], v = x[i + k + len / 2] * w[k * step];
                x[i + k] = u + v;
                x[i + k + len / 2] = u - v;
            }
        }
    }
    return x;
}

// The complex DFT of n interleaved (re, im) doubles.
inline std::vector<Cl> complexDftOf(const double* z, int64_t n, int sign = -1) {
    std::vector<Cl> x(static_cast<size_t>(n));
    for (int64_t k = 0; k < n; ++k) x[k] = {z[2 * k], z[2 * k + 1]};
    return complexDft(std::move(x), sign);
}

// X[k], k = 0..N/2, of N real samples.
inline std::vector<Cl> realDft(const double* x, int64_t n) {
    std::vector<Cl> c(static_cast<size_t>(n));
    for (int64_t k = 0; k < n; ++k) c[k] = x[k];
    c = complexDft(std::move(c), -1);
    c.resize(static_cast<size_t>(n / 2 + 1));
    return c;
}

// x(t) = sum over k < N of X(k) e^(+2 pi i k t / N) for the bins X(0 .. N/2) of a real signal:
// X(N-k) = conj X(k), and the first and last bins are taken as real.
inline std::vector<long double> realInverseDft(const std::vector<Cl>& X, int64_t n) {
    std::vector<Cl> full(static_cast<size_t>(n));
    full[0] = X[0].real();
    if (n > 1) full[n / 2] = X[n / 2].real();
    for (int64_t k = 1; k < n / 2; ++k) {
        full[k] = X[k];
        full[n - k] = std::conj(X[k]);
    }
    std::vector<long double> out;
    for (const Cl& v : complexDft(std::move(full), +1)) out.push_back(v.real());
    return out;
}

// The bins X(0 .. N/2) held in the Perm layout (N doubles).
inline std::vector<Cl> binsOfPerm(const double* perm, int64_t n) {
    std::vector<Cl> X(static_cast<size_t>(n / 2 + 1));
    X[0] = perm[0];
    if (n > 1) X[n / 2] = perm[1];
    for (int64_t k = 1; k < n / 2; ++k) X[k] = {perm[2 * k], perm[2 * k + 1]};
    return X;
}

// The CCS layout (N + 2 doubles) of a reference spectrum times s.
inline std::vector<long double> ccsOf(const std::vector<Cl>& X, long double s = 1) {
    std::vector<long double> out;
    for (const Cl& v : X) {
        out.push_back(v.real() * s);
        out.push_back(v.imag() * s);
    }
    return out;
}

// The Perm layout (N doubles) of a reference spectrum of N real samples.
inline std::vector<long double> permOf(const std::vector<Cl>& X, int64_t n) {
    std::vector<long double> out(static_cast<size_t>(n));
    out[0] = X[0].real();
    if (n == 1) return out;
    out[1] = X[n / 2].real();
    for (int64_t k = 1; k < n / 2; ++k) {
        out[2 * k] = X[k].real();
        out[2 * k + 1] = X[k].imag();
    }
    return out;
}

// sqrt(sum (got - want)^2 / sum want^2) over n doubles.
inline double relativeRms(const double* got, const std::vector<long double>& want, size_t n) {
    long double err = 0, norm = 0;
    for (size_t i = 0; i < n; ++i) {
        const long double d = got[i] - want[i];
        err += d * d;
        norm += want[i] * want[i];
    }
    return norm > 0 ? static_cast<double>(sqrtl(err / norm)) : static_cast<double>(sqrtl(err));
}
inline std::vector<long double> flatten(const std::vector<Cl>& x) {
    return ccsOf(x);
}

// The accuracy promised: relative RMS error at most 2e-16 max(1, log2 N).
inline double rmsBound(int log2n) {
    return 2e-16 * std::max(1, log2n);
}

// Uniform in [-1, 1), reproducible per seed.
inline std::vector<double> randomSignal(size_t n, uint32_t seed) {
    std::mt19937_64 rng(seed);
    std::uniform_real_distribution<double> u(-1.0, 1.0);
    std::vector<double> x(n);
    for (double& v : x) v = u(rng);
    return x;
}

// Index of the first double whose bits differ, or -1.
inline long firstBitDifference(const double* a, const double* b, size_t n) {
    for (size_t i = 0; i < n; ++i)
        if (std::memcmp(a + i, b + i, sizeof(double)) != 0) return static_cast<long>(i);
    return -1;
}
inline ::testing::AssertionResult sameBits(const double* a, const double* b, size_t n) {
    const long i = firstBitDifference(a, b, n);
    if (i < 0) return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << "double " << i << ": " << a[i] << " against " << b[i];
}

// Doubles at an address `offset` bytes past a 64-byte boundary (offset a multiple of 8).
class Doubles {
public:
    Doubles(size_t n, size_t offset = 0) : raw_(n + 16), offset_(offset / 8) {
        const uintptr_t a = reinterpret_cast<uintptr_t>(raw_.data());
        base_ = ((a + 63) & ~uintptr_t(63)) - a;
        base_ /= sizeof(double);
    }
    double* data() { return raw_.data() + base_ + offset_; }
    const double* data() const { return raw_.data() + base_ + offset_; }

private:
    std::vector<double> raw_;
    size_t base_ = 0, offset_;
};

// The x87 control word of this thread. Slot 0 computes at the precision it sets and must
// never change it.
inline uint16_t x87ControlWord() {
    uint16_t cw;
    asm volatile("fnstcw %0" : "=m"(cw));
    return cw;
}
inline void setX87ControlWord(uint16_t cw) {
    asm volatile("fldcw %0" : : "m"(cw));
}
// Rounds the x87 unit to 53-bit significands for its lifetime (0x027F), then restores.
class X87DoublePrecision {
public:
    X87DoublePrecision() : saved_(x87ControlWord()) { setX87ControlWord(0x027F); }
    ~X87DoublePrecision() { setX87ControlWord(saved_); }
    X87DoublePrecision(const X87DoublePrecision&) = delete;
    X87DoublePrecision& operator=(const X87DoublePrecision&) = delete;

private:
    uint16_t saved_;
};

}  // namespace ffttest
