// Memory routines on every supported slot: exact bytes and untouched guards for every length
// 0..300 and every source/destination offset 0..63, the argument checks, and the
// cache-dependent store strategies (with injected cache sizes).
#include "dsp/testing.h"
#include "tests/dsp/slots.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <vector>

namespace {

constexpr size_t kGuard = DspGuardedBuffer::kGuard;
constexpr uint8_t kSentinel = 0xA5;

// A buffer with guard bytes on both sides, 64-byte aligned so that offsets are exact
// alignments. Everything outside the region a routine may write must keep the sentinel.
class Arena : public DspGuardedBuffer {
public:
    explicit Arena(size_t capacity) : DspGuardedBuffer(capacity + 64, 0, kSentinel) {}

    void fillPattern(uint32_t seed) {
        for (size_t i = 0; i < capacity(); ++i) {
            seed = seed * 1664525u + 1013904223u;
            at(i)[0] = static_cast<uint8_t>((seed >> 24) | 1);  // never 0
        }
    }
    // True when [at(offset), +len) equals expected (null: all zero) and the rest is sentinel.
    ::testing::AssertionResult holds(size_t offset, size_t len, const uint8_t* expected) const {
        const uint8_t* region = at(offset);
        // memcmp first (all zero: each byte equals the next and the first is 0): the byte loop
        // only to say where they differ.
        const bool same = len == 0 || (expected ? std::memcmp(region, expected, len) == 0
                                                : region[0] == 0 && std::memcmp(region, region + 1,
                                                                                len - 1) == 0);
        for (size_t i = 0; !same && i < len; ++i) {
            const uint8_t want = expected ? expected[i] : 0;
            if (region[i] != want)
                return ::testing::AssertionFailure()
                       << "byte " << i << " of " << len << " at offset " << offset << " is "
                       << int(region[i]) << ", expected " << int(want);
        }
        const long changed = changedOutside(offset, len);
        if (changed >= 0)
            return ::testing::AssertionFailure()
                   << "byte " << changed << " outside [" << offset << ", +" << len << ") changed";
        return ::testing::AssertionSuccess();
    }
};

using MemoryTest = DspTracedSlotTest;

constexpr size_t kMaxLen = 300;

TEST_P(MemoryTest, ZeroBytesEveryLengthAndOffset) {
    Arena dst(kMaxLen + 64);
    for (size_t off = 0; off < 64; ++off) {
        for (size_t len = 0; len <= kMaxLen; ++len) {
            dst.reset();
            ASSERT_EQ(dspslots::dspZeroBytes[slot()](dst.at(off), static_cast<int>(len)),
                      dst.at(off));
            ASSERT_TRUE(dst.holds(off, len, nullptr));
        }
    }
    dst.reset();
    dspslots::dspZeroBytes[slot()](dst.at(3), -5);
    ASSERT_TRUE(dst.holds(0, 0, nullptr));
}

// Copy routines of bytes: fn(src, dst, len) must copy exactly len bytes.
template <typename Fn>
void checkEveryCopy(Fn copy, size_t elementSize) {
    const size_t maxBytes = kMaxLen * elementSize;
    Arena src(maxBytes + 64), dst(maxBytes + 64);
    src.fillPattern(12345);
    for (size_t srcOff = 0; srcOff < 64; ++srcOff) {
        for (size_t dstOff = 0; dstOff < 64; ++dstOff) {
            for (size_t len = 0; len <= kMaxLen; ++len) {
                dst.reset();
                copy(src.at(srcOff), dst.at(dstOff), static_cast<int>(len));
                ASSERT_TRUE(dst.holds(dstOff, len * elementSize, src.at(srcOff)))
                    << "source offset " << srcOff;
            }
        }
    }
}

TEST_P(MemoryTest, CopyBytesEveryLengthAndOffset) {
    checkEveryCopy([this](const uint8_t* s, uint8_t* d,
                          int n) { ASSERT_EQ(dspslots::dspCopyBytes[slot()](s, d, n), d); },
                   1);
}

// The guarded byte copy exists from slot 1 on.
class CopyCheckedTest : public MemoryTest {};

TEST_P(CopyCheckedTest, EveryLengthAndOffset) {
    checkEveryCopy(
        [this](const uint8_t* s, uint8_t* d, int n) {
            ASSERT_EQ(dspslots::dspCopyChecked[slot()](s, d, n), n < 1 ? dspErrSize : dspOk);
        },
        1);
}

TEST_P(MemoryTest, Copy64fEveryLengthAndOffset) {
    checkEveryCopy(
        [this](const uint8_t* s, uint8_t* d, int n) {
            ASSERT_EQ(dspslots::dspCopy64f[slot()](reinterpret_cast<const double*>(s),
                                                   reinterpret_cast<double*>(d), n),
                      n < 1 ? dspErrSize : dspOk);
        },
        8);
}

TEST_P(MemoryTest, Zero64fEveryLengthAndOffset) {
    Arena dst(kMaxLen * 8 + 64);
    for (size_t off = 0; off < 64; ++off) {
        for (size_t len = 0; len <= kMaxLen; ++len) {
            dst.reset();
            ASSERT_EQ(dspslots::dspZero64f[slot()](reinterpret_cast<double*>(dst.at(off)),
                                                   static_cast<int>(len)),
                      len < 1 ? dspErrSize : dspOk);
            ASSERT_TRUE(dst.holds(off, len * 8, nullptr));
        }
    }
}

TEST_P(MemoryTest, GuardedRoutinesTestPointersBeforeLengths) {
    Arena buf(64);
    double* d = reinterpret_cast<double*>(buf.at(0));
    const double* s = reinterpret_cast<const double*>(buf.at(8));
    struct Case {
        const char* name;
        DspStatus got, want;
    };
    const Case cases[] = {
        {"zero null, len 0", dspslots::dspZero64f[slot()](nullptr, 0), dspErrNullPtr},
        {"zero null, len 4", dspslots::dspZero64f[slot()](nullptr, 4), dspErrNullPtr},
        {"zero len 0", dspslots::dspZero64f[slot()](d, 0), dspErrSize},
        {"zero len -1", dspslots::dspZero64f[slot()](d, -1), dspErrSize},
        {"copy null src, len 0", dspslots::dspCopy64f[slot()](nullptr, d, 0), dspErrNullPtr},
        {"copy null dst", dspslots::dspCopy64f[slot()](s, nullptr, 2), dspErrNullPtr},
        {"copy len 0", dspslots::dspCopy64f[slot()](s, d, 0), dspErrSize},
        {"copy len min", dspslots::dspCopy64f[slot()](s, d, INT32_MIN), dspErrSize},
    };
    for (const Case& c : cases) EXPECT_EQ(c.got, c.want) << c.name;
    EXPECT_TRUE(buf.holds(0, 0, nullptr)) << "a refused call wrote";
    if (dspslots::dspCopyChecked[slot()]) {
        EXPECT_EQ(dspslots::dspCopyChecked[slot()](buf.at(8), buf.at(0), 0), dspErrSize);
        EXPECT_EQ(dspslots::dspCopyChecked[slot()](nullptr, buf.at(0), 0), dspErrNullPtr);
        EXPECT_EQ(dspslots::dspCopyChecked[slot()](buf.at(8), nullptr, 5), dspErrNullPtr);
        EXPECT_TRUE(buf.holds(0, 0, nullptr));
    }
}

DSP_INSTANTIATE_SLOTS(MemoryTest);
DSP_INSTANTIATE_SLOTS_OF(CopyCheckedTest, dspslots::dspCopyChecked);

// ---------------------------------------------------------------------------------------------
// Store strategies of slots 4 and 5.

constexpr int kMiB = 1024 * 1024;

// Offsets count from a 4 KiB boundary, so two buffers have the page phases the test gives.
struct LargeBuffer {
    explicit LargeBuffer(size_t bytes) : data(bytes + 2 * kGuard + 4096) {}
    uint8_t* at(size_t offset) {
        const uintptr_t base = reinterpret_cast<uintptr_t>(data.data()) + kGuard;
        return reinterpret_cast<uint8_t*>((base + 4095) & ~uintptr_t(4095)) + offset;
    }
    std::vector<uint8_t> data;
};

// Whether [p, p + len) equals want (null: zero) and the kGuard bytes on each side are sentinel.
::testing::AssertionResult regionHolds(const uint8_t* p, size_t len, const uint8_t* want) {
    for (size_t i = 1; i <= kGuard; ++i)
        if (p[-static_cast<ptrdiff_t>(i)] != kSentinel || p[len + i - 1] != kSentinel)
            return ::testing::AssertionFailure() << "guard byte changed near " << i;
    if (want ? memcmp(p, want, len) != 0
             : std::any_of(p, p + len, [](uint8_t b) { return b != 0; }))
        return ::testing::AssertionFailure() << "content differs";
    return ::testing::AssertionSuccess();
}

class StrategyTest : public ::testing::Test {
protected:
    void SetUp() override {
        dspTestResetCpu();
        dspTestTraceReset();
    }
    void TearDown() override { dspTestResetCpu(); }
};

TEST_F(StrategyTest, ZeroStreamsAboveTwoMiBAndAboveTheCache) {
    struct Case {
        int slot;
        size_t bytes, offset;
        DspStatus cacheStatus;
        int cache;
        bool streams;
    };
    const Case cases[] = {
        {4, 3 * kMiB, 0, dspOk, 2 * kMiB, true},     {4, 3 * kMiB, 0, dspOk, 8 * kMiB, false},
        {4, 2 * kMiB, 0, dspOk, 1 * kMiB, false},  // 2 MiB never streams
        {4, 2 * kMiB + 8, 8, dspOk, 1 * kMiB, true}, {4, 3 * kMiB, 0, dspWarnNoCacheInfo, 0, false},
        {4, 3 * kMiB, 0, dspOk, 3 * kMiB, false},  // not greater than the cache
        {5, 3 * kMiB, 24, dspOk, 2 * kMiB, true},    {5, 3 * kMiB, 0, dspOk, 8 * kMiB, false},
        {5, 5 * kMiB + 1000, 40, dspOk, 0, false},
    };
    for (const Case& c : cases) {
        if (!dspSlotSupported(c.slot)) continue;
        SCOPED_TRACE(::testing::Message() << "slot " << c.slot << ", " << c.bytes << " bytes at +"
                                          << c.offset << ", cache " << c.cache);
        LargeBuffer buf(c.bytes + c.offset);
        std::fill(buf.data.begin(), buf.data.end(), kSentinel);
        dspTestSetCacheSize(c.cacheStatus, c.cache);
        dspTestTraceReset();
        ASSERT_EQ(dspslots::dspZero64f[c.slot](reinterpret_cast<double*>(buf.at(c.offset)),
                                               static_cast<int>(c.bytes / 8)),
                  dspOk);
        EXPECT_EQ(dspTestTraceCount(dspTraceZeroStream), c.streams ? 1 : 0);
        EXPECT_TRUE(regionHolds(buf.at(c.offset), c.bytes, nullptr));
    }
}

TEST_F(StrategyTest, StreamingZeroOfBytesAtEveryPhase) {
    using StreamFn = BYTE*(DSP_CALL*)(BYTE*, int);
    const std::pair<int, StreamFn> routines[] = {{4, dspZeroBytesStreaming_s4},
                                                 {5, dspZeroBytesStreaming_s5}};
    const size_t base = 2 * kMiB + 64;
    LargeBuffer buf(base + 128);
    dspTestSetCacheSize(dspOk, 1 * kMiB);
    for (const auto& r : routines) {
        if (!dspSlotSupported(r.first)) continue;
        for (size_t offset : {0, 1, 7, 8, 31, 33, 63}) {
            for (size_t extra : {0, 1, 8, 15, 16, 31, 33, 63}) {
                SCOPED_TRACE(::testing::Message()
                             << "slot " << r.first << " +" << offset << " len+" << extra);
                std::fill(buf.data.begin(), buf.data.end(), kSentinel);
                dspTestTraceReset();
                EXPECT_EQ(r.second(buf.at(offset), static_cast<int>(base + extra)), buf.at(offset));
                EXPECT_EQ(dspTestTraceCount(dspTraceZeroStream), 1);
                ASSERT_TRUE(regionHolds(buf.at(offset), base + extra, nullptr));
            }
        }
    }
}

TEST_F(StrategyTest, GuardedCopiesSwitchAt32KiB) {
    struct Case {
        int slot;
        int bytes;
        bool moves;  // the string moves must run
    };
    const Case cases[] = {
        {4, 32767, false}, {4, 32768, true}, {4, 100003, true}, {5, 32767, false}, {5, 32768, true},
    };
    dspTestSetCacheSize(dspOk, 64 * kMiB);
    for (const Case& c : cases) {
        if (!dspSlotSupported(c.slot)) continue;
        SCOPED_TRACE(::testing::Message() << "slot " << c.slot << ", " << c.bytes << " bytes");
        // Page offsets far apart so that slot 5 takes the forward string moves.
        LargeBuffer src(c.bytes + 4096), dst(c.bytes + 4096);
        for (size_t i = 0; i < src.data.size(); ++i) src.data[i] = static_cast<uint8_t>(i * 7 + 3);
        std::fill(dst.data.begin(), dst.data.end(), kSentinel);
        dspTestTraceReset();
        ASSERT_EQ(dspslots::dspCopyChecked[c.slot](src.at(5), dst.at(1000), c.bytes), dspOk);
        EXPECT_EQ(dspTestTraceCount(dspTraceCopyMove), c.moves ? 1 : 0);
        EXPECT_TRUE(regionHolds(dst.at(1000), c.bytes, src.at(5)));
    }
}

TEST_F(StrategyTest, SlotFiveCopyStreamsFromHalfTheCache) {
    DSP_SKIP_UNLESS_SLOT(5);
    struct Case {
        int bytes;
        DspStatus cacheStatus;
        int cache;
        bool streams;
    };
    const Case cases[] = {
        {5 * kMiB, dspOk, 8 * kMiB, true},
        {5 * kMiB, dspOk, 16 * kMiB, false},
        {4 * kMiB, dspOk, 1 * kMiB, false},  // 4 MiB is not above 4 MiB
        {4 * kMiB + 8, dspOk, 1 * kMiB, true},
        {5 * kMiB, dspOk, 10 * kMiB, true},  // exactly half
        {5 * kMiB, dspWarnCpuNotSupported, 0, false},
    };
    for (const Case& c : cases) {
        for (size_t srcOff : {0, 3}) {
            for (size_t dstOff : {200, 1000 + 61}) {
                SCOPED_TRACE(::testing::Message() << c.bytes << " bytes, cache " << c.cache
                                                  << ", src +" << srcOff << ", dst +" << dstOff);
                LargeBuffer src(c.bytes + 4096), dst(c.bytes + 4096);
                for (size_t i = 0; i < src.data.size(); ++i)
                    src.data[i] = static_cast<uint8_t>(i * 13 + 1);
                std::fill(dst.data.begin(), dst.data.end(), kSentinel);
                dspTestSetCacheSize(c.cacheStatus, c.cache);
                dspTestTraceReset();
                ASSERT_EQ(dspCopy64f_s5(reinterpret_cast<const double*>(src.at(srcOff)),
                                        reinterpret_cast<double*>(dst.at(dstOff)), c.bytes / 8),
                          dspOk);
                EXPECT_EQ(dspTestTraceCount(dspTraceCopyStream), c.streams ? 1 : 0);
                EXPECT_TRUE(regionHolds(dst.at(dstOff), c.bytes, src.at(srcOff)));
            }
        }
    }
}

// A destination that trails its source by less than 160 bytes modulo 4 KiB is copied from the
// end. Every byte of [dst, dst + len) must arrive, whatever the phases of dst and dst + len.
TEST_F(StrategyTest, SlotFiveBackwardCopyCoversEveryByte) {
    DSP_SKIP_UNLESS_SLOT(5);
    dspTestSetCacheSize(dspOk, 64 * kMiB);
    const int lengths[] = {32768, 32769, 32768 + 63, 32768 + 64, 32768 + 65, 65536, 65536 + 100};
    LargeBuffer src(70000 + 8192), dst(70000 + 8192);
    for (size_t i = 0; i < src.data.size(); ++i) src.data[i] = static_cast<uint8_t>(i * 31 + 7);
    int backward = 0, forward = 0;
    for (int len : lengths) {
        for (size_t srcOff : {0, 5, 64, 130}) {
            for (size_t trail : {0, 1, 63, 64, 100, 159, 160, 4000}) {
                const size_t dstOff = srcOff + trail;
                SCOPED_TRACE(::testing::Message()
                             << len << " bytes, src +" << srcOff << ", trail " << trail);
                std::fill(dst.data.begin(), dst.data.end(), kSentinel);
                dspTestTraceReset();
                ASSERT_EQ(dspCopyChecked_s5(src.at(srcOff), dst.at(dstOff), len), dspOk);
                const bool expectBackward = trail < 160;
                EXPECT_EQ(dspTestTraceCount(dspTraceCopyBackward), expectBackward ? 1 : 0);
                EXPECT_EQ(dspTestTraceCount(dspTraceCopyMove), expectBackward ? 0 : 1);
                backward += dspTestTraceCount(dspTraceCopyBackward);
                forward += dspTestTraceCount(dspTraceCopyMove);
                ASSERT_TRUE(regionHolds(dst.at(dstOff), len, src.at(srcOff)));
            }
        }
    }
    EXPECT_GT(backward, 0);
    EXPECT_GT(forward, 0);
}

TEST_F(StrategyTest, StringMovesAtEveryPhase) {
    DSP_SKIP_UNLESS_SLOT(4);
    LargeBuffer src(300), dst(300);
    for (size_t i = 0; i < src.data.size(); ++i) src.data[i] = static_cast<uint8_t>(i + 1);
    for (size_t srcOff : {0, 1, 2, 3}) {
        for (size_t dstOff : {0, 1, 2, 3}) {
            for (int len : {1, 2, 3, 4, 5, 6, 7, 200, 201, 202, 203}) {
                std::fill(dst.data.begin(), dst.data.end(), kSentinel);
                ASSERT_EQ(dspMoveBytes_s4(src.at(srcOff), dst.at(dstOff), len), dst.at(dstOff));
                ASSERT_TRUE(regionHolds(dst.at(dstOff), len, src.at(srcOff)))
                    << srcOff << " " << dstOff << " " << len;
            }
        }
    }
}

// The string-move copy runs with the direction flag as the caller left it: a copy entered with
// the flag set (which no compiled code does, so the call is made from assembly) must still go
// forward, and the flag must be set again on return; entered with it clear, it stays clear.
using MoveFn = BYTE*(DSP_CALL*)(const BYTE*, BYTE*, int);

BYTE* moveWithDirection(MoveFn fn, const BYTE* src, BYTE* dst, int len, bool setOnEntry,
                        bool* setOnReturn) {
    BYTE* result;
    unsigned long flags;
#if defined(__x86_64__)
    const BYTE* s = src;
    BYTE* d = dst;
    long n = len;
    // Below the red zone and 16-byte aligned for the call; r12 (callee-saved) keeps the stack.
    __asm__ volatile(
        "movq %%rsp, %%r12\n\t"
        "subq $128, %%rsp\n\t"
        "andq $-16, %%rsp\n\t"
        "testl %k[set], %k[set]\n\t"
        "jz 1f\n\t"
        "std\n"
        "1:\n\t"
        "call *%[fn]\n\t"
        "pushfq\n\t"
        "popq %%rcx\n\t"
        "cld\n\t"
        "movq %%r12, %%rsp"
        : "=a"(result), "=c"(flags), "+D"(s), "+S"(d), "+d"(n)
        : [fn] "b"(fn), [set] "r"(static_cast<int>(setOnEntry))
        : "r8", "r9", "r10", "r11", "r12", "memory", "cc", "xmm0", "xmm1", "xmm2", "xmm3", "xmm4",
          "xmm5", "xmm6", "xmm7", "xmm8", "xmm9", "xmm10", "xmm11", "xmm12", "xmm13", "xmm14",
          "xmm15");
#elif defined(__i386__)
    // Standard call: the arguments go on the stack right to left and the callee pops them. Every
    // operand sits in a register, since the pushes move the stack under memory operands; eax
    // carries the source in and the result out, edx is the callee's to change.
    uintptr_t eax = reinterpret_cast<uintptr_t>(src);
    BYTE* d = dst;
    __asm__ volatile(
        "testl %[set], %[set]\n\t"
        "jz 1f\n\t"
        "std\n"
        "1:\n\t"
        "pushl %[len]\n\t"
        "pushl %[dst]\n\t"
        "pushl %[src]\n\t"
        "call *%[fn]\n\t"
        "pushfl\n\t"
        "popl %%ecx\n\t"
        "cld"
        : [src] "+a"(eax), "=c"(flags), [dst] "+d"(d)
        : [fn] "b"(fn), [set] "S"(static_cast<int>(setOnEntry)), [len] "D"(len)
        : "memory", "cc", "xmm0", "xmm1", "xmm2", "xmm3", "xmm4", "xmm5", "xmm6", "xmm7");
    result = reinterpret_cast<BYTE*>(eax);
#else
#error "the direction-flag call is written for x86 only"
#endif
    *setOnReturn = (flags & 0x400) != 0;
    return result;
}

TEST_F(StrategyTest, StringMovesKeepTheCallersDirectionFlag) {
    DSP_SKIP_UNLESS_SLOT(4);
    const std::pair<int, MoveFn> routines[] = {{4, dspslots::dspMoveBytes[4]},
                                               {5, dspslots::dspMoveBytes[5]}};
    LargeBuffer src(300), dst(300);
    for (size_t i = 0; i < src.data.size(); ++i) src.data[i] = static_cast<uint8_t>(i * 5 + 2);
    for (const auto& r : routines) {
        if (!dspSlotSupported(r.first)) continue;
        for (bool setOnEntry : {false, true}) {
            for (size_t srcOff : {0, 1, 2}) {
                for (int len : {1, 3, 8, 203}) {
                    SCOPED_TRACE(::testing::Message()
                                 << "slot " << r.first << ", flag " << setOnEntry << ", src +"
                                 << srcOff << ", " << len << " bytes");
                    std::fill(dst.data.begin(), dst.data.end(), kSentinel);
                    bool setOnReturn = !setOnEntry;
                    EXPECT_EQ(moveWithDirection(r.second, src.at(srcOff), dst.at(4), len,
                                                setOnEntry, &setOnReturn),
                              dst.at(4));
                    EXPECT_EQ(setOnReturn, setOnEntry);
                    ASSERT_TRUE(regionHolds(dst.at(4), len, src.at(srcOff)));
                }
            }
        }
    }
}

}  // namespace
