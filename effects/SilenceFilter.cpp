#include "effects/SilenceFilter.h"

#include <algorithm>

CSilenceChannelFilter::~CSilenceChannelFilter() = default;

int CSilenceChannelFilter::ProcessChannel(int n, int) {
    if (n < 1) return 0;
    EnsureOutputBuffer(n);
    std::fill(m_pOut, m_pOut + n, 0.0);
    return n;
}

CSilenceFilter::~CSilenceFilter() = default;
