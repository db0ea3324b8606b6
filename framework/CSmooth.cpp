#include "framework/CSmooth.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <new>

namespace {
constexpr double kPi = 3.141592653589793;
constexpr UINT kSlackBytes = 64;
}  // namespace

CSmooth::~CSmooth() = default;

void CSmooth::SetStride(int stride) {
    m_stride = stride < 1 ? 1 : stride;
}

std::unique_ptr<double[]> CSmooth::CopyOf(const unsigned char* from, UINT bytes) {
    const size_t doubles =
        (static_cast<size_t>(bytes) + kSlackBytes + sizeof(double) - 1) / sizeof(double);
    std::unique_ptr<double[]> copy(new double[doubles]());
    if (bytes > 0) std::memcpy(copy.get(), from, bytes);
    return copy;
}

bool CSmooth::StoreHead(const double* block, UINT blockBytes, UINT bytes) {
    // Never read past the block, whatever the caller asked for.
    bytes = std::min(bytes, blockBytes);
    if (block == nullptr) bytes = 0;
    m_pHead = CopyOf(reinterpret_cast<const unsigned char*>(block), bytes);
    m_headCount = static_cast<int32_t>(bytes / sizeof(double));
    return true;
}

bool CSmooth::StoreTail(const double* block, UINT blockBytes, UINT bytes) {
    bytes = std::min(bytes, blockBytes);
    if (block == nullptr) bytes = 0;
    const unsigned char* from = reinterpret_cast<const unsigned char*>(block);
    if (from != nullptr) from += blockBytes - bytes;
    m_pTail = CopyOf(from, bytes);
    m_tailCount = static_cast<int32_t>(bytes / sizeof(double));
    return true;
}

// Quarter-sine fade over `count` doubles of `edge`. Rising: the weight of the kept copy rises
// from 0 (right edge); otherwise it falls from 1 (left edge). With a stride above 1 every
// channel fades over count / stride frames; the samples past that stay as they are.
void CSmooth::Fade(double* edge, const double* kept, int count, bool rising) const {
    const int channels = m_stride > 1 ? m_stride : 1;
    const int frames = count / channels;
    if (frames <= 0 || edge == nullptr || kept == nullptr) return;
    const double denominator = 2.0 * frames;
    for (int i = 0; i < frames; ++i) {
        const double w = std::sin(static_cast<double>(i) * kPi / denominator);
        const double keptWeight = rising ? w : 1.0 - w;
        const double ownWeight = rising ? 1.0 - w : w;
        for (int c = 0; c < channels; ++c) {
            const int x = c + i * channels;
            edge[x] = keptWeight * kept[x] + ownWeight * edge[x];
        }
    }
}

bool CSmooth::ApplyLeftEdge(double* block, UINT blockBytes) {
    const int count = static_cast<int>(std::min<int64_t>(m_headCount, blockBytes / sizeof(double)));
    Fade(block, m_pHead.get(), count, false);
    return true;
}

bool CSmooth::ApplyRightEdge(double* block, UINT blockBytes) {
    const int64_t total = blockBytes / sizeof(double);
    const int count = static_cast<int>(std::min<int64_t>(m_tailCount, total));
    if (block == nullptr) return true;
    Fade(block + (total - count), m_pTail.get(), count, true);
    return true;
}
