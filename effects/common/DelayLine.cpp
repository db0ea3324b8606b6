#include "effects/common/DelayLine.h"

#include "platform/exceptions.h"

#include <algorithm>
#include <cmath>
#include <new>

namespace corvane {

namespace {

constexpr int64_t kMaxLineSamples = kMaxDelayLineBytes / static_cast<int64_t>(sizeof(double));

}  // namespace

int64_t LineLength(double samples) {
    // Beyond 2^62 no line exists; the bound keeps the conversion defined.
    if (!(samples >= 0.0)) return std::isnan(samples) ? kUnmakeableLine : 0;
    if (!(samples < 4611686018427387904.0)) return kUnmakeableLine;
    return static_cast<int64_t>(samples);
}

void DelayLine::Make(int64_t length, int64_t expected) {
    MakeGrowing(length, expected);
    Store(std::min(std::max<int64_t>(length, 0), std::max<int64_t>(expected, 0)));
}

void DelayLine::MakeGrowing(int64_t length, int64_t expected) {
    Clear();
    m_length = length;
    m_expected = expected;
}

void DelayLine::Reach(int64_t end) {
    const int64_t stored = static_cast<int64_t>(m_store.size());
    end = std::min(end, m_length);
    if (end <= stored) return;
    // Twice as much at a time, so that a line that keeps growing is copied a few times only, but
    // not past what it is expected to take, nor past what any line can hold while `end` fits.
    const int64_t most = m_expected > 0 && end <= m_expected ? m_expected : m_length;
    Store(std::max(end, std::min({most, stored * 2, kMaxLineSamples})));
}

void DelayLine::Clear() {
    std::vector<double>().swap(m_store);
    m_length = 0;
    m_expected = 0;
}

void DelayLine::Store(int64_t count) {
    try {
        if (count > kMaxLineSamples) throw std::bad_alloc();
        // Exactly what is asked: a vector left to grow by itself may take twice that.
        std::vector<double> grown;
        grown.reserve(static_cast<size_t>(count));
        grown.assign(m_store.begin(), m_store.end());
        grown.resize(static_cast<size_t>(count), 0.0);
        m_store.swap(grown);
    } catch (const std::bad_alloc&) {
        Clear();
        ThrowHr(E_OUTOFMEMORY);
    }
}

}  // namespace corvane
