// The pull side of the engine: reads (direct and through the host's buffering object), the
// first-block set-up, seek, skip, duration, time, format and track changes.
#include "framework/BaseFilter.h"

#include "framework/BaseFilterSupport.h"
#include "framework/error_support.h"
#include "platform/exceptions.h"

#include <algorithm>
#include <cmath>
#include <utility>

using corvane::ComPtr;
using corvane::kInvalidArgument;

namespace {

constexpr double kHelperReadMs = 100.0;

// A smoothing time limited to the interval: trunc(min(time, duration)), never below 0.
int32_t LimitSmooth(int32_t time, double duration) {
    double v = std::min(static_cast<double>(time), duration);
    if (std::isnan(v) || v < 0.0) v = 0.0;
    return corvane::TruncToInt32(v);
}

}  // namespace

// ---------------------------------------------------------------------------------------------
// Reads

HRESULT CBaseFilter::ReadAudio(LONG Stream, LONG Flags, double Duration, IUnknown** ppAudioData) {
    if (ppAudioData == nullptr) return E_POINTER;
    *ppAudioData = nullptr;
    if (m_bReading) return kReadReentered;
    struct ReadingFlag {
        bool& flag;
        explicit ReadingFlag(bool& f) : flag(f) { flag = true; }
        ~ReadingFlag() { flag = false; }
    } reading(m_bReading);
    if (m_pSource == nullptr) return SetError(kInvalidArgument);
    if (!m_bEnabled) return m_pSource->ReadAudio(Stream, Flags, Duration, ppAudioData);
    // A stream whose format cannot be processed (no channels, rate or block align) passes through.
    if (m_pFormat != nullptr && !m_bFormatUsable)
        return ReadPassThrough(Stream, Flags, Duration, ppAudioData);
    if (!m_bUseHelper) return ReadDirect(Stream, Flags, Duration, ppAudioData);
    if (m_pHelper == nullptr) return FAILED(m_helperResult) ? m_helperResult : E_POINTER;
    if (std::isnan(Duration)) return E_INVALIDARG;
    return ReadThroughHelper(Stream, Flags, Duration, ppAudioData);
}

HRESULT CBaseFilter::ReadPassThrough(LONG Stream, LONG Flags, double Duration, IUnknown** pp) {
    const HRESULT hr = m_pSource->ReadAudio(Stream, Flags, Duration, pp);
    UpstreamPosition(Stream);
    return hr;
}

HRESULT CBaseFilter::ProcessInto(IUnknown* block, IAudioData* data, LONG len, LONG skip, LONG n,
                                 bool last, IUnknown** pp) {
    // The look-ahead that the read path gathered belongs to this block alone.
    struct LookAheadScope {
        CBaseFilter& engine;
        ~LookAheadScope() {
            engine.m_lookAhead.clear();
            engine.m_lookAheadEnds = false;
        }
    } scope{*this};
    ComPtr<IUnknown> result = ComPtr<IUnknown>::Share(block);
    // An empty last block is the end of a stream that ran dry (FlushAtInputEnd).
    if (n > 0 || (last && len == 0)) {
        // A failure recorded by a call outside a read belongs to no read.
        (void)TakeBlockFailure();
        ComPtr<IAudioData> processed;
        ProcessAudio(data, len, skip, n, last ? 1 : 0, processed.Put());
        // A block that could not be processed is no output of the effect.
        const HRESULT failure = TakeBlockFailure();
        if (FAILED(failure)) return failure;
        if (ComPtr<IUnknown> unknown = processed.As<IUnknown>()) result = unknown;
    }
    *pp = result.Detach();
    return S_OK;
}

HRESULT CBaseFilter::ReadDirect(LONG Stream, LONG Flags, double Duration, IUnknown** pp) {
    UpstreamPosition(Stream);
    double dur = 0.0;
    const HRESULT durationResult = m_pSource->get_audioDuration(Stream, &dur);
    if (FAILED(durationResult)) return durationResult;
    if (m_position >= dur) return S_OK;

    const HRESULT hooked = OnBeforeRead();
    if (FAILED(hooked)) return hooked;
    ComPtr<IUnknown> block;
    const HRESULT hr = m_pSource->ReadAudio(Stream, Flags, Duration, block.Put());
    // A failed read answers no block, even where the source handed one out: a caller would not
    // release what comes with a failure.
    if (FAILED(hr) || !block) return hr;
    ComPtr<IAudioData> data = block.As<IAudioData>();
    if (!data) {
        *pp = block.Detach();
        return hr;
    }
    if (m_pFormat == nullptr) {
        // Without the stream's format there are no channel filters: the block would come out
        // unprocessed as if it were the effect's output.
        const HRESULT setUp = InitFromAudioData(Stream, data.Get());
        if (FAILED(setUp)) return setUp;
    }
    if (m_pFormat != nullptr && !m_bFormatUsable) {
        *pp = block.Detach();
        return hr;
    }

    m_blockStart = TimeToBytes(m_position, true);
    const HRESULT formatted = OnBlockFormat();
    if (FAILED(formatted)) return formatted;
    m_bFirstBlock = false;
    LONG len = 0;
    const HRESULT lengthResult = data->GetLength(&len);
    if (FAILED(lengthResult)) return lengthResult;

    // A source that ends before the duration it announced says so once the read got there.
    double durNow = dur;
    if (FAILED(m_pSource->get_audioDuration(Stream, &durNow)) || !(durNow < dur)) durNow = dur;
    const INT64 streamEnd = TimeToBytes(durNow, false);
    LONG skip = 0;
    INT64 n = 0;
    bool last = false;
    if (!m_bExplicitInterval) {
        last = m_blockStart + len >= streamEnd;
        n = len / 2;
    } else {
        if (m_blockStart + len <= m_startBytes || m_blockStart >= m_endBytes) {
            *pp = block.Detach();
            return hr;
        }
        const INT64 before = std::max<INT64>(0, m_startBytes - m_blockStart);
        const INT64 over = std::max<INT64>(0, m_blockStart + len - m_endBytes);
        last = m_blockStart + len >= std::min(m_endBytes, streamEnd);
        n = (len - over - before) / 2;
        skip = static_cast<LONG>(before);
        if (n > 0) m_blockStart += skip;
    }
    // No look-ahead here: nothing holds what follows the block.
    m_lookAhead.clear();
    m_lookAheadEnds = last && m_blockStart + 2 * n >= streamEnd;
    const HRESULT processed =
        ProcessInto(block.Get(), data.Get(), len, skip, static_cast<LONG>(n), last, pp);
    return FAILED(processed) ? processed : hr;
}

HRESULT CBaseFilter::ReadThroughHelper(LONG Stream, LONG Flags, double Duration, IUnknown** pp) {
    // An effect that holds samples back (a median's frames, a stretch's sequences) has no output
    // for some of its input. An empty block in the middle of the stream would tell the reader
    // that the stream has ended (a downstream effect would end its stream there), so such a read
    // takes the next input instead, until there is output or the input has ended. Only while the
    // input taken is counted exactly and grows: otherwise nothing would end the reads.
    const bool first = m_bFirstBlock;
    double before = -HUGE_VAL;
    for (bool dropped = false;; dropped = true) {
        double taken = std::nan("");
        ComPtr<IUnknown> block;
        const HRESULT hr = ReadHelperBlock(Stream, Flags, Duration, block.Put(), &taken);
        if (FAILED(hr) || !block) return hr;
        ComPtr<IAudioData> data = block.As<IAudioData>();
        LONG len = 0;
        if (!m_bLengthChanges || !(taken > before) || !data || FAILED(data->GetLength(&len)) ||
            len > 0) {
            // The empty block that the first read after a seek dropped carried the start mark.
            if (first && dropped && data) {
                const HRESULT marked = data->MarkStart(-1);
                if (FAILED(marked)) return marked;
            }
            *pp = block.Detach();
            return hr;
        }
        before = taken;
    }
}

// One request of the buffered path: what it asks for and where the input it follows stands.
struct CBaseFilter::HelperRequest {
    double dur = 0.0;       // the upstream stream's duration, ms
    double t = 0.0;         // input time of the read position, ms
    double consumed = 0.0;  // input taken before the block, ms
    bool exact = false;     // consumed is counted from the source and the buffering object
    double d = 0.0;         // the request, ms
};

void CBaseFilter::CountInputTaken(LONG Stream, HelperRequest* r) const {
    // An effect that holds samples back has taken more input than its output time maps to: what
    // the source handed out less what the buffering object still holds, counted exactly (the lag
    // in frames is rounded). Asking for more than is left would pad the interval's last block with
    // silence that the effect then processes; a block position short of the truth would miss the
    // interval's last block. Where either count is missing the mapped time stands.
    double upstreamAt = 0.0, held = 0.0;
    if (m_bLengthChanges && m_pFormat && SUCCEEDED(m_pSource->get_audioTime(Stream, &upstreamAt)) &&
        SUCCEEDED(m_pHelper->GetDuration(&held))) {
        r->consumed = std::max(r->t, upstreamAt - held);
        r->exact = true;
    }
}

HRESULT CBaseFilter::ReadFirstBlock(LONG Stream, LONG Flags, const HelperRequest& r, IUnknown** pp,
                                    bool* done) {
    *done = true;
    ComPtr<IUnknown> first;
    const HRESULT hr = m_pSource->ReadAudio(Stream, Flags, r.d, first.Put());
    if (FAILED(hr)) return hr;
    if (ComPtr<IAudioData> data = first.As<IAudioData>()) {
        const HRESULT setUp = InitFromAudioData(Stream, data.Get());
        if (FAILED(setUp)) return setUp;
    }
    const HRESULT formatted = OnBlockFormat();
    if (FAILED(formatted)) return formatted;
    if (!first) return hr;
    if (m_pFormat != nullptr && !m_bFormatUsable) {
        UpstreamPosition(Stream);
        *pp = first.Detach();
        return hr;
    }
    *done = false;
    return m_pHelper->Append(0, first.Get());
}

HRESULT CBaseFilter::TakeUnprocessed(LONG Stream, LONG Flags, double d, IUnknown** pp) {
    ComPtr<IUnknown> block;
    HRESULT hr = FeedHelper(Stream, Flags, d);
    if (SUCCEEDED(hr)) hr = TakeHelperBlock(d, block.Put());
    if (FAILED(hr)) return hr;
    *pp = block.Detach();
    return S_OK;
}

bool CBaseFilter::ShapeAroundInterval(const HelperRequest& r, double* d) const {
    if (m_blockStart < m_startBytes) {
        // Stop exactly at the interval start, so that the next block begins there.
        const INT64 gap = corvane::ClampToInt32(m_startBytes - m_blockStart);
        *d = std::min(BytesToMs(gap), r.dur - r.t);
        return true;
    }
    INT64 dBytes = DurationToBytes(*d);
    if (m_blockStart == m_startBytes) {
        double left = m_lSmooth;
        if (m_bFollowsRate) left = std::max(left, left / m_rate);
        *d = std::max(*d, left);
        dBytes = DurationToBytes(*d);
    }
    // Never leave a remainder shorter than the right smoothing length before the end.
    double right = m_rSmoothBytes;
    if (m_bFollowsRate) right = std::max(right, right / m_rate);
    const INT64 rem = corvane::ClampToInt32(m_endBytes - m_blockStart);
    if (rem - dBytes > 0 && right > static_cast<double>(rem - dBytes)) *d = BytesToMs(rem);
    *d = std::min(*d, r.dur - r.t);
    return false;
}

HRESULT CBaseFilter::ReadHelperBlock(LONG Stream, LONG Flags, double Duration, IUnknown** pp,
                                     double* inputTaken) {
    HelperRequest r;
    const HRESULT durationResult = m_pSource->get_audioDuration(Stream, &r.dur);
    if (FAILED(durationResult)) return durationResult;
    r.t = r.consumed = InputTime(m_position);
    CountInputTaken(Stream, &r);
    r.d = std::min(Duration, r.dur - r.consumed);
    if (m_bInputEnded) {
        // The upstream ran dry: what the buffering object holds is all that is left.
        double held = 0.0;
        if (FAILED(m_pHelper->GetDuration(&held))) held = 0.0;
        r.d = std::min(r.d, held);
    }
    if (!(r.d > 0.0)) return S_OK;

    const HRESULT hooked = OnBeforeRead();
    if (FAILED(hooked)) return hooked;
    if (m_pFormat == nullptr) {
        bool done = false;
        const HRESULT hr = ReadFirstBlock(Stream, Flags, r, pp, &done);
        if (FAILED(hr) || done) return hr;
        CountInputTaken(Stream, &r);  // the first block is held: the input taken is still t
    }
    if (r.exact) *inputTaken = r.consumed;

    m_blockStart = r.exact ? TimeToBytes(r.consumed, false) : TimeToBytes(r.t, true);
    double d = r.d;
    if (m_blockStart + DurationToBytes(d) < m_startBytes || m_blockStart >= m_endBytes)
        return TakeUnprocessed(Stream, Flags, d, pp);
    if (m_smoothEnabled != 0 && ShapeAroundInterval(r, &d))
        return TakeUnprocessed(Stream, Flags, d, pp);

    ComPtr<IUnknown> block;
    const bool first = m_bFirstBlock;
    HRESULT hr = FeedHelper(Stream, Flags, d);
    if (SUCCEEDED(hr)) hr = TakeHelperBlock(d, block.Put());
    if (FAILED(hr)) return hr;
    if (!block) return FlushAtInputEnd(pp);
    ComPtr<IAudioData> data = block.As<IAudioData>();
    if (!data) {
        *pp = block.Detach();
        return S_OK;
    }
    LONG len = 0;
    hr = data->GetLength(&len);
    if (FAILED(hr)) return hr;
    const INT64 before = std::max<INT64>(0, m_startBytes - m_blockStart);
    const INT64 over = std::max<INT64>(0, m_blockStart + len - m_endBytes);
    // The interval ends at its own end or, when the stream ends sooner, at the stream's end.
    const bool last =
        m_blockStart + len >= std::min(m_endBytes, StreamEndBytes(Stream, m_blockStart + len));
    const INT64 n = (len - over - before) / 2;
    if (n > 0) m_blockStart += before;
    const LONG skip = static_cast<LONG>(std::min<INT64>(before, len));
    m_lookAhead.clear();
    m_lookAheadEnds = false;
    if (last && n > 0) {
        // A channel filter that allocates to tell its look-ahead may throw.
        hr = corvane::CallGuarded([&] {
            return GatherLookAhead(Stream, Flags, data.Get(), len, static_cast<LONG>(skip + 2 * n),
                                   m_blockStart + 2 * n);
        });
        if (FAILED(hr)) {
            PutBack(data.Get(), len, first);
            return hr;
        }
    }
    return ProcessInto(block.Get(), data.Get(), len, skip, static_cast<LONG>(std::max<INT64>(n, 0)),
                       last, pp);
}

INT64 CBaseFilter::StreamEndBytes(LONG Stream, INT64 frontBytes) const {
    INT64 end = INT64_MAX;
    double dur = 0.0;
    if (SUCCEEDED(m_pSource->get_audioDuration(Stream, &dur))) end = TimeToBytes(dur, false);
    LONG held = 0;
    if (m_bInputEnded && SUCCEEDED(m_pHelper->GetLength(&held)))
        end = std::min(end, frontBytes + held);
    return end;
}

HRESULT CBaseFilter::GatherLookAhead(LONG Stream, LONG Flags, IAudioData* data, LONG len, LONG from,
                                     INT64 intervalEnd) {
    const INT64 front = intervalEnd + (len - from);  // stream position of the helper's front
    int frames = 0;
    for (const std::unique_ptr<CBaseChannelFilter>& f : m_channels) {
        if (f) frames = std::max(frames, f->LookAheadFrames());
    }
    const LONG align = m_wfx.nBlockAlign;
    const INT64 want = static_cast<INT64>(frames) * align;
    if (want > 0 && intervalEnd < StreamEndBytes(Stream, front)) {
        // What the block itself holds past the interval.
        BYTE* bytes = nullptr;
        HRESULT hr = data->GetBuffer(corvane::kBufferRead, 0, &bytes);
        if (FAILED(hr)) return hr;
        const INT64 own = std::min<INT64>(want, std::max<INT64>(len - from, 0));
        if (own > 0 && bytes == nullptr) return E_POINTER;
        // Then the buffering object: read ahead, take all it holds, copy, and append it back, so
        // that it hands out the same bytes in the same order.
        const INT64 need = want - own;
        LONG held = 0;
        if (need > 0) {
            hr = FeedHelper(Stream, Flags, BytesToMs(need));
            if (SUCCEEDED(hr)) hr = m_pHelper->GetLength(&held);
            if (FAILED(hr)) return hr;
        }
        const INT64 fromHelper = std::min<INT64>(std::max<INT64>(need, 0), held) / align * align;
        // Room for all of it before the buffering object hands anything out: an allocation that
        // failed while it is out would lose what it held.
        m_lookAhead.reserve(static_cast<size_t>((own + fromHelper) / 2));
        const auto append = [this](const BYTE* p, INT64 count) {
            const int16_t* samples = reinterpret_cast<const int16_t*>(p);
            m_lookAhead.insert(m_lookAhead.end(), samples, samples + count / 2);
        };
        if (own > 0) append(bytes + from, own);
        ComPtr<IAudioData> all;
        if (fromHelper > 0) hr = TakeAllHeld(all.Put());
        if (FAILED(hr)) return hr;
        if (all) {
            LONG taken = 0;
            BYTE* heldBytes = nullptr;
            hr = all->GetBufferAndLength(corvane::kBufferRead, 0, &heldBytes, &taken);
            if (SUCCEEDED(hr) && taken > 0 && heldBytes == nullptr) hr = E_POINTER;
            if (SUCCEEDED(hr))
                append(heldBytes, std::min<INT64>(fromHelper, taken / align * align));
            // Back in any case: what the helper held must not be lost.
            const HRESULT back = m_pHelper->Append(0, all.Get());
            if (FAILED(hr) || FAILED(back)) return FAILED(hr) ? hr : back;
        }
    }
    const INT64 got = static_cast<INT64>(m_lookAhead.size()) * 2;
    m_lookAheadEnds = StreamEndBytes(Stream, front) <= intervalEnd + got;
    return S_OK;
}

HRESULT CBaseFilter::TakeAllHeld(IAudioData** out) {
    LONG held = 0;
    const HRESULT hr = m_pHelper->GetLength(&held);
    if (FAILED(hr) || held <= 0) return hr;
    // A little more than it holds, so that no rounding of the time leaves a frame behind.
    return m_pHelper->TakeBlock(BytesToMs(held) + 1.0, out);
}

void CBaseFilter::PutBack(IAudioData* block, LONG len, bool first) {
    // In front of what the buffering object holds: all of that comes out and goes in after it.
    ComPtr<IAudioData> rest;
    HRESULT hr = TakeAllHeld(rest.Put());
    if (FAILED(hr)) return;  // still in order: the block alone is lost
    hr = m_pHelper->Append(0, block);
    if (rest) (void)m_pHelper->Append(0, rest.Get());
    if (FAILED(hr)) return;
    AdvancePosition(-static_cast<INT64>(len));
    m_bFirstBlock = first;
}

HRESULT CBaseFilter::FlushAtInputEnd(IUnknown** pp) {
    if (!m_bInputEnded || !m_bLengthChanges || m_pFormat == nullptr ||
        m_blockStart <= m_startBytes || m_blockStart >= m_endBytes) {
        return S_OK;
    }
    void* created = nullptr;
    HRESULT hr = CoCreateInstance(CLSID_AudioBuffer, nullptr, CLSCTX_INPROC_SERVER,
                                  IID_IAudioBuffer, &created);
    ComPtr<IAudioBuffer> empty(static_cast<IAudioBuffer*>(created));
    if (SUCCEEDED(hr) && !empty) hr = E_POINTER;
    if (SUCCEEDED(hr)) hr = empty->PutFormat(m_pFormat.Get());
    if (SUCCEEDED(hr)) hr = empty->SetLength(0, -1);
    ComPtr<IAudioData> data = SUCCEEDED(hr) ? empty.As<IAudioData>() : ComPtr<IAudioData>();
    if (SUCCEEDED(hr) && !data) hr = E_NOINTERFACE;
    if (SUCCEEDED(hr)) hr = data->PutTime(m_position);
    if (FAILED(hr)) return hr;
    m_lookAhead.clear();
    m_lookAheadEnds = true;
    ComPtr<IUnknown> result;
    hr = ProcessInto(empty.Get(), data.Get(), 0, 0, 0, true, result.Put());
    if (FAILED(hr)) return hr;
    // Nothing held back: the stream has simply ended.
    LONG len = 0;
    ComPtr<IAudioData> out = result.As<IAudioData>();
    if (!out || FAILED(out->GetLength(&len)) || len <= 0) return S_OK;
    *pp = result.Detach();
    return S_OK;
}

HRESULT CBaseFilter::FeedHelper(LONG Stream, LONG Flags, double ms) {
    if (m_pHelper == nullptr) return FAILED(m_helperResult) ? m_helperResult : E_POINTER;
    if (m_pSource == nullptr) return E_POINTER;
    double held = 0.0;
    HRESULT hr = m_pHelper->GetDuration(&held);
    while (SUCCEEDED(hr) && ms > held && !m_bInputEnded) {
        ComPtr<IUnknown> block;
        // A source that fails fails the read, as on the direct path; one that answers success
        // without a block has ended.
        hr = m_pSource->ReadAudio(Stream, Flags, kHelperReadMs, block.Put());
        if (FAILED(hr)) return hr;
        if (block) {
            hr = m_pHelper->Append(0, block.Get());
            block.Reset();
            const double before = held;
            if (SUCCEEDED(hr)) hr = m_pHelper->GetDuration(&held);
            if (FAILED(hr) || held > before) continue;
            // An upstream that hands out empty blocks is as exhausted as one that hands out none.
        }
        // Silence in place of what never came would be passed off as the stream's audio (and
        // processed as such): the stream ends with what the upstream gave.
        m_bInputEnded = true;
    }
    return FAILED(hr) ? hr : S_OK;
}

HRESULT CBaseFilter::TakeHelperBlock(double ms, IUnknown** out) {
    if (out == nullptr) return E_POINTER;
    if (m_pHelper == nullptr) return FAILED(m_helperResult) ? m_helperResult : E_POINTER;
    ComPtr<IAudioData> data;
    HRESULT hr = m_pHelper->TakeBlock(ms, data.Put());
    if (FAILED(hr) || !data) return FAILED(hr) ? hr : S_OK;
    LONG len = 0;
    hr = data->GetLength(&len);
    if (FAILED(hr)) return hr;
    const double dd = BytesToMs(len);
    hr = data->PutTime(m_position);
    if (SUCCEEDED(hr)) hr = data->PutDuration(dd);
    // The block has left the buffering object whatever its marks say: the position follows it.
    AdvancePosition(len);
    if (m_bFirstBlock) {
        if (SUCCEEDED(hr)) hr = data->MarkStart(-1);
        m_bFirstBlock = false;
    }
    if (FAILED(hr)) return hr;
    *out = data.As<IUnknown>().Detach();
    return S_OK;
}

// ---------------------------------------------------------------------------------------------
// First-block set-up

HRESULT CBaseFilter::InitFromAudioData(LONG Stream, IAudioData* data) {
    if (m_pFormat != nullptr) return S_OK;
    if (data == nullptr) return E_POINTER;
    ComPtr<IUnknown> object;
    data->GetFormat(object.Put());
    if (!object) return E_FAIL;
    ComPtr<IAudioFormat> format = object.As<IAudioFormat>();
    if (!format) return E_NOINTERFACE;
    // A record the format could not fill would be read as this stream's channels and rate.
    const HRESULT described = format->GetWaveFormat(reinterpret_cast<WAVEFORMATEX*>(&m_wfx), 0);
    if (FAILED(described)) return described;
    m_pFormat = std::move(format);
    SetPosition(m_position);  // frames from here on are counted at this format's rate
    m_pFormat->GetChannelLayout(&m_channelLayout);

    m_bFormatUsable = m_wfx.nChannels > 0 && m_wfx.nSamplesPerSec > 0 && m_wfx.nBlockAlign > 0;
    if (!m_bFormatUsable) {
        ClearChannelFilters();
        return S_OK;
    }
    // Without its channel filters the stream would pass unprocessed as the effect's output; the
    // format goes too, so that the next read sets the stream up again.
    const HRESULT built = BuildChannelFilters();
    if (FAILED(built)) {
        ReleaseFormat();
        return built;
    }

    if (!m_bExplicitInterval) m_effectStart = 0.0;
    double streamMs = 0.0;
    if (m_pSource != nullptr && SUCCEEDED(m_pSource->get_audioDuration(Stream, &streamMs))) {
        m_effectDuration = IntervalIn(streamMs);
    }
    m_scaledDuration = m_effectDuration * m_rate;
    m_startBytes = TimeToBytes(m_effectStart, false);
    m_endBytes = TimeToBytes(m_effectStart + m_effectDuration, false);
    m_lengthBytes = m_endBytes - m_startBytes;
    m_scaledEndBytes = TimeToBytes(m_scaledDuration + m_effectStart, false);
    m_scaledLengthBytes = m_scaledEndBytes - m_startBytes;

    m_rSmooth = LimitSmooth(m_rSmoothTime, m_effectDuration);
    m_lSmooth = LimitSmooth(m_lSmoothTime, m_effectDuration);
    m_rSmoothScaled = LimitSmooth(m_rSmoothTime, m_scaledDuration);
    m_lSmoothScaled = LimitSmooth(m_lSmoothTime, m_scaledDuration);
    ComputeSmoothBytes();

    if (m_strength.bUseStrengthPerCh) {
        if (m_strength.zones.empty()) {
            // Without zone records the ramp runs over the interval itself, sample by sample.
            m_strength.current.effectStart = 0.0;
            m_strength.current.effectDuration = m_effectDuration;
        }
        PrepareStrengthRecord(m_startBytes, &m_strength.current);
        for (StrengthZoneRecord& rec : m_strength.zones) PrepareStrengthRecord(m_startBytes, &rec);
    }
    return S_OK;
}

// ---------------------------------------------------------------------------------------------
// Seek, skip, duration, time, format, track

HRESULT CBaseFilter::SeekAudio(LONG Stream, LONG Flags, double Time) {
    if (m_pSource == nullptr) return SetError(kInvalidArgument);
    m_bFirstBlock = true;
    m_frameOffset = m_inCount = m_outCount = 0;
    const HRESULT hr = m_pSource->SeekAudio(Stream, Flags, InputTime(Time));
    UpstreamPosition(Stream);
    DropQueuedAudio();
    if (RateMappingApplies()) SetPosition(OutputTime(m_position));
    // An effect that could not restart at the new position would go on from the old one.
    const HRESULT restarted = OnSeek();
    return FAILED(hr) || SUCCEEDED(restarted) ? hr : restarted;
}

HRESULT CBaseFilter::SkipAudio(LONG Stream, LONG Flags, double Duration) {
    if (m_pSource == nullptr) return SetError(kInvalidArgument);
    HRESULT hr;
    if (m_bUseHelper && m_bEnabled) {
        hr = SeekAudio(Stream, Flags, m_position + Duration);
    } else {
        hr = m_pSource->SkipAudio(Stream, Flags, Duration);
        UpstreamPosition(Stream);
        DropQueuedAudio();
    }
    const HRESULT restarted = OnSkip();
    return FAILED(hr) || SUCCEEDED(restarted) ? hr : restarted;
}

HRESULT CBaseFilter::GetAudioDuration(LONG Stream, double* pVal) {
    if (pVal == nullptr) return E_POINTER;
    if (m_pSource == nullptr) return SetError(kInvalidArgument);
    if (!RateMappingApplies()) return m_pSource->get_audioDuration(Stream, pVal);
    double d = 0.0;
    const HRESULT hr = m_pSource->get_audioDuration(Stream, &d);
    if (SUCCEEDED(hr)) *pVal = StretchedDuration(d, StreamSampleRate(Stream));
    return hr;
}

DWORD CBaseFilter::StreamSampleRate(LONG Stream) const {
    if (m_pFormat != nullptr) return m_bFormatUsable ? m_wfx.nSamplesPerSec : 0;
    // Before the first block (a reader that sizes its interval first, as the reverse does): the
    // rate the source will deliver.
    ComPtr<IUnknown> object;
    if (FAILED(m_pSource->get_audioFormat(Stream, object.Put()))) return 0;
    const ComPtr<IAudioFormat> format = object.As<IAudioFormat>();
    LONG rate = 0;
    if (!format || FAILED(format->GetSampleRate(&rate)) || rate < 0) return 0;
    return static_cast<DWORD>(rate);
}

HRESULT CBaseFilter::GetAudioTime(LONG Stream, double* pVal) {
    if (pVal == nullptr) return E_POINTER;
    if (m_pSource == nullptr) return SetError(kInvalidArgument);
    if (m_bUseHelper && m_bEnabled) {
        *pVal = m_position;
        return S_OK;
    }
    return m_pSource->get_audioTime(Stream, pVal);
}

HRESULT CBaseFilter::PutAudioFormat(LONG Stream, IUnknown* format) {
    if (m_pSource == nullptr) return SetError(kInvalidArgument);
    DropQueuedAudio();
    ReleaseFormat();
    return m_pSource->put_audioFormat(Stream, format);
}

HRESULT CBaseFilter::PutAudioTrack(LONG track) {
    if (m_pSource == nullptr) return SetError(kInvalidArgument);
    LONG current = 0;
    if (SUCCEEDED(m_pSource->get_audioTrack(&current)) && current == track) return S_OK;
    DropQueuedAudio();
    ReleaseFormat();
    return m_pSource->put_audioTrack(track);
}
