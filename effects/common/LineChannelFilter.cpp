#include "effects/common/LineChannelFilter.h"

#include <cstring>

CLineChannelFilter::~CLineChannelFilter() = default;

void CLineChannelFilter::RestartEffect() {
    Restart();
    m_line.Clear();
    m_write = m_processed = 0;
}

int CLineChannelFilter::PassThrough(int n) {
    std::memcpy(m_pOut, m_pIn, sizeof(double) * static_cast<size_t>(n));
    return n;
}
