// The effect engine that every effect class embeds: upstream source, host parameter and zone
// objects, stream format, channel filters, effect interval, strengths, smoothing and output
// level; the pull-model read paths and the block loop over the channel filters.
//
// The engine takes no lock: the COM class that embeds it serialises every call. Engine
// operations may throw (an HRESULT value, or std::bad_alloc); the COM class runs them through
// corvane::CallGuarded (platform/exceptions.h). Every host object the engine holds is released
// on every path, exceptions included.
#pragma once

#include "platform/win32.h"

#include "corvane/corvane.h"
#include "framework/BaseChannelFilter.h"
#include "framework/EffectEngine.h"
#include "platform/com_ptr.h"

#include <memory>
#include <string>
#include <vector>

// The engine's stream format record: the WAVEFORMATEX fields first, then room for the rest of
// what the host's IAudioFormat::GetWaveFormat writes (180 bytes in all).
struct EngineWaveFormat {
    WORD wFormatTag;
    WORD nChannels;
    DWORD nSamplesPerSec;
    DWORD nAvgBytesPerSec;
    WORD nBlockAlign;
    WORD wBitsPerSample;
    BYTE rest[164];
};
static_assert(sizeof(EngineWaveFormat) == corvane::kWaveFormatRecordSize, "format record size");

// Strengths of one zone of the strength mix (or of the whole interval).
struct StrengthZoneRecord {
    double leftStrength = 1.0;  // strengths at the zone's start
    double rightStrength = 1.0;
    double centerStrength = 1.0;
    double leftSlope = 0.0;  // end strength minus start strength
    double rightSlope = 0.0;
    double centerSlope = 0.0;
    bool bRamp = false;           // any slope is non-zero
    double effectStart = 0.0;     // ms from the start of the effect interval
    double effectDuration = 0.0;  // ms
    double leftStep = 0.0;        // strength change per sample
    double rightStep = 0.0;
    double centerStep = 0.0;
    int64_t startFrame = 0;  // the zone in frames of the stream
    int64_t lengthFrames = 0;
    int64_t endFrame = 0;
};

struct StrengthSettings {
    bool bUseStrengthPerCh = false;         // the strength mix runs
    int32_t nZone = 0;                      // index of the current zone in `zones`
    StrengthZoneRecord current;             // the record in use
    std::vector<StrengthZoneRecord> zones;  // zone records, ascending and without overlap
};

// What an effect engine states about itself; the COM class that embeds the engine hands these to
// it (the first two to the constructor, the last two at final construction).
struct EngineTraits {
    bool usesHelper;     // reads go through the host's IAudioHelper
    bool perChannel;     // one channel filter per channel, not one over the interleaved block
    bool lengthChanges;  // channel filters may return another sample count than they were given
    bool followsRate;    // the effect interval is stretched by "Rate" on the output timeline
};

class CBaseFilter : public corvane::EffectEngine {
public:
    // The whole stream, as the duration of a strength record without zones: ten years, in ms.
    static constexpr double kWholeStreamMs = 315360000000.0;

    // clsid, iid: identity of the error information (the COM class and its class interface).
    // useHelper: reads go through the host's IAudioHelper, created here. perChannel: one channel
    // filter per channel instead of one over the interleaved block.
    CBaseFilter(GUID clsid, GUID iid, BYTE useHelper, BYTE perChannel);
    virtual ~CBaseFilter();
    CBaseFilter(const CBaseFilter&) = delete;
    CBaseFilter& operator=(const CBaseFilter&) = delete;

    // --- virtual operations, in slot order after the destructor ---
    [[nodiscard]] HRESULT GetAudioDuration(LONG Stream, double* pVal) override;
    [[nodiscard]] HRESULT GetAudioTime(LONG Stream, double* pVal) override;
    [[nodiscard]] HRESULT InitFilter(IUnknown* pParams) override;
    // Parameter defaults; keeps m_tempPath, the byte lengths, the interval and the enabled flag.
    [[nodiscard]] HRESULT ResetParams() override;
    // The framework keys from m_pParams. Throws E_OUTOFMEMORY when a key name cannot be
    // allocated.
    [[nodiscard]] virtual HRESULT LoadParams();
    // After a new upstream source: the next block sets the stream up again.
    [[nodiscard]] virtual HRESULT ResetStream();
    // A new channel filter for the engine's list (a plain CBaseChannelFilter here).
    virtual std::unique_ptr<CBaseChannelFilter> CreateChannelFilter();
    // Rebuilds m_channels: create, reset and load every filter.
    [[nodiscard]] virtual HRESULT BuildChannelFilters();
    [[nodiscard]] virtual HRESULT OnReset();        // not called by the framework
    [[nodiscard]] virtual HRESULT OnSeek();         // after a seek
    [[nodiscard]] virtual HRESULT OnSkip();         // after a skip
    [[nodiscard]] virtual HRESULT OnBeforeRead();   // before every upstream read of a block
    [[nodiscard]] virtual HRESULT OnBlockFormat();  // once the block position and format are known
    // Processes `count` 16-bit samples (all channels) of the block `data` (`totalBytes` long)
    // from byte `offsetBytes`; `last` is non-zero when they reach the end of the effect interval
    // or of the stream. *out receives the block that carries the result (a new reference: the
    // input block, or a new one when the sample count changed). It returns nothing: a block that
    // cannot be processed (its buffer, or the block replacing it, cannot be had) is recorded with
    // FailBlock, and the read that called it fails with that result.
    virtual void ProcessAudio(IUnknown* data, LONG totalBytes, LONG offsetBytes, LONG count,
                              LONG last, IAudioData** out);

    // --- the COM shell's view (corvane::EffectEngine) beyond the slots above ---
    IMediaSource* Upstream() const final { return m_pSource.Get(); }
    void SetIdentity(IUnknown* self) final { m_pIdentity = self; }
    void SetOutputTraits(bool lengthChanges, bool followsRate) final {
        m_bLengthChanges = lengthChanges;
        m_bFollowsRate = followsRate;
    }

    // --- errors ---
    // Internal code to HRESULT with COM error information of this engine's class.
    [[nodiscard]] HRESULT SetError(int code) const;

    // --- filter-interface properties ---
    [[nodiscard]] HRESULT GetEffectEnabled(VARIANT_BOOL* pVal) const final;
    [[nodiscard]] HRESULT PutEffectEnabled(VARIANT_BOOL v) final;
    [[nodiscard]] HRESULT GetMediaSource(IUnknown** pp) const final;
    // NULL clears the source (S_OK); an object that is no media source clears it as well and
    // answers E_NOINTERFACE. A source whose chain of upstream sources leads back to this object
    // (walked through IMediaBaseFilter::get_MediaSource) is refused with internal code 8, and the
    // source set before stays.
    [[nodiscard]] HRESULT PutMediaSource(IUnknown* s) final;
    [[nodiscard]] HRESULT GetBaseMediaSource(IUnknown** pp) const final;
    [[nodiscard]] HRESULT GetEffectParams(IUnknown** pp) const final;
    [[nodiscard]] HRESULT PutEffectParams(IUnknown* p) final;
    [[nodiscard]] HRESULT GetEffectZones(IUnknown** pp) const final;
    [[nodiscard]] HRESULT PutEffectZones(IUnknown* z) final;

    // --- media-source operations: reads, seek, skip, format and track ---
    // A read that reaches this object again while it reads (a loop of sources that the chain walk
    // of PutMediaSource cannot see) fails with kReadReentered instead of recursing.
    [[nodiscard]] HRESULT ReadAudio(LONG Stream, LONG Flags, double Duration,
                                    IUnknown** ppAudioData) final;
    static constexpr HRESULT kReadReentered =
        static_cast<HRESULT>(0x80070423u);  // HRESULT_FROM_WIN32(ERROR_CIRCULAR_DEPENDENCY)
    [[nodiscard]] HRESULT SeekAudio(LONG Stream, LONG Flags, double Time) final;
    [[nodiscard]] HRESULT SkipAudio(LONG Stream, LONG Flags, double Duration) final;
    [[nodiscard]] HRESULT PutAudioFormat(LONG Stream, IUnknown* format) final;
    [[nodiscard]] HRESULT PutAudioTrack(LONG track) final;

    // --- parameters for channel filters ---
    // The engine's copy of the host's parameters, which the channel filters read their keys from
    // (effects/common/ParamRead.h); null until PutEffectParams gives one. Not a new reference.
    IEffectParams* ParamObject() const { return m_pParams.Get(); }

    // --- strengths ---
    // Reads the strengths (and with withInterval the zone time) of one record from `from`
    // (nullable: every value then keeps its default).
    static void LoadStrengths(IEffectParams* from, StrengthZoneRecord* rec, bool withInterval);
    // Frame fields and per-sample steps of one record; the interval starts at intervalStartBytes.
    void PrepareStrengthRecord(INT64 intervalStartBytes, StrengthZoneRecord* rec) const;
    void ApplyStrengthsConstant(double* out, const double* processed, const double* unprocessed,
                                int count, BYTE channel) const;
    void ApplyStrengthsRamp(double rel, double* out, const double* processed,
                            const double* unprocessed, int count, BYTE channel) const;
    // Strengths at relative position rel for effects that mix themselves: a triple for mono,
    // else six floats per channel pair ((channels - 1) / 2 + 1 pairs; none for 0 channels).
    void ComputeStrengths(float rel, float* out) const;

    // --- channel filters ---
    void ClearChannelFilters();
    // layout when non-zero, else the default speaker mask for the channel count.
    static UINT64 DefaultChannelLayout(UINT64 layout, int channels);

    // --- conversions at the current format ---
    // Byte position of time t (ms), optionally with the output lag; 64-bit.
    INT64 TimeToBytes(double t, bool withLag) const;
    // Bytes of a request of d ms (32-bit, saturating).
    int32_t DurationToBytes(double d) const;
    // Milliseconds of b bytes (0 for an unusable format).
    double BytesToMs(INT64 b) const;
    // The read position: SetPosition places it (a seek, an upstream time); AdvancePosition moves
    // it by whole frames of b bytes (b may be negative), counted from where it was last placed.
    // Summing block durations in milliseconds drifts instead: after a few minutes of 1 ms blocks
    // the position lags its frame enough to round one frame short, and the last block of the
    // stream then comes out empty on every read.
    void SetPosition(double ms);
    void AdvancePosition(INT64 b);
    // SetPosition at the upstream source's time (left where it was when the source gives none).
    void UpstreamPosition(LONG Stream);
    // The effect interval's duration in a stream of streamMs: the whole stream without zones,
    // else the zones' span cut at the stream's end (0 for zones that start after it). Audio past
    // the end never comes, so an interval that waited for it would never end: an effect that
    // holds samples back would keep them, and a stretched duration would count audio that is not
    // there.
    double IntervalIn(double streamMs) const;
    // The duration of a stream of streamMs once its interval follows "Rate": at a known sample
    // rate, the interval's frames times the rate, rounded to the frame, as an effect that follows
    // it delivers them; in milliseconds otherwise.
    double StretchedDuration(double streamMs, DWORD sampleRate) const;
    // The stream's sample rate: the format's once a block set it up, else what the upstream
    // source says it delivers; 0 when unknown.
    DWORD StreamSampleRate(LONG Stream) const;
    // Input time of an output time and back; identity unless the interval follows "Rate".
    double InputTime(double t) const;
    double OutputTime(double t) const;
    // Byte length of a smoothing time x (ms, clamped to 0 and more).
    UINT SmoothBytes(INT64 x) const;

    // --- what channel filters read of their engine ---
    // The stream format record (the defaults until the first block of a stream sets it).
    const EngineWaveFormat& Format() const { return m_wfx; }
    // One channel filter per channel, rather than one over the interleaved block.
    bool PerChannel() const { return m_bPerChannel; }
    // The edge cross-fades' lengths at the interval's end and start, ms, as limited to the
    // interval.
    int32_t RightSmoothMs() const { return m_rSmooth; }
    int32_t LeftSmoothMs() const { return m_lSmooth; }
    // The effect interval's length in frames as the block loop limits the work to it (the
    // stream's without zones): the most that one filter of a channel is handed from a restart to
    // the next, while the interval stays. 0 before the first block of a stream.
    int64_t IntervalFrames() const {
        return m_wfx.nBlockAlign > 0 && m_lengthBytes > 0 ? m_lengthBytes / m_wfx.nBlockAlign : 0;
    }
    // The channel filters built for the current stream (none before its first block); filter i
    // serves channel i. ChannelFilter is borrowed (the engine owns it until the next rebuild) and
    // null past the end.
    size_t ChannelFilterCount() const { return m_channels.size(); }
    CBaseChannelFilter* ChannelFilter(size_t i) {
        return i < m_channels.size() ? m_channels[i].get() : nullptr;
    }
    const CBaseChannelFilter* ChannelFilter(size_t i) const {
        return i < m_channels.size() ? m_channels[i].get() : nullptr;
    }

protected:
    // The engine's state; the effect engines derived from it work on it directly. What only the
    // engine itself keeps is private, below.
    GUID m_clsid;  // identity of error information
    GUID m_iid;
    corvane::ComPtr<IMediaSource> m_pSource;   // upstream source
    corvane::ComPtr<IAudioHelper> m_pHelper;   // buffering object
    corvane::ComPtr<IEffectZones> m_pZones;    // zone object
    corvane::ComPtr<IEffectParams> m_pParams;  // duplicate of the host's parameters
    StrengthSettings m_strength;
    corvane::ComPtr<IAudioFormat>
        m_pFormat;                  // format of the current stream; null: set up at next block
    EngineWaveFormat m_wfx;         // stream format record
    UINT64 m_channelLayout = 3;     // speaker mask
    bool m_bFirstBlock = true;      // no block read since construction or the last seek
    double m_position = 0.0;        // read position, ms (set through SetPosition)
    INT64 m_blockStart = 0;         // byte position of the part handed to the block loop
    INT64 m_frameOffset = 0;        // lag of the output behind the input, frames
    INT64 m_inCount = 0;            // frames given to the first channel filter since the seek
    INT64 m_outCount = 0;           // frames taken back from it
    bool m_bLengthChanges = false;  // channel filters may return another sample count
    bool m_bFollowsRate = false;    // the interval is stretched by m_rate on the output side
    double m_rate = 1.0;            // "Rate", finite and positive
    corvane::OleString m_tempPath;  // "TempPath"
    bool m_bUseHelper;              // reads go through m_pHelper
    bool m_bPerChannel;             // one channel filter per channel
    bool m_bEnabled = true;
    bool m_bExplicitInterval = false;  // the interval came from the zone object
    double m_effectStart = 0.0;        // effect interval, ms
    double m_effectDuration = 0.0;     // limited to the stream from its first block on
    INT64 m_startBytes = 0, m_lengthBytes = 0, m_endBytes = 0;  // the interval in bytes
    VARIANT_BOOL m_smoothEnabled = 0;                           // "SmoothEnabled"
    int32_t m_rSmoothTime = 20, m_lSmoothTime = 20;             // ms as read
    int32_t m_rSmooth = 20, m_lSmooth = 20, m_rSmoothScaled = 20,
            m_lSmoothScaled = 20;  // ms, limited
    UINT m_rSmoothBytes = 3528, m_lSmoothBytes = 3528, m_rSmoothScaledBytes = 3528,
         m_lSmoothScaledBytes = 3528;
    double m_level = 1.0;  // output level, linear

protected:
    // Whether the chain of sources from `source` leads back to the object of m_pIdentity.
    bool LeadsBackHere(IUnknown* source) const;
    // Read paths (same arguments as ReadAudio).
    [[nodiscard]] HRESULT ReadDirect(LONG Stream, LONG Flags, double Duration, IUnknown** pp);
    [[nodiscard]] HRESULT ReadThroughHelper(LONG Stream, LONG Flags, double Duration,
                                            IUnknown** pp);
    // One block through the buffering object. *inputTaken receives the input time taken before
    // the block where it is counted exactly (from the source's position and what the buffering
    // object holds), and is left alone otherwise.
    [[nodiscard]] HRESULT ReadHelperBlock(LONG Stream, LONG Flags, double Duration, IUnknown** pp,
                                          double* inputTaken);
    [[nodiscard]] HRESULT ReadPassThrough(LONG Stream, LONG Flags, double Duration, IUnknown** pp);
    // Fills the buffering object until it holds ms: the upstream's failure fails it. An upstream
    // that has ended (success without a block, or empty blocks) ends the stream with what it gave:
    // nothing is padded, and it is not read again until a seek or a new stream.
    [[nodiscard]] HRESULT FeedHelper(LONG Stream, LONG Flags, double ms);
    [[nodiscard]] HRESULT TakeHelperBlock(double ms, IUnknown** out);
    [[nodiscard]] HRESULT InitFromAudioData(LONG Stream, IAudioData* data);
    // Runs the block loop over `n` samples of `block` from `skip` and hands the result to *pp;
    // the failure the block loop recorded, with *pp untouched, when it could not process it.
    [[nodiscard]] HRESULT ProcessInto(IUnknown* block, IAudioData* data, LONG len, LONG skip,
                                      LONG n, bool last, IUnknown** pp);
    // Empties both sample queues of every channel filter and resets the buffering object.
    void DropQueuedAudio();
    // Drops the stream format, so that the next block sets the stream up again.
    void ReleaseFormat();
    bool RateMappingApplies() const { return m_bFollowsRate && m_bEnabled; }
    // Records why the block of the current ProcessAudio call could not be processed (the first
    // failure counts); the read path that called it answers it for this read.
    void FailBlock(HRESULT hr);
    // The failure recorded since the last call, cleared.
    [[nodiscard]] HRESULT TakeBlockFailure();

private:
    // Owned channel filters; index = channel. Built and cleared only by the engine, so that no
    // effect can leave a gap or a filter it does not own in the list.
    std::vector<std::unique_ptr<CBaseChannelFilter>> m_channels;
    double m_positionBase = 0.0;      // where the position was last set, ms
    INT64 m_positionFrames = 0;       // frames the position moved since it was last set
    double m_zoneDuration = 0.0;      // the zones' span as given, ms
    double m_scaledDuration = 0.0;    // m_effectDuration * m_rate
    INT64 m_scaledLengthBytes = 0;    // length and end of the interval stretched by m_rate,
    INT64 m_scaledEndBytes = 0;       // bytes
    HRESULT m_helperResult = S_OK;    // outcome of creating m_pHelper
    bool m_bFormatUsable = true;      // channels, rate and block align of m_wfx are non-zero
    HRESULT m_blockFailure = S_OK;    // why the current block could not be processed
    IUnknown* m_pIdentity = nullptr;  // the object that embeds the engine (borrowed), or NULL
    bool m_bReading = false;          // a ReadAudio of this engine is under way
    // The upstream ran dry (FeedHelper): the stream ends with what the buffering object holds,
    // whatever the duration the upstream announces. Cleared with the queued audio.
    bool m_bInputEnded = false;
    // The look-ahead of the interval's last block (see CBaseChannelFilter::m_pLookAhead), whole
    // interleaved 16-bit frames as read, and whether the stream ends after them. Set by the read
    // path just before the block loop runs, handed to the channel filters there, cleared after.
    std::vector<int16_t> m_lookAhead;
    bool m_lookAheadEnds = false;

    struct HelperRequest;
    // Steps of ReadHelperBlock: the input taken so far where it can be counted exactly; the first
    // block, which sets the stream up (*done when it is the answer, or there is none); a block
    // handed on unprocessed; the request shaped around the interval edges for smoothing (true
    // when it must stop at the interval start, with *d the length up to there).
    void CountInputTaken(LONG Stream, HelperRequest* r) const;
    [[nodiscard]] HRESULT ReadFirstBlock(LONG Stream, LONG Flags, const HelperRequest& r,
                                         IUnknown** pp, bool* done);
    [[nodiscard]] HRESULT TakeUnprocessed(LONG Stream, LONG Flags, double d, IUnknown** pp);
    bool ShapeAroundInterval(const HelperRequest& r, double* d) const;
    // Where the stream ends as far as reading has shown, in input bytes: the upstream's duration
    // as it stands now (a source that ends early says so once it got there), and after the
    // upstream ran dry the end of what the buffering object holds, whose front is at frontBytes.
    INT64 StreamEndBytes(LONG Stream, INT64 frontBytes) const;
    // Fills m_lookAhead and m_lookAheadEnds for the block that ends the interval at byte
    // intervalEnd: the block's own bytes from `from` to len, then what the buffering object
    // holds (its front at intervalEnd + len - from), read ahead from the upstream as far as the
    // channel filters ask. The buffering object keeps what it holds, in order.
    [[nodiscard]] HRESULT GatherLookAhead(LONG Stream, LONG Flags, IAudioData* data, LONG len,
                                          LONG from, INT64 intervalEnd);
    // Everything the buffering object holds, as one block (none when it holds nothing).
    [[nodiscard]] HRESULT TakeAllHeld(IAudioData** out);
    // The block of `len` bytes that a read took from the buffering object and then failed on goes
    // back in front of what the object holds, and the position (and the first block's mark,
    // `first`) back to where they were before it, so that the next read takes it again.
    void PutBack(IAudioData* block, LONG len, bool first);
    // The upstream ran dry exactly where the last block taken ended, inside the interval: the
    // channel filters of an engine that holds samples back never saw the interval end. An empty
    // last block hands them that end, so that they give what they hold (*pp: that output, or
    // nothing).
    [[nodiscard]] HRESULT FlushAtInputEnd(IUnknown** pp);

    struct BlockPass;
    struct Edges;
    // The steps of ProcessAudio, in order, per channel filter i after BeginBlock.
    bool BeginBlock(IUnknown* data, LONG totalBytes, LONG offsetBytes, LONG count, LONG last,
                    IAudioData** out, BlockPass* pass);
    void Deinterleave(const BlockPass& pass, size_t i, CBaseChannelFilter* f);
    // At the interval's last block: the look-ahead in the filter's layout and the stream's end.
    void HandLookAhead(const BlockPass& pass, size_t i, CBaseChannelFilter* f);
    Edges CaptureEdges(const BlockPass& pass, CBaseChannelFilter* f);
    int RunChannelFilter(CBaseChannelFilter* f, const BlockPass& pass);
    int MixStrengthsOf(const BlockPass& pass, size_t i, CBaseChannelFilter* f, int nOut);
    void CrossFadeEdges(CBaseChannelFilter* f, const Edges& edges, int nFinal, bool last);
    void CountOutput(int nFinal);
    void WriteBack(BlockPass& pass, size_t i, CBaseChannelFilter* f, int nFinal);
    void ReplaceBlock(BlockPass& pass, size_t i, int nFinal);

    void ResetSmoothLimits();
    void ComputeSmoothBytes();
    void MixStrengths(CBaseChannelFilter* f, int index, double* out, const double* processed,
                      int m);
    void WalkZones(int index, double* out, const double* processed, const double* unprocessed,
                   int m);
};
