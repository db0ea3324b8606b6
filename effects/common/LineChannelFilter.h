// A channel filter over one circular delay line of doubles, as the delay and flanger effects run
// it: the line, where the next sample goes and how many samples went through since the line was
// made empty; and the parameter reads that the time-domain effects share.
#pragma once

#include "platform/win32.h"

#include "effects/common/DelayLine.h"
#include "framework/BaseChannelFilter.h"

#include <cstdint>

class CLineChannelFilter : public CBaseChannelFilter {
public:
    using CBaseChannelFilter::CBaseChannelFilter;
    ~CLineChannelFilter() override;

    // An empty line, made again at the next block; the restart flag set.
    void RestartEffect();

protected:
    // Copies the block to the output unchanged (a delay shorter than one sample); returns n.
    int PassThrough(int n);

    corvane::DelayLine m_line;
    int64_t m_write = 0;      // where the next sample goes
    int64_t m_processed = 0;  // samples since the line was made empty
};
