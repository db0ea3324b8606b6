// CPU detection, the feature setting, the slot choice and the cache-size queries.
#include "dsp/internal.h"
#include "dsp/slot_list.h"
#if CORVANE_DSP_TEST_SEAMS
#include "dsp/testing.h"
#endif

#include <cpuid.h>

#include <algorithm>
#include <atomic>
#include <climits>
#include <cstring>

// The public slot numbers are the dispatch rows' indices.
static_assert(dspSlotGeneric == 0 && dspSlotSse2 == 1 && dspSlotSsse3 == 2 && dspSlotSse42 == 3 &&
                  dspSlotAvx == 4 && dspSlotAvx2 == 5 && dspSlotAvx2 < kDspSlotCount,
              "the slot numbers of include/corvane/dsp.h are the rows of dsp/slot_list.h");

std::atomic<DspCpuSlot> dspCpuSlot{dspSlotUnset};
std::atomic<DspCpuFeatures> dspEnabledFeatures{0};

// Leaf-2 descriptors of data and unified caches of 256 KiB and more (smaller caches never
// decide streaming), with their size codes.
const DspCacheDescriptorCode dspCacheDescriptorCodes[] = {
    {0x21, 0x10}, {0x22, 0x11}, {0x23, 0x12}, {0x24, 0x12}, {0x25, 0x13}, {0x29, 0x14},
    {0x42, 0x10}, {0x43, 0x11}, {0x44, 0x12}, {0x45, 0x13}, {0x46, 0x14}, {0x47, 0x15},
    {0x48, 0x32}, {0x49, 0x14}, {0x4A, 0x33}, {0x4B, 0x15}, {0x4C, 0x34}, {0x4D, 0x16},
    {0x4E, 0x33}, {0x78, 0x12}, {0x7A, 0x10}, {0x7B, 0x11}, {0x7C, 0x12}, {0x7D, 0x13},
    {0x7F, 0x11}, {0x80, 0x11}, {0x82, 0x10}, {0x83, 0x11}, {0x84, 0x12}, {0x85, 0x13},
    {0x86, 0x11}, {0x87, 0x12}, {0xD0, 0x11}, {0xD1, 0x12}, {0xD2, 0x13}, {0xD6, 0x12},
    {0xD7, 0x13}, {0xD8, 0x14}, {0xDC, 0x31}, {0xDD, 0x32}, {0xDE, 0x33}, {0xE2, 0x13},
    {0xE3, 0x14}, {0xE4, 0x15}, {0xEA, 0x34}, {0xEB, 0x93}, {0xEC, 0x35},
};
const int dspCacheDescriptorCodeCount =
    static_cast<int>(sizeof(dspCacheDescriptorCodes) / sizeof(dspCacheDescriptorCodes[0]));

namespace {

enum { kEax, kEbx, kEcx, kEdx };

void hardwareCpuid(uint32_t leaf, uint32_t subleaf, uint32_t regs[4]) {
    __cpuid_count(leaf, subleaf, regs[kEax], regs[kEbx], regs[kEcx], regs[kEdx]);
}

// Only called when CPUID reports OSXSAVE, so the instruction exists.
// The same form on x86 and x86-64.
uint64_t hardwareXgetbv(uint32_t index) {
    uint32_t lo, hi;
#if defined(__x86_64__) || defined(__i386__)
    __asm__ volatile("xgetbv" : "=a"(lo), "=d"(hi) : "c"(index));
#else
#error "CPU detection is written for x86 and x86-64"
#endif
    return (static_cast<uint64_t>(hi) << 32) | lo;
}

#if CORVANE_DSP_TEST_SEAMS
std::atomic<DspCpuidFn> g_cpuid{hardwareCpuid};
std::atomic<DspXgetbvFn> g_xgetbv{hardwareXgetbv};
std::atomic<int> g_detections{0};
std::atomic<bool> g_cacheInjected{false};
std::atomic<int> g_injectedStatus{0};
std::atomic<int> g_injectedSize{0};
thread_local int t_trace[dspTraceCount_];

DspCpuidFn currentCpuid() {
    return g_cpuid.load(std::memory_order_acquire);
}
DspXgetbvFn currentXgetbv() {
    return g_xgetbv.load(std::memory_order_acquire);
}
#else
DspCpuidFn currentCpuid() {
    return hardwareCpuid;
}
DspXgetbvFn currentXgetbv() {
    return hardwareXgetbv;
}
#endif

bool has(DspCpuFeatures mask, DspCpuFeatures bits) {
    return (mask & bits) == bits;
}

bool vendorIsIntel(const uint32_t regs[4]) {
    char vendor[12];
    std::memcpy(vendor, &regs[kEbx], 4);
    std::memcpy(vendor + 4, &regs[kEdx], 4);
    std::memcpy(vendor + 8, &regs[kEcx], 4);
    return std::memcmp(vendor, "GenuineIntel", 12) == 0;
}

// A feature and what it cannot work without, in an order where prerequisites come first so
// that one pass drops whole chains.
struct FeatureNeed {
    DspCpuFeatures feature;
    DspCpuFeatures needs;
};
constexpr FeatureNeed kNeeds[] = {
    {dspFeatSse2, dspFeatSse},
    {dspFeatSse3, dspFeatSse2},
    {dspFeatSsse3, dspFeatSse3},
    {dspFeatSse41, dspFeatSsse3},
    {dspFeatSse42, dspFeatSse41},
    {dspFeatAvx512Os, dspFeatAvxOs},
    {dspFeatAvx, dspFeatSse42},
    {dspFeatF16c, dspFeatAvx},
    {dspFeatFma, dspFeatAvx},
    {dspFeatAvx2, dspFeatAvx},
    {dspFeatAvx512f, dspFeatAvx2 | dspFeatFma},
    {dspFeatAvx512cd, dspFeatAvx512f},
    {dspFeatAvx512bw, dspFeatAvx512f},
    {dspFeatAvx512dq, dspFeatAvx512f},
    {dspFeatAvx512vl, dspFeatAvx512f},
};

constexpr DspCpuFeatures kAvxClass = dspFeatAvx | dspFeatF16c | dspFeatFma | dspFeatAvx2;
constexpr DspCpuFeatures kAvx512Class =
    dspFeatAvx512f | dspFeatAvx512cd | dspFeatAvx512bw | dspFeatAvx512dq | dspFeatAvx512vl;

int64_t deterministicCacheSize(DspCpuidFn cpuid, uint32_t leaf) {
    int64_t best = 0;
    uint32_t r[4];
    // Real processors list a handful of levels; the bound only protects against a bad source.
    for (uint32_t sub = 0; sub < 64; ++sub) {
        cpuid(leaf, sub, r);
        const uint32_t type = r[kEax] & 0x1F;
        if (type == 0) break;
        if (type != 1 && type != 3) continue;  // data or unified, not instruction caches
        const int64_t ways = (r[kEbx] >> 22) + 1;
        const int64_t partitions = ((r[kEbx] >> 12) & 0x3FF) + 1;
        const int64_t line = (r[kEbx] & 0xFFF) + 1;
        const int64_t sets = static_cast<int64_t>(r[kEcx]) + 1;
        best = std::max(best, ways * partitions * line * sets);
    }
    return best;
}

int64_t descriptorCacheSize(DspCpuidFn cpuid) {
    int64_t best = 0;
    uint32_t r[4];
    cpuid(2, 0, r);
    int rounds = static_cast<int>(r[kEax] & 0xFF);
    rounds = std::min(std::max(rounds, 1), 16);
    for (int round = 0; round < rounds; ++round) {
        if (round > 0) cpuid(2, 0, r);
        for (int reg = 0; reg < 4; ++reg) {
            if (r[reg] & 0x80000000u) continue;  // register holds no descriptors
            for (int byte = (reg == kEax ? 1 : 0); byte < 4; ++byte) {
                const uint8_t d = static_cast<uint8_t>(r[reg] >> (8 * byte));
                const DspCacheDescriptorCode* end =
                    dspCacheDescriptorCodes + dspCacheDescriptorCodeCount;
                const DspCacheDescriptorCode* it = std::lower_bound(
                    dspCacheDescriptorCodes, end, d,
                    [](const DspCacheDescriptorCode& c, uint8_t v) { return c.descriptor < v; });
                if (it == end || it->descriptor != d) continue;
                const int64_t size = static_cast<int64_t>(it->sizeCode >> 4)
                                     << ((it->sizeCode & 15) + 18);
                best = std::max(best, size);
            }
        }
    }
    return best;
}

DspStatus finishCacheAnswer(int64_t best, int* size) {
    if (best <= 0) return dspWarnNoCacheInfo;
    *size = static_cast<int>(std::min<int64_t>(best, INT_MAX));
    return dspOk;
}

// One process-wide answer per query: bit 62 marks it ready, bits 32..39 the status, the low
// word the size. Two threads asking at once both compute the same answer.
class CacheMemo {
public:
    template <typename Query>
    DspStatus get(int* size, Query query) {
        uint64_t v = value_.load(std::memory_order_acquire);
        if (!(v & kReady)) {
            int s = 0;
            const DspStatus st = query(&s);
            v = kReady | (static_cast<uint64_t>(static_cast<uint8_t>(st)) << 32) |
                static_cast<uint32_t>(s);
            value_.store(v, std::memory_order_release);
        }
        const DspStatus st = static_cast<int8_t>((v >> 32) & 0xFF);
        if (st == dspOk) *size = static_cast<int>(static_cast<uint32_t>(v));
        return st;
    }
    void clear() { value_.store(0, std::memory_order_release); }

private:
    static constexpr uint64_t kReady = uint64_t(1) << 62;
    std::atomic<uint64_t> value_{0};
};

CacheMemo g_maxCache;
CacheMemo g_descriptorCache;

#if CORVANE_DSP_TEST_SEAMS
bool injectedCacheAnswer(int* size, DspStatus* status) {
    if (!g_cacheInjected.load(std::memory_order_acquire)) return false;
    *status = g_injectedStatus.load(std::memory_order_relaxed);
    if (*status == dspOk) *size = g_injectedSize.load(std::memory_order_relaxed);
    return true;
}
#endif

}  // namespace

extern "C" {

DspStatus dspResolveFeatures(DspCpuFeatures requested, DspCpuFeatures* enabled) {
    DspStatus status = dspOk;
    DspCpuFeatures mask = requested;
    if (mask & ~dspFeatAll) {
        mask &= dspFeatAll;
        status = dspWarnUnknownFeature;
    }
    // Executing AVX instructions while the OS does not save their registers faults.
    if ((mask & kAvxClass) && !(mask & dspFeatAvxOs)) {
        mask &= ~(kAvxClass | kAvx512Class);
        if (status == dspOk) status = dspWarnFeatureNotSupported;
    }
    if ((mask & kAvx512Class) && !(mask & dspFeatAvx512Os)) {
        mask &= ~kAvx512Class;
        if (status == dspOk) status = dspWarnFeatureNotSupported;
    }
    for (const FeatureNeed& n : kNeeds) {
        if ((mask & n.feature) && !has(mask, n.needs)) {
            mask &= ~n.feature;
            if (status == dspOk) status = dspWarnFeatureCombination;
        }
    }
    *enabled = mask;
    return status;
}

DspCpuSlot dspSlotForFeatures(DspCpuFeatures f) {
    // The fastest dispatch slot whose row the features meet; slot 0 needs none.
    for (int s = kDspSlotCount - 1; s > 0; --s)
        if (kDspSlots[s].runsOn(f)) return s;
    return dspSlotGeneric;
}

void dspDetectCpu(DspCpuidFn cpuid, DspXgetbvFn xgetbv, DspCpuDetection* out) {
    uint32_t r[4];
    cpuid(0, 0, r);
    const uint32_t maxLeaf = r[kEax];
    out->genuineIntel = vendorIsIntel(r);
    DspCpuFeatures hw = 0;
    if (maxLeaf >= 1) {
        cpuid(1, 0, r);
        const uint32_t ecx = r[kEcx], edx = r[kEdx];
        if (edx & (1u << 23)) hw |= dspFeatMmx;
        if (edx & (1u << 25)) hw |= dspFeatSse;
        if (edx & (1u << 26)) hw |= dspFeatSse2;
        if (ecx & (1u << 0)) hw |= dspFeatSse3;
        if (ecx & (1u << 9)) hw |= dspFeatSsse3;
        if (ecx & (1u << 12)) hw |= dspFeatFma;
        if (ecx & (1u << 19)) hw |= dspFeatSse41;
        if (ecx & (1u << 20)) hw |= dspFeatSse42;
        if (ecx & (1u << 22)) hw |= dspFeatMovbe;
        if (ecx & (1u << 23)) hw |= dspFeatPopcnt;
        if (ecx & (1u << 28)) hw |= dspFeatAvx;
        if (ecx & (1u << 29)) hw |= dspFeatF16c;
        if (ecx & (1u << 27)) {  // OSXSAVE: XGETBV exists and XCR0 tells what the OS saves
            const uint64_t xcr0 = xgetbv(0);
            if ((xcr0 & 0x6) == 0x6) hw |= dspFeatAvxOs;
            if ((xcr0 & 0xE6) == 0xE6) hw |= dspFeatAvx512Os;
        }
    }
    if (maxLeaf >= 7) {
        cpuid(7, 0, r);
        const uint32_t ebx = r[kEbx];
        if (ebx & (1u << 5)) hw |= dspFeatAvx2;
        if (ebx & (1u << 16)) hw |= dspFeatAvx512f;
        if (ebx & (1u << 17)) hw |= dspFeatAvx512dq;
        if (ebx & (1u << 28)) hw |= dspFeatAvx512cd;
        if (ebx & (1u << 30)) hw |= dspFeatAvx512bw;
        if (ebx & (1u << 31)) hw |= dspFeatAvx512vl;
    }
    out->hardware = hw;
    out->status = dspResolveFeatures(hw, &out->enabled);
    out->slot = dspSlotForFeatures(out->enabled);
    if (out->slot == dspSlotGeneric && out->status == dspOk) out->status = dspWarnCpuNotSupported;
    if (!out->genuineIntel) out->status = dspWarnCpuVendor;
}

DspStatus DSP_CALL dspInitCpu(void) {
    DspCpuDetection d;
    dspDetectCpu(currentCpuid(), currentXgetbv(), &d);
#if CORVANE_DSP_TEST_SEAMS
    g_detections.fetch_add(1, std::memory_order_relaxed);
#endif
    dspEnabledFeatures.store(d.enabled, std::memory_order_release);
    dspCpuSlot.store(d.slot, std::memory_order_release);
    return d.status;
}

DspCpuSlot DSP_CALL dspGetCpuSlot(void) {
    return dspCpuSlot.load(std::memory_order_acquire);
}

DspCpuFeatures DSP_CALL dspGetEnabledFeatures(void) {
    if (dspCpuSlot.load(std::memory_order_acquire) < 0) return 0;
    return dspEnabledFeatures.load(std::memory_order_acquire);
}

int DSP_CALL dspCheckCpuFeatures(DspCpuFeatures mask) {
    if (dspCpuSlot.load(std::memory_order_acquire) < 0) dspInitCpu();
    return has(dspEnabledFeatures.load(std::memory_order_acquire), mask) ? 1 : 0;
}

DspStatus dspQueryMaxCacheSize(DspCpuidFn cpuid, int* size) {
    uint32_t r[4];
    cpuid(0, 0, r);
    const uint32_t maxLeaf = r[kEax];
    const bool intel = vendorIsIntel(r);
    int64_t best = 0;
    if (intel && maxLeaf >= 2) best = descriptorCacheSize(cpuid);
    if (maxLeaf >= 4) best = std::max(best, deterministicCacheSize(cpuid, 4));
    if (best == 0) {
        cpuid(0x80000000u, 0, r);
        const uint32_t maxExt = r[kEax];
        if (maxExt >= 0x8000001Du && maxExt < 0x8000FFFFu) {
            cpuid(0x80000001u, 0, r);
            if (r[kEcx] & (1u << 22)) best = deterministicCacheSize(cpuid, 0x8000001Du);
        }
        if (best == 0 && maxExt >= 0x80000006u && maxExt < 0x8000FFFFu) {
            cpuid(0x80000006u, 0, r);
            const int64_t l2 = static_cast<int64_t>(r[kEcx] >> 16) << 10;
            const int64_t l3 = static_cast<int64_t>(r[kEdx] >> 18) << 19;
            best = std::max(l2, l3);
        }
    }
    if (best == 0 && maxLeaf == 0) return dspWarnCpuNotSupported;
    return finishCacheAnswer(best, size);
}

DspStatus dspQueryDescriptorCacheSize(DspCpuidFn cpuid, int* size) {
    uint32_t r[4];
    cpuid(0, 0, r);
    if (!vendorIsIntel(r)) return dspWarnNoCacheInfo;
    if (r[kEax] < 2) return dspWarnCpuNotSupported;
    return finishCacheAnswer(descriptorCacheSize(cpuid), size);
}

DspStatus DSP_CALL dspGetMaxCacheSize(int* size) {
    if (!size) return dspErrNullPtr;
#if CORVANE_DSP_TEST_SEAMS
    DspStatus injected;
    if (injectedCacheAnswer(size, &injected)) return injected;
#endif
    return g_maxCache.get(size, [](int* s) { return dspQueryMaxCacheSize(currentCpuid(), s); });
}

DspStatus dspCacheSizeFromDescriptors(int* size) {
#if CORVANE_DSP_TEST_SEAMS
    DspStatus injected;
    if (injectedCacheAnswer(size, &injected)) return injected;
#endif
    return g_descriptorCache.get(
        size, [](int* s) { return dspQueryDescriptorCacheSize(currentCpuid(), s); });
}

#if CORVANE_DSP_TEST_SEAMS

void dspTestForceCpu(DspCpuSlot slot, DspCpuFeatures features) {
    dspEnabledFeatures.store(features, std::memory_order_release);
    dspCpuSlot.store(
        std::min<DspCpuSlot>(std::max<DspCpuSlot>(slot, dspSlotUnset), kDspSlotCount - 1),
        std::memory_order_release);
}

void dspTestResetCpu(void) {
    dspCpuSlot.store(dspSlotUnset, std::memory_order_release);
    dspEnabledFeatures.store(0, std::memory_order_release);
    g_cpuid.store(hardwareCpuid, std::memory_order_release);
    g_xgetbv.store(hardwareXgetbv, std::memory_order_release);
    g_cacheInjected.store(false, std::memory_order_release);
    g_maxCache.clear();
    g_descriptorCache.clear();
    g_detections.store(0, std::memory_order_release);
}

int dspTestDetectionCount(void) {
    return g_detections.load(std::memory_order_acquire);
}

void dspTestSetCpuidSource(DspCpuidFn cpuid, DspXgetbvFn xgetbv) {
    g_cpuid.store(cpuid ? cpuid : hardwareCpuid, std::memory_order_release);
    g_xgetbv.store(xgetbv ? xgetbv : hardwareXgetbv, std::memory_order_release);
    g_maxCache.clear();
    g_descriptorCache.clear();
}

void dspTestSetCacheSize(DspStatus status, int size) {
    g_injectedStatus.store(status, std::memory_order_relaxed);
    g_injectedSize.store(size, std::memory_order_relaxed);
    g_cacheInjected.store(true, std::memory_order_release);
}

void dspTestClearCacheSize(void) {
    g_cacheInjected.store(false, std::memory_order_release);
}

void dspTestTrace(int point) {
    if (point >= 0 && point < dspTraceCount_) ++t_trace[point];
}

int dspTestTraceCount(int point) {
    if (point == dspTraceDetect) return dspTestDetectionCount();
    return point >= 0 && point < dspTraceCount_ ? t_trace[point] : 0;
}

void dspTestTraceReset(void) {
    for (int& c : t_trace) c = 0;
}

#endif  // CORVANE_DSP_TEST_SEAMS

}  // extern "C"
