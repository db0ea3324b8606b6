// Memory routines of one CPU slot: byte zero and copy, the guarded zero and copy of doubles,
// the guarded byte copy, and in slots 4 and 5 the large-block fronts (streaming zero, string
// moves, the slot-5 streaming and backward copies).
#include "dsp/internal.h"
#include "dsp/small_copy.h"
#include "dsp/vec.h"

namespace {

using u8 = uint8_t;

// Byte counts above 2^31 - 1 go through the byte routines in chunks: while more than
// 2^28 - 1 doubles remain, 2^31 - 32 bytes (2^28 - 4 doubles) at a time, so chunks keep the
// 32-byte alignment relation of the start.
constexpr int64_t kChunkElements = 268435455;
constexpr int kChunkBytes = 2147483616;

template <typename Step>
void inChunks(int len, Step step) {
    int64_t remaining = len;
    size_t offset = 0;
    while (remaining > kChunkElements) {
        step(offset, kChunkBytes);
        offset += static_cast<size_t>(kChunkBytes);
        remaining -= kChunkBytes / 8;
    }
    step(offset, static_cast<int>(remaining * 8));
}

#if DSP_SLOT == 0

// Byte stores up to a 4-byte boundary, 32-byte groups of 32-bit words, then pairs and the odd
// last byte.
void zeroBytes(u8* dst, int len) {
    size_t n = static_cast<size_t>(len);
    while (n > 0 && !aligned(dst, 4)) {
        *dst++ = 0;
        --n;
    }
    const uint32_t zero = 0;
    for (size_t groups = n / 32; groups > 0; --groups) {
        for (int w = 0; w < 8; ++w) memcpy(dst + 4 * w, &zero, 4);
        dst += 32;
    }
    n &= 31;
    for (; n >= 2; n -= 2, dst += 2) dst[0] = dst[1] = 0;
    if (n) *dst = 0;
}

// Forward 8-byte integer moves (no SSE in this slot), then the last 1 to 15 bytes.
void copyBytes(const u8* src, u8* dst, int len) {
    copySmall(src, dst, static_cast<size_t>(len));
}

#else

// Vector zero: an unaligned head vector, aligned blocks of four vectors, aligned single
// vectors, and an unaligned tail vector that ends exactly at the end (it may overlap what is
// already zero). Below one vector, overlapping smaller stores.
void zeroBytes(u8* dst, int len) {
    const size_t n = static_cast<size_t>(len);
    if (n < kVecBytes) {
        static const u8 zeros[kVecBytes] = {};
        copySmall(zeros, dst, n);
        return;
    }
    const VB z = bzero();
    u8* const end = dst + n;
    bstoreu(dst, z);
    u8* p = dst + kVecBytes - (reinterpret_cast<uintptr_t>(dst) & (kVecBytes - 1));
    for (; static_cast<size_t>(end - p) >= 4 * kVecBytes; p += 4 * kVecBytes) {
        bstore(p, z);
        bstore(p + kVecBytes, z);
        bstore(p + 2 * kVecBytes, z);
        bstore(p + 3 * kVecBytes, z);
    }
    for (; static_cast<size_t>(end - p) >= kVecBytes; p += kVecBytes) bstore(p, z);
    bstoreu(end - kVecBytes, z);
}

// Vector copy with the same shape as zeroBytes; unaligned loads, aligned stores. Slots 4 and 5
// align dst only from 256 bytes on; shorter copies use unaligned moves throughout.
void copyBytes(const u8* src, u8* dst, int len) {
    const size_t n = static_cast<size_t>(len);
#if DSP_SLOT >= 4
    constexpr size_t kAlignFrom = 256;
#else
    constexpr size_t kAlignFrom = 2 * kVecBytes;
#endif
    if (n < kAlignFrom) {
        copySmall(src, dst, n);
        return;
    }
    u8* const end = dst + n;
    const u8* const srcEnd = src + n;
    bstoreu(dst, bloadu(src));
    const size_t head = kVecBytes - (reinterpret_cast<uintptr_t>(dst) & (kVecBytes - 1));
    u8* p = dst + head;
    const u8* s = src + head;
    for (; static_cast<size_t>(end - p) >= 4 * kVecBytes; p += 4 * kVecBytes, s += 4 * kVecBytes) {
        const VB a = bloadu(s), b = bloadu(s + kVecBytes), c = bloadu(s + 2 * kVecBytes),
                 d = bloadu(s + 3 * kVecBytes);
        bstore(p, a);
        bstore(p + kVecBytes, b);
        bstore(p + 2 * kVecBytes, c);
        bstore(p + 3 * kVecBytes, d);
    }
    for (; static_cast<size_t>(end - p) >= kVecBytes; p += kVecBytes, s += kVecBytes)
        bstore(p, bloadu(s));
    bstoreu(end - kVecBytes, bloadu(srcEnd - kVecBytes));
}

#endif

#if DSP_SLOT >= 4

// 2 MiB: below this zeroing never streams.
constexpr int kZeroStreamFrom = 0x200000;

// Non-temporal zero of a large range when it exceeds the largest cache; otherwise ordinary.
void zeroStreaming(u8* dst, int len) {
    int cache = 0;
    if (len <= kZeroStreamFrom || dspGetMaxCacheSize(&cache) != dspOk || cache <= 0 ||
        len <= cache) {
        zeroBytes(dst, len);
        return;
    }
    DSP_TRACE(dspTraceZeroStream);
    u8* p = dst;
    size_t n = static_cast<size_t>(len);
    const VB z = bzero();
    if (!aligned(p, 64)) {
        // The head store covers the bytes up to the boundary and overlaps the first block.
        bstoreu(p, z);
        bstoreu(p + 32, z);
        const size_t head = toAlign(p, 64);
        p += head;
        n -= head;
    }
    for (; n >= 64; n -= 64, p += 64) {
        bstream(p, z);
        bstream(p + 32, z);
    }
    if (n & 32) {
        bstream(p, z);
        p += 32;
    }
    if (n & 16) {
        b16stream(p, b16zero());
        p += 16;
    }
    if (n & 8) {
        st64(p, 0);
        p += 8;
    }
    if (n & 4) {
        memset(p, 0, 4);
        p += 4;
    }
    if (n & 2) {
        p[0] = p[1] = 0;
        p += 2;
    }
    if (n & 1) *p = 0;
    fence();
}

#endif

#if DSP_SLOT == 4

// Forward string moves. The direction flag is read without disturbing the red zone below the
// stack pointer, cleared for the copy and set again when it was set on entry.
u8* moveBytes(const u8* src, u8* dst, int len) {
    if (len < 1) return dst;
    unsigned long flags;
#if defined(__x86_64__)
    __asm__ volatile("lea -128(%%rsp), %%rsp\n\tpushfq\n\tpopq %0\n\tlea 128(%%rsp), %%rsp"
                     : "=r"(flags)
                     :
                     : "memory");
#elif defined(__i386__)
    // No red zone on i686: the push may use the stack as it is.
    __asm__ volatile("pushfl\n\tpopl %0" : "=r"(flags) : : "memory");
#else
#error "the flags read of the string moves is written for x86 only"
#endif
    const bool directionSet = (flags & 0x400) != 0;
    if (directionSet) __asm__ volatile("cld" ::: "memory");
    const u8* s = src;
    u8* d = dst;
    size_t n = static_cast<size_t>(len);
    const uintptr_t phase = reinterpret_cast<uintptr_t>(s) ^ reinterpret_cast<uintptr_t>(d);
    if (phase & 1) {
        __asm__ volatile("rep movsb" : "+D"(d), "+S"(s), "+c"(n) : : "memory");
    } else {
        const bool words32 = (phase & 3) == 0;
        if ((reinterpret_cast<uintptr_t>(d) & 1) && n) {
            *d++ = *s++;
            --n;
        }
        if (words32 && (reinterpret_cast<uintptr_t>(d) & 2) && n >= 2) {
            memcpy(d, s, 2);
            d += 2, s += 2, n -= 2;
        }
        size_t words = words32 ? n / 4 : n / 2;
        const size_t rest = words32 ? n & 3 : n & 1;
        if (words32) {
            __asm__ volatile("rep movsl" : "+D"(d), "+S"(s), "+c"(words) : : "memory");
        } else {
            __asm__ volatile("rep movsw" : "+D"(d), "+S"(s), "+c"(words) : : "memory");
        }
        for (size_t i = 0; i < rest; ++i) d[i] = s[i];
    }
    if (directionSet) __asm__ volatile("std" ::: "memory");
    return dst;
}

#endif

}  // namespace

extern "C" {

BYTE* DSP_CALL DSP_SLOT_NAME(dspZeroBytes)(BYTE* dst, int len) {
    if (len >= 1) zeroBytes(dst, len);
    return dst;
}

BYTE* DSP_CALL DSP_SLOT_NAME(dspCopyBytes)(const BYTE* src, BYTE* dst, int len) {
    if (len >= 1) copyBytes(src, dst, len);
    return dst;
}

#if DSP_SLOT >= 4

BYTE* DSP_CALL DSP_SLOT_NAME(dspZeroBytesStreaming)(BYTE* dst, int len) {
    if (len >= 1) zeroStreaming(dst, len);
    return dst;
}

#endif

#if DSP_SLOT == 4

// Slot 5 runs this one (dsp/routines.h).
BYTE* DSP_CALL dspMoveBytes_s4(const BYTE* src, BYTE* dst, int len) {
    DSP_TRACE(dspTraceCopyMove);
    return moveBytes(src, dst, len);
}

#endif

#if DSP_SLOT == 5

BYTE* DSP_CALL dspStreamCopyBytes_s5(const BYTE* src, BYTE* dst, int len) {
    const u8* s = src;
    u8* d = dst;
    for (int n = len; n >= 64; n -= 64, s += 64, d += 64) {
        const VB a = bloadu(s), b = bloadu(s + 32);
        bstream(d, a);
        bstream(d + 32, b);
    }
    return dst;
}

BYTE* DSP_CALL dspStreamCopyBytesBackward_s5(const BYTE* src, BYTE* dst, int len) {
    const u8* s = src + len;
    u8* d = dst + len;
    for (int n = len; n >= 64; n -= 64) {
        s -= 64;
        d -= 64;
        const VB a = bloadu(s), b = bloadu(s + 32);
        bstore(d, a);
        bstore(d + 32, b);
    }
    return dst;
}

BYTE* DSP_CALL dspCopyStreaming_s5(const BYTE* src, BYTE* dst, int len) {
    if (len < 1) return dst;
    int cache = 0;
    if (len > 0x400000 && dspGetMaxCacheSize(&cache) == dspOk && len >= cache / 2) {
        DSP_TRACE(dspTraceCopyStream);
        const int head = static_cast<int>(toAlign(dst, 64));  // len > 4 MiB, so head < len
        if (head) dspCopyBytes_s5(src, dst, head);
        const int body = (len - head) & ~63;
        if (body) dspStreamCopyBytes_s5(src + head, dst + head, body);
        const int tail = len - head - body;
        if (tail) dspCopyBytes_s5(src + head + body, dst + head + body, tail);
        fence();
        return dst;
    }
    const uint32_t trail = static_cast<uint32_t>(reinterpret_cast<uintptr_t>(dst) & 4095) -
                           static_cast<uint32_t>(reinterpret_cast<uintptr_t>(src) & 4095);
    if (trail >= 160) return DSP_SLOT_BODY(dspMoveBytes)(src, dst, len);
    // dst trails src by less than 160 bytes within the 4 KiB pattern: forward loads would keep
    // hitting the lines just stored, so copy from the end. The three parts cover exactly
    // [dst, dst + len): the tail up to the last 64-byte boundary, whole blocks below it, and
    // whatever is left in front of the lowest block.
    DSP_TRACE(dspTraceCopyBackward);
    const int endPhase = static_cast<int>(reinterpret_cast<uintptr_t>(dst + len) & 63);
    const int tail = endPhase < len ? endPhase : len;
    const int front = len - tail;
    const int body = front & ~63;
    const int head = front - body;
    if (tail) dspCopyBytes_s5(src + front, dst + front, tail);
    if (body) dspStreamCopyBytesBackward_s5(src + head, dst + head, body);
    if (head) dspCopyBytes_s5(src, dst, head);
    return dst;
}

#endif

// Guarded byte copy; slot 0 has none. Slots 4 and 5 switch to their large-block copy at 32 KiB:
// slot 5's streaming copy, slot 4's string move (which slot 5 has too, dsp/routines.h). The
// bodies are named directly: through DSP_SLOT_BODY the 32-bit build inlines this copy less.
#if DSP_SLOT >= 1
DspStatus DSP_CALL DSP_SLOT_NAME(dspCopyChecked)(const BYTE* src, BYTE* dst, int len) {
    if (!src || !dst) return dspErrNullPtr;
    if (len < 1) return dspErrSize;
    if constexpr (DSP_SLOT_HAS(dspCopyStreaming)) {
        if (len >= 32768) {
            dspCopyStreaming_s5(src, dst, len);
            return dspOk;
        }
    } else if constexpr (DSP_SLOT_HAS(dspMoveBytes)) {
        if (len >= 32768) {
            dspMoveBytes_s4(src, dst, len);
            return dspOk;
        }
    }
    copyBytes(src, dst, len);
    return dspOk;
}
#endif

DspStatus DSP_CALL DSP_SLOT_NAME(dspZero64f)(double* dst, int len) {
    if (!dst) return dspErrNullPtr;
    if (len < 1) return dspErrSize;
    u8* base = reinterpret_cast<u8*>(dst);
    inChunks(len, [base](size_t offset, int bytes) {
#if DSP_SLOT >= 4
        if (bytes > kZeroStreamFrom) {
            zeroStreaming(base + offset, bytes);
            return;
        }
#endif
        zeroBytes(base + offset, bytes);
    });
    return dspOk;
}

DspStatus DSP_CALL DSP_SLOT_NAME(dspCopy64f)(const double* src, double* dst, int len) {
    if (!src || !dst) return dspErrNullPtr;
    if (len < 1) return dspErrSize;
    const u8* s = reinterpret_cast<const u8*>(src);
    u8* d = reinterpret_cast<u8*>(dst);
    inChunks(len, [s, d](size_t offset, int bytes) {
#if DSP_SLOT >= 4
        DSP_SLOT_NAME(dspCopyChecked)(s + offset, d + offset, bytes);
#else
        copyBytes(s + offset, d + offset, bytes);
#endif
    });
    return dspOk;
}

}  // extern "C"
