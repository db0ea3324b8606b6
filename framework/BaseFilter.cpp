// Engine state, construction, parameters, filter-interface properties and channel filters.
#include "framework/BaseFilter.h"

#include "framework/BaseFilterSupport.h"
#include "framework/error_support.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <memory>
#include <utility>

using corvane::ComPtr;
using corvane::QueryAs;

using corvane::kInvalidArgument;

// ---------------------------------------------------------------------------------------------
// Construction and destruction

CBaseFilter::CBaseFilter(GUID clsid, GUID iid, BYTE useHelper, BYTE perChannel)
    : m_clsid(clsid), m_iid(iid), m_bUseHelper(useHelper != 0), m_bPerChannel(perChannel != 0) {
    std::memset(&m_wfx, 0, sizeof(m_wfx));
    m_wfx.nChannels = 2;
    m_wfx.nSamplesPerSec = 44100;
    m_wfx.nBlockAlign = 4;
    ComputeSmoothBytes();
    if (m_bUseHelper) {
        m_helperResult = CoCreateInstance(CLSID_AudioHelper, nullptr, CLSCTX_INPROC_SERVER,
                                          IID_IAudioHelper, m_pHelper.Out());
        if (SUCCEEDED(m_helperResult) && m_pHelper == nullptr) m_helperResult = E_POINTER;
        if (FAILED(m_helperResult)) m_pHelper.Reset();
    }
}

CBaseFilter::~CBaseFilter() {
    // Each slot is empty before its object is released (ComPtr::Reset).
    m_pSource.Reset();
    m_pParams.Reset();
    m_pZones.Reset();
    m_pFormat.Reset();
    m_pHelper.Reset();
    ClearChannelFilters();
}

HRESULT CBaseFilter::SetError(int code) const {
    return corvane::ReportError(code, m_clsid, m_iid);
}

// ---------------------------------------------------------------------------------------------
// Conversions

UINT CBaseFilter::SmoothBytes(INT64 x) const {
    // In 64 bits: times of a minute or more overflow a 32-bit product of milliseconds and rate.
    if (x < 0) x = 0;
    const uint64_t frames = static_cast<uint64_t>(x) * m_wfx.nSamplesPerSec / 1000u;
    const uint64_t bytes = frames * m_wfx.nBlockAlign;
    return bytes > UINT32_MAX ? UINT32_MAX : static_cast<UINT>(bytes);
}

void CBaseFilter::ComputeSmoothBytes() {
    m_rSmoothBytes = SmoothBytes(m_rSmooth);
    m_lSmoothBytes = SmoothBytes(m_lSmooth);
    m_rSmoothScaledBytes = SmoothBytes(m_rSmoothScaled);
    m_lSmoothScaledBytes = SmoothBytes(m_lSmoothScaled);
}

namespace {

// The frames of t ms at a rate, before truncation: a frame counts from a ten-thousandth short of
// it, so that a time computed from a whole frame count never rounds a frame short.
double FramesAt(double t, double rate) {
    return rate * t / 1000.0 + 0.0001;
}

}  // namespace

INT64 CBaseFilter::TimeToBytes(double t, bool withLag) const {
    double frames = FramesAt(t, static_cast<double>(m_wfx.nSamplesPerSec));
    if (withLag) frames += static_cast<double>(m_frameOffset);
    // Far beyond any stream, but with room for the byte arithmetic of the read paths.
    constexpr INT64 kLimit = INT64{1} << 46;
    const INT64 whole = std::clamp<INT64>(corvane::TruncToInt64(frames), -kLimit, kLimit);
    return whole * m_wfx.nBlockAlign;
}

int32_t CBaseFilter::DurationToBytes(double d) const {
    const int64_t frames =
        corvane::TruncToInt32(FramesAt(d, static_cast<double>(m_wfx.nSamplesPerSec)));
    return corvane::ClampToInt32(frames * m_wfx.nBlockAlign);
}

double CBaseFilter::BytesToMs(INT64 b) const {
    const double perSecond =
        static_cast<double>(m_wfx.nBlockAlign) * static_cast<double>(m_wfx.nSamplesPerSec);
    if (perSecond <= 0.0) return 0.0;
    return static_cast<double>(b) * 1000.0 / perSecond;
}

void CBaseFilter::SetPosition(double ms) {
    m_position = ms;
    m_positionBase = ms;
    m_positionFrames = 0;
}

void CBaseFilter::AdvancePosition(INT64 b) {
    if (m_wfx.nBlockAlign == 0 || m_wfx.nSamplesPerSec == 0) return;
    m_positionFrames += b / m_wfx.nBlockAlign;
    m_position = m_positionBase + static_cast<double>(m_positionFrames) * 1000.0 /
                                      static_cast<double>(m_wfx.nSamplesPerSec);
}

void CBaseFilter::UpstreamPosition(LONG Stream) {
    double t = m_position;
    if (m_pSource != nullptr) m_pSource->get_audioTime(Stream, &t);
    SetPosition(t);
}

double CBaseFilter::IntervalIn(double streamMs) const {
    if (!m_bExplicitInterval) return streamMs;
    const double room = std::max(0.0, streamMs - m_effectStart);
    // Also NaN: a span that cannot be compared is cut as well.
    return m_zoneDuration <= room ? m_zoneDuration : room;
}

double CBaseFilter::StretchedDuration(double streamMs, DWORD sampleRate) const {
    const double ms = streamMs + (m_rate - 1.0) * IntervalIn(streamMs);
    if (sampleRate == 0) return ms;
    // In whole frames, counted as TimeToBytes counts them: the interval's frames become
    // lround(frames x rate), as the effect delivers them, so that a reader that sizes its own
    // interval by this duration takes every frame, the half frame that the milliseconds leave
    // over included.
    const double rate = static_cast<double>(sampleRate);
    const auto frames = [rate](double t) { return std::floor(FramesAt(t, rate)); };
    const double all = frames(streamMs);
    if (!(all >= 0.0 && all < 1e15)) return ms;  // no count of frames to round
    const double start = std::min(frames(m_effectStart), all);
    const double end = std::min(frames(m_effectStart + IntervalIn(streamMs)), all);
    const double inside = std::max(end - start, 0.0);
    return (all - inside + std::round(inside * m_rate)) * 1000.0 / rate;
}

double CBaseFilter::InputTime(double t) const {
    if (!RateMappingApplies()) return t;
    const double s = m_effectStart, d = m_effectDuration, r = m_rate;
    if (t <= s) return t;
    if (t < s + r * d) return s + (t - s) / r;
    return t - (r - 1.0) * d;
}

double CBaseFilter::OutputTime(double t) const {
    if (!RateMappingApplies()) return t;
    const double s = m_effectStart, d = m_effectDuration, r = m_rate;
    if (t <= s) return t;
    if (t < s + d) return s + (t - s) * r;
    return t + (r - 1.0) * d;
}

// ---------------------------------------------------------------------------------------------
// Parameters

void CBaseFilter::ResetSmoothLimits() {
    m_rSmoothTime = m_lSmoothTime = 20;
    m_rSmooth = m_lSmooth = m_rSmoothScaled = m_lSmoothScaled = 20;
}

HRESULT CBaseFilter::ResetParams() {
    m_level = 1.0;
    m_rate = 1.0;
    m_smoothEnabled = 0;
    m_frameOffset = m_inCount = m_outCount = 0;
    ResetSmoothLimits();
    m_strength = StrengthSettings();
    return S_OK;
}

void CBaseFilter::LoadStrengths(IEffectParams* from, StrengthZoneRecord* rec, bool withInterval) {
    if (rec == nullptr) return;
    corvane::ParamDouble(from, OLESTR("LeftStrength"), &rec->leftStrength);
    corvane::ParamDouble(from, OLESTR("RightStrength"), &rec->rightStrength);
    corvane::ParamDouble(from, OLESTR("CenterStrength"), &rec->centerStrength);
    double leftEnd = rec->leftStrength, rightEnd = rec->rightStrength,
           centerEnd = rec->centerStrength;
    corvane::ParamDouble(from, OLESTR("LeftStrengthEnd"), &leftEnd);
    corvane::ParamDouble(from, OLESTR("RightStrengthEnd"), &rightEnd);
    corvane::ParamDouble(from, OLESTR("CenterStrengthEnd"), &centerEnd);
    rec->leftSlope = leftEnd - rec->leftStrength;
    rec->rightSlope = rightEnd - rec->rightStrength;
    rec->centerSlope = centerEnd - rec->centerStrength;
    rec->bRamp = rec->leftSlope != 0.0 || rec->rightSlope != 0.0 || rec->centerSlope != 0.0;
    if (withInterval) {
        corvane::ParamDouble(from, OLESTR("EffectStart"), &rec->effectStart);
        corvane::ParamDouble(from, OLESTR("EffectDuration"), &rec->effectDuration);
    }
}

HRESULT CBaseFilter::LoadParams() {
    IEffectParams* p = m_pParams.Get();
    if (SUCCEEDED(corvane::ParamBool(p, OLESTR("SmoothEnabled"), &m_smoothEnabled))) {
        LONG v = m_rSmoothTime;
        if (SUCCEEDED(corvane::ParamLong(p, OLESTR("RSmoothTime"), &v))) m_rSmoothTime = v;
        v = m_lSmoothTime;
        if (SUCCEEDED(corvane::ParamLong(p, OLESTR("LSmoothTime"), &v))) m_lSmoothTime = v;
    }

    m_strength = StrengthSettings();
    VARIANT_BOOL perChannel = 0;
    if (SUCCEEDED(corvane::ParamBool(p, OLESTR("UseStrengthPerCh"), &perChannel))) {
        m_strength.bUseStrengthPerCh = perChannel != 0;
        LONG count = 0;
        corvane::ParamCount(p, OLESTR("StrengthZone"), &count);
        if (count < 1) {
            LoadStrengths(p, &m_strength.current, false);
            m_strength.current.effectDuration = kWholeStreamMs;
        } else {
            for (LONG j = 0; j < count; ++j) {
                ComPtr<IEffectParams> entry;
                if (FAILED(corvane::ParamZone(p, OLESTR("StrengthZone"), j, entry.Put())) || !entry)
                    continue;
                StrengthZoneRecord rec;
                LoadStrengths(entry.Get(), &rec, true);
                m_strength.zones.push_back(rec);
            }
            if (!m_strength.zones.empty()) {
                m_strength.nZone = 0;
                m_strength.current = m_strength.zones[0];
            }
        }
    }

    double dB = 0.0;
    if (SUCCEEDED(corvane::ParamDouble(p, OLESTR("dBVolumeLevel"), &dB))) {
        m_level = std::pow(10.0, dB / 20.0);
    } else {
        corvane::ParamDouble(p, OLESTR("VolumeLevel"), &m_level);
    }

    // A rate must be finite and positive: it divides the output timeline and the lag.
    double rate = m_rate;
    if (SUCCEEDED(corvane::ParamDouble(p, OLESTR("Rate"), &rate)) && std::isfinite(rate) &&
        rate > 0.0) {
        m_rate = rate;
    }

    BSTR path = nullptr;
    if (SUCCEEDED(corvane::ParamString(p, OLESTR("TempPath"), &path))) {
        m_tempPath.assign(path ? path : OLESTR(""), path ? SysStringLen(path) : 0);
    }
    SysFreeString(path);
    return S_OK;
}

// ---------------------------------------------------------------------------------------------
// Filter-interface properties

HRESULT CBaseFilter::GetEffectEnabled(VARIANT_BOOL* pVal) const {
    if (pVal == nullptr) return E_POINTER;
    *pVal = m_bEnabled ? VARIANT_TRUE : VARIANT_FALSE;
    return S_OK;
}

HRESULT CBaseFilter::PutEffectEnabled(VARIANT_BOOL v) {
    m_bEnabled = v != 0;
    return S_OK;
}

HRESULT CBaseFilter::GetMediaSource(IUnknown** pp) const {
    if (pp == nullptr) return E_POINTER;
    *pp = QueryAs<IUnknown>(m_pSource.Get()).Detach();
    return S_OK;
}

bool CBaseFilter::LeadsBackHere(IUnknown* source) const {
    // No real chain is this long; a longer one is taken for a loop that does not pass here.
    constexpr int kLongestChain = 65536;
    if (source == nullptr || m_pIdentity == nullptr) return false;
    const ComPtr<IUnknown> self = QueryAs<IUnknown>(m_pIdentity);
    ComPtr<IUnknown> node = QueryAs<IUnknown>(source);
    for (int depth = 0; node && depth < kLongestChain; ++depth) {
        if (node.Get() == self.Get()) return true;
        ComPtr<IMediaBaseFilter> filter = node.As<IMediaBaseFilter>();
        if (!filter) return false;
        ComPtr<IUnknown> next;
        if (FAILED(filter->get_MediaSource(next.Put()))) return false;
        // Compared by COM identity: the IUnknown of each object.
        node = next.As<IUnknown>();
    }
    return static_cast<bool>(node);
}

HRESULT CBaseFilter::PutMediaSource(IUnknown* s) {
    // Reading through such a chain would recurse until the stack runs out.
    if (LeadsBackHere(s)) return SetError(kInvalidArgument);
    // The old source goes only once the new one is in place.
    ComPtr<IMediaSource> old = std::move(m_pSource);
    m_pSource = QueryAs<IMediaSource>(s);
    old.Reset();
    const HRESULT hr = ResetStream();
    if (FAILED(hr)) return hr;
    return (s != nullptr && m_pSource == nullptr) ? E_NOINTERFACE : S_OK;
}

HRESULT CBaseFilter::GetBaseMediaSource(IUnknown** pp) const {
    if (pp == nullptr) return E_POINTER;
    *pp = nullptr;
    if (m_pSource == nullptr) return S_OK;
    ComPtr<IMediaBaseFilter> filter = QueryAs<IMediaBaseFilter>(m_pSource.Get());
    if (filter) return filter->GetBaseMediaSource(pp);
    *pp = QueryAs<IUnknown>(m_pSource.Get()).Detach();
    return S_OK;
}

HRESULT CBaseFilter::GetEffectParams(IUnknown** pp) const {
    if (pp == nullptr) return E_POINTER;
    *pp = nullptr;
    if (m_pParams == nullptr) return S_OK;
    ComPtr<IEffectParams> copy;
    const HRESULT hr = m_pParams->Duplicate(2, copy.Put());
    if (FAILED(hr)) return hr;
    if (!copy) return E_FAIL;  // a success without a copy must not look like "no parameters"
    *pp = copy.As<IUnknown>().Detach();
    return *pp ? S_OK : E_NOINTERFACE;
}

HRESULT CBaseFilter::PutEffectParams(IUnknown* p) {
    const HRESULT reset = ResetParams();
    if (FAILED(reset)) return reset;
    m_pParams.Reset();
    if (ComPtr<IEffectParams> given = QueryAs<IEffectParams>(p)) {
        // A copy that cannot be made leaves no parameters (code 8 below).
        (void)given->Duplicate(2, m_pParams.Put());
    }
    if (m_pParams == nullptr) return SetError(kInvalidArgument);
    const HRESULT loaded = LoadParams();
    return FAILED(loaded) ? loaded : S_OK;
}

HRESULT CBaseFilter::GetEffectZones(IUnknown** pp) const {
    if (pp == nullptr) return E_POINTER;
    *pp = QueryAs<IUnknown>(m_pZones.Get()).Detach();
    return S_OK;
}

HRESULT CBaseFilter::PutEffectZones(IUnknown* z) {
    m_bExplicitInterval = false;
    ComPtr<IEffectZones> old = std::move(m_pZones);
    m_pZones = QueryAs<IEffectZones>(z);
    old.Reset();
    if (m_pZones == nullptr) return S_OK;

    VARIANT_BOOL enabled = 0;
    LONG n = 0;
    if (FAILED(m_pZones->get_Enabled(&enabled)) || enabled == 0) return S_OK;
    if (FAILED(m_pZones->GetCount(&n))) return S_OK;
    double lo = 0.0, hi = 0.0;
    for (LONG i = 0; i < n; ++i) {
        LONG id = 0;
        VARIANT_BOOL zoneEnabled = 0;
        double start = 0.0, duration = 0.0;
        // A zone whose getters fail does not take part.
        if (FAILED(m_pZones->GetZoneId(i, &id))) continue;
        if (FAILED(m_pZones->GetZoneEnabled(id, &zoneEnabled)) || zoneEnabled == 0) continue;
        if (FAILED(m_pZones->GetZoneTime(id, &start, &duration))) continue;
        const double end = start + duration;
        if (!m_bExplicitInterval) {
            lo = start;
            hi = end;
            m_bExplicitInterval = true;
        } else {
            lo = std::min(lo, start);
            hi = std::max(hi, end);
        }
    }
    if (m_bExplicitInterval) {
        m_effectStart = lo;
        m_effectDuration = m_zoneDuration = hi - lo;
        m_scaledDuration = (hi - lo) * m_rate;
    }
    return S_OK;
}

HRESULT CBaseFilter::InitFilter(IUnknown*) {
    return S_OK;
}

// ---------------------------------------------------------------------------------------------
// Stream state and channel filters

void CBaseFilter::DropQueuedAudio() {
    if (m_pHelper) m_pHelper->Reset(0);
    m_bInputEnded = false;
    for (const std::unique_ptr<CBaseChannelFilter>& f : m_channels) {
        if (f) f->ClearQueues();
    }
}

void CBaseFilter::ReleaseFormat() {
    m_pFormat.Reset();
}

HRESULT CBaseFilter::ResetStream() {
    DropQueuedAudio();
    ReleaseFormat();
    return S_OK;
}

void CBaseFilter::ClearChannelFilters() {
    // The list is empty before the first filter goes, so none sees a half-cleared list.
    std::vector<std::unique_ptr<CBaseChannelFilter>> filters;
    filters.swap(m_channels);
}

std::unique_ptr<CBaseChannelFilter> CBaseFilter::CreateChannelFilter() {
    return std::make_unique<CBaseChannelFilter>(this);
}

HRESULT CBaseFilter::BuildChannelFilters() {
    ClearChannelFilters();
    const int count = m_bPerChannel ? m_wfx.nChannels : 1;
    m_channels.reserve(static_cast<size_t>(count));
    for (int i = 0; i < count; ++i) {
        std::unique_ptr<CBaseChannelFilter> f = CreateChannelFilter();
        // Filter i serves channel i: a gap would shift every later channel.
        if (!f) corvane::ThrowHr(E_OUTOFMEMORY);
        HRESULT hr = f->ResetChannel();
        if (SUCCEEDED(hr)) hr = f->LoadChannelParams();
        if (FAILED(hr)) {
            // A partial list would leave channels unprocessed.
            ClearChannelFilters();
            return hr;
        }
        m_channels.push_back(std::move(f));
    }
    return S_OK;
}

HRESULT CBaseFilter::OnReset() {
    return S_OK;
}
HRESULT CBaseFilter::OnSeek() {
    return S_OK;
}
HRESULT CBaseFilter::OnSkip() {
    return S_OK;
}
HRESULT CBaseFilter::OnBeforeRead() {
    return S_OK;
}
HRESULT CBaseFilter::OnBlockFormat() {
    return S_OK;
}

UINT64 CBaseFilter::DefaultChannelLayout(UINT64 layout, int channels) {
    if (layout != 0) return layout;
    static const UINT64 kMasks[] = {0x0, 0x4, 0x3, 0xB, 0xF, 0x10F, 0x60F, 0x70F, 0x63F};
    if (channels < 0) return 0;
    if (channels <= 8) return kMasks[channels];
    // Beyond 8 channels: the first speaker positions in order, as far as positions exist (18).
    if (channels <= 18) return (UINT64{1} << channels) - 1;
    return 0;
}

// ---------------------------------------------------------------------------------------------
// Support: key names and parameter getters

namespace corvane {

Bstr KeyName(LPCOLESTR name) {
    Bstr key(name);
    if (key.Get() == nullptr) ThrowHr(E_OUTOFMEMORY);
    return key;
}

namespace {
template <class T, class Call>
HRESULT ReadInto(IEffectParams* p, T* out, Call&& call) {
    if (p == nullptr || out == nullptr) return E_POINTER;
    T value = *out;
    const HRESULT hr = call(&value);
    if (SUCCEEDED(hr)) *out = value;
    return hr;
}
}  // namespace

HRESULT ParamBool(IEffectParams* p, LPCOLESTR key, VARIANT_BOOL* out, LONG index) {
    return ReadInto(p, out, [&](VARIANT_BOOL* v) { return p->GetBool(KeyName(key), index, v); });
}
HRESULT ParamLong(IEffectParams* p, LPCOLESTR key, LONG* out, LONG index) {
    return ReadInto(p, out, [&](LONG* v) { return p->GetLong(KeyName(key), index, v); });
}
HRESULT ParamLongDef(IEffectParams* p, LPCOLESTR key, LONG def, LONG* out, LONG index) {
    return ReadInto(p, out, [&](LONG* v) { return p->GetLongDef(KeyName(key), index, def, v); });
}
HRESULT ParamULong(IEffectParams* p, LPCOLESTR key, ULONG* out, LONG index) {
    return ReadInto(p, out, [&](ULONG* v) { return p->GetULong(KeyName(key), index, v); });
}
HRESULT ParamDouble(IEffectParams* p, LPCOLESTR key, double* out, LONG index) {
    return ReadInto(p, out, [&](double* v) { return p->GetDouble(KeyName(key), index, v); });
}
HRESULT ParamDoubleDef(IEffectParams* p, LPCOLESTR key, double def, double* out, LONG index) {
    return ReadInto(p, out,
                    [&](double* v) { return p->GetDoubleDef(KeyName(key), index, def, v); });
}
HRESULT ParamString(IEffectParams* p, LPCOLESTR key, BSTR* out, LONG index) {
    if (out) *out = nullptr;
    return ReadInto(p, out, [&](BSTR* v) { return p->GetString(KeyName(key), index, v); });
}
HRESULT ParamCount(IEffectParams* p, LPCOLESTR key, LONG* out) {
    return ReadInto(p, out, [&](LONG* v) { return p->GetCount(KeyName(key), v); });
}
HRESULT ParamZone(IEffectParams* p, LPCOLESTR key, LONG index, IEffectParams** out) {
    if (out) *out = nullptr;
    return ReadInto(p, out,
                    [&](IEffectParams** v) { return p->GetZone(KeyName(key), index, 1, v); });
}
HRESULT ParamStream(IEffectParams* p, LPCOLESTR key, IStream** out, LONG index) {
    if (out) *out = nullptr;
    return ReadInto(p, out, [&](IStream** v) { return p->GetStream(KeyName(key), index, 1, v); });
}

}  // namespace corvane
