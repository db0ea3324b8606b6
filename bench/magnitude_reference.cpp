// The complex magnitude as a user writes it, compiled on its own with -O3 -mavx2 -mfma
// -fno-math-errno (bench/CMakeLists.txt), so that the compiler vectorises it with the square-root
// instruction of the library's AVX2 slot: the yardstick of the public magnitude in bench_vector.
#include <cmath>

void benchPlainMagnitude(const double* z, double* d, int n) {
    for (int i = 0; i < n; ++i) d[i] = std::sqrt(z[2 * i] * z[2 * i] + z[2 * i + 1] * z[2 * i + 1]);
}
