// Arrays of more than 2^28 - 1 doubles (more than 2^31 bytes) on every supported slot: zero,
// copy, their scale shortcuts and fill must cover every byte and nothing beyond. Needs about
// 2.2 GB: a program of its own, run only as the `large` CTest entry; skips when the memory
// cannot be had.
#include "dsp/testing.h"
#include "tests/dsp/slots.h"

#include <gtest/gtest.h>
#include <sys/mman.h>

#include <cstdlib>

namespace {

constexpr size_t kCount = 275000000;  // 2.2e9 bytes: beyond 2^31
constexpr size_t kBytes = kCount * 8;
constexpr size_t kGuard = 4096;
constexpr uint8_t kSentinel = 0xAB;

// Anonymous mapping; pages never written read as zero without taking memory.
struct Mapping {
    explicit Mapping(size_t n) : size(n) {
        void* p = mmap(nullptr, n, PROT_READ | PROT_WRITE,
                       MAP_PRIVATE | MAP_ANONYMOUS | MAP_NORESERVE, -1, 0);
        base = p == MAP_FAILED ? nullptr : static_cast<uint8_t*>(p);
    }
    ~Mapping() {
        if (base) munmap(base, size);
    }
    size_t size;
    uint8_t* base;
};

// Source marks of kMarkLen bytes: the first bytes, both sides of the first chunk end
// (2^31 - 32 bytes), both sides of 2^31, and the last bytes.
constexpr size_t kMarkLen = 16;
const size_t kMarks[] = {0,           2147483616 - kMarkLen, 2147483616, 2147483648u - kMarkLen,
                         2147483648u, kBytes - kMarkLen};

uint8_t markByte(size_t at, size_t i) {
    return static_cast<uint8_t>((at >> 7) + i * 3 + 1);
}

class LargeMemoryTest : public DspSlotTest {
protected:
    void SetUp() override {
        DspSlotTest::SetUp();
        if (IsSkipped()) return;
        dst_ = std::make_unique<Mapping>(kBytes + 2 * kGuard);
        src_ = std::make_unique<Mapping>(kBytes);
        if (!dst_->base || !src_->base) GTEST_SKIP() << "cannot map 2 x 2.2 GB";
        for (size_t at : kMarks)
            for (size_t i = 0; i < kMarkLen; ++i) src_->base[at + i] = markByte(at, i);
    }

    uint8_t* dst() { return dst_->base + kGuard; }
    void poison() { memset(dst_->base, kSentinel, dst_->size); }

    // dst holds zeros, or the source (zeros and the marks), and both guards the sentinel.
    ::testing::AssertionResult holds(bool marks) {
        for (size_t i = 0; i < kGuard; ++i)
            if (dst_->base[i] != kSentinel || dst()[kBytes + i] != kSentinel)
                return ::testing::AssertionFailure() << "guard byte " << i << " changed";
        const uint64_t* w = reinterpret_cast<const uint64_t*>(dst());
        for (size_t i = 0; i < kCount; ++i) {
            if (w[i] == 0) continue;
            const size_t at = i * 8;
            bool inMark = false;
            for (size_t m : kMarks) inMark |= marks && at >= m && at < m + kMarkLen;
            if (!inMark) return ::testing::AssertionFailure() << "byte " << at << " not zero";
        }
        if (marks)
            for (size_t at : kMarks)
                for (size_t i = 0; i < kMarkLen; ++i)
                    if (dst()[at + i] != markByte(at, i))
                        return ::testing::AssertionFailure() << "mark at " << at << " lost";
        return ::testing::AssertionSuccess();
    }

    std::unique_ptr<Mapping> dst_, src_;
};

TEST_P(LargeMemoryTest, ZeroAndCopyBeyondTwoGiB) {
    double* d = reinterpret_cast<double*>(dst());
    const double* s = reinterpret_cast<const double*>(src_->base);
    const int n = static_cast<int>(kCount);

    poison();
    ASSERT_EQ(dspslots::dspZero64f[slot()](d, n), dspOk);
    EXPECT_TRUE(holds(false)) << "dspZero64f";

    poison();
    ASSERT_EQ(dspslots::dspCopy64f[slot()](s, d, n), dspOk);
    EXPECT_TRUE(holds(true)) << "dspCopy64f";

    poison();
    ASSERT_EQ(dspslots::dspMulConstInPlace64f[slot()](0.0, d, n), dspOk);
    EXPECT_TRUE(holds(false)) << "dspMulConstInPlace64f with 0.0";

    poison();
    ASSERT_EQ(dspslots::dspMulConst64f[slot()](s, 1.0, d, n), dspOk);
    EXPECT_TRUE(holds(true)) << "dspMulConst64f with 1.0";

    poison();
    ASSERT_EQ(dspslots::dspSet64f[slot()](0.0, d, n), dspOk);
    EXPECT_TRUE(holds(false)) << "dspSet64f";
}

DSP_INSTANTIATE_SLOTS(LargeMemoryTest);

}  // namespace
