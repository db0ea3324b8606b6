// Edge cross-fader: keeps unprocessed samples at the two edges of the effect interval and fades
// between them and the processed samples with a quarter-sine weight.
#pragma once

#include "platform/win32.h"

#include <memory>

// Works on blocks of doubles, interleaved by a stride: with stride s, sample c + k * s belongs to
// channel c. Byte counts are counts of bytes of doubles (8 per sample).
class CSmooth {
public:
    CSmooth() = default;
    virtual ~CSmooth();
    CSmooth(const CSmooth&) = delete;
    CSmooth& operator=(const CSmooth&) = delete;

    // Channels per frame of the blocks faded from now on; values below 1 count as 1.
    void SetStride(int stride);

    // Keeps a copy of the first `bytes` bytes of `block` (which holds `blockBytes` bytes),
    // replacing the previous head copy. A request longer than the block keeps the whole block.
    // Throws std::bad_alloc when the copy cannot be allocated; the previous copy then stays.
    bool StoreHead(const double* block, UINT blockBytes, UINT bytes);

    // Keeps a copy of the last `bytes` bytes of the `blockBytes`-byte block, replacing the
    // previous tail copy; clamped to the block like StoreHead.
    bool StoreTail(const double* block, UINT blockBytes, UINT bytes);

    // Fades the start of the block from the head copy into the block's own samples.
    bool ApplyLeftEdge(double* block, UINT blockBytes);

    // Fades the end of the block from its own samples into the tail copy.
    bool ApplyRightEdge(double* block, UINT blockBytes);

    int HeadCount() const { return m_headCount; }
    int TailCount() const { return m_tailCount; }
    int Stride() const { return m_stride; }
    const double* Head() const { return m_pHead.get(); }
    const double* Tail() const { return m_pTail.get(); }

private:
    // Copies `bytes` bytes starting at `from` into a fresh block (64 bytes of slack).
    static std::unique_ptr<double[]> CopyOf(const unsigned char* from, UINT bytes);
    void Fade(double* edge, const double* kept, int count, bool rising) const;

    std::unique_ptr<double[]> m_pHead;  // owned copy of the first unprocessed samples
    std::unique_ptr<double[]> m_pTail;  // owned copy of the last unprocessed samples
    int32_t m_headCount = 0;            // doubles in the head copy
    int32_t m_tailCount = 0;            // doubles in the tail copy
    int32_t m_stride = 1;               // interleave stride of the faded blocks
};
