// The silence effect: the audio of the effect interval becomes zeros. It runs one channel filter
// per channel through the framework's block loop, so that the framework's edge cross-fades and
// strengths apply around the silenced part. No parameters of its own.
#pragma once

#include "platform/win32.h"

#include "effects/common/ChannelEngine.h"
#include "framework/BaseChannelFilter.h"

class CSilenceChannelFilter : public CBaseChannelFilter {
public:
    using CBaseChannelFilter::CBaseChannelFilter;
    ~CSilenceChannelFilter() override;

    // Writes n zeros; returns n.
    int ProcessChannel(int n, int last) override;
    bool UsesInput() const override { return false; }
    // Nothing runs on but the edge cross-fade: the restart flag alone.
    void RestartEffect() { Restart(); }
};

class CSilenceFilter : public CChannelEngine<CSilenceChannelFilter> {
public:
    using CChannelEngine::CChannelEngine;
    ~CSilenceFilter() override;
};
