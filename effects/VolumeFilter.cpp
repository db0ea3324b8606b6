#include "effects/VolumeFilter.h"

#include "dsp/effect_loops.h"
#include "framework/BaseFilterSupport.h"

#include <algorithm>
#include <cmath>
#include <limits>

using corvane::ComPtr;

namespace {

constexpr LONG kDecibelScale = 255;
constexpr LONG kPercentWithDecibelRamp = 1;
constexpr float kDecibelToExponent = 0.115129f;  // ln(10) / 20

// v x 256 rounded, as a Q8 gain held at the int32 limits (a huge level would overflow it).
int32_t Q8(double v) {
    const double q = std::round(v * 256.0);
    if (q >= 2147483647.0) return INT32_MAX;
    if (q <= -2147483648.0) return INT32_MIN;
    return static_cast<int32_t>(q);
}

int16_t Clamp16(int64_t v) {
    return static_cast<int16_t>(std::clamp<int64_t>(v, -32768, 32767));
}

// A float sample value as 16 bits, NaN to 0.
int16_t Clamp16(float v) {
    if (std::isnan(v)) return 0;
    if (v >= 32767.0f) return 32767;
    if (v <= -32768.0f) return -32768;
    return static_cast<int16_t>(v);
}

// The kernels of the ramps: per frame i a gain (Q8, or a decibel level), evaluated in single
// precision; the frames of whole groups of four round as the vector form does, the last ones as
// the scalar form.
template <class PerFrame>
void ApplyRamp(int16_t* x, int64_t n, int channels, PerFrame perFrame) {
    const int64_t frames = n / channels + (n % channels != 0 ? 1 : 0);
    const int64_t grouped = (n / channels) / 4 * 4;
    for (int64_t i = 0; i < frames; ++i) {
        const bool inGroup = i < grouped;
        for (int c = 0; c < channels; ++c) {
            const int64_t k = i * channels + c;
            if (k >= n) break;
            x[k] = perFrame(static_cast<float>(i), x[k], inGroup);
        }
    }
}

}  // namespace

CVolumeFilter::~CVolumeFilter() = default;

const ParamTable<CVolumeFilter::Levels>& CVolumeFilter::LevelParams() {
    static const ParamTable<Levels> rows = {
        {NumberKey(OLESTR("dBStartLevel"), ParamSpec::kNone), &Levels::start},
        {NumberKey(OLESTR("dBEndLevel"), ParamSpec::kNone), &Levels::end},
        {LevelKey(OLESTR("dBVolumeLevel"), OLESTR("VolumeLevel"), ParamSpec::kNone),
         &Levels::factor},
    };
    return rows;
}

const ParamTable<CVolumeFilter>& CVolumeFilter::Params() {
    using C = CVolumeFilter;
    static const ParamTable<C> rows = {
        {LongKey(OLESTR("VolumeScale"), 0), &C::m_scale},
        {BoolKey(OLESTR("UseZoneProperties"), false), &C::m_useZoneProperties},
    };
    return rows;
}

void CVolumeFilter::ReadZoneLevels(VolumeZoneRecord* rec, IEffectParams* params, LONG scale) {
    const ParamTable<Levels>& rows = LevelParams();
    Levels levels;
    // A ramp needs both of its ends; the constant level counts only without one.
    if (ReadParam(params, &levels, rows[0]) && ReadParam(params, &levels, rows[1])) {
        const double s = levels.start, e = levels.end;
        rec->startLevel = s;
        rec->endLevel = e;
        rec->levelDifference = e - s;
        if (scale == kDecibelScale) {
            rec->startGain = Q8(std::pow(10.0, s / 20.0));
            rec->endGain = Q8(std::pow(10.0, e / 20.0));
        } else {
            rec->startGain = Q8((s + 100.0) / 100.0);
            rec->endGain = Q8((e + 100.0) / 100.0);
        }
        rec->gainDifference = int64_t{rec->endGain} - rec->startGain;
        if (rec->gainDifference != 0) {
            rec->mode = scale == kPercentWithDecibelRamp ? 2 : 1;
        } else {
            // Equal ends are a constant: whatever the record held before is no ramp of this zone.
            rec->mode = 0;
            rec->gain = (scale == kDecibelScale || scale == kPercentWithDecibelRamp)
                            ? Q8(std::pow(10.0, s / 20.0))
                            : rec->startGain;
        }
    } else if (ReadParam(params, &levels, rows[2])) {
        rec->mode = 0;
        rec->gain = Q8(levels.factor);
    }
}

HRESULT CVolumeFilter::ResetParams() {
    if (const HRESULT hr = CBaseFilter::ResetParams(); FAILED(hr)) return hr;
    m_current = VolumeZoneRecord();
    m_multiZone = false;
    m_zoneIndex = 0;
    m_zones.clear();
    m_dry.clear();
    return S_OK;
}

bool CVolumeFilter::LoadZoneRecords(LONG scale) {
    LONG count = 0;
    // The key counts when given at all, true or false.
    if (!m_bExplicitInterval || m_pZones == nullptr ||
        !ReadParam(m_pParams.Get(), this, Params()[1]) || FAILED(m_pZones->GetCount(&count)) ||
        count <= 0) {
        return false;
    }
    // One record carried from zone to zone: a zone without readable levels keeps the levels of
    // the zone before it.
    VolumeZoneRecord rec;
    std::vector<VolumeZoneRecord> zones;
    for (LONG i = 0; i < count; ++i) {
        LONG id = 0;
        VARIANT_BOOL enabled = 0;
        // Disabled zones are no part of the interval either.
        if (FAILED(m_pZones->GetZoneId(i, &id)) || FAILED(m_pZones->GetZoneEnabled(id, &enabled)) ||
            enabled == 0 || FAILED(m_pZones->GetZoneTime(id, &rec.zoneStart, &rec.zoneDuration))) {
            continue;
        }
        ComPtr<IUnknown> object;
        m_pZones->GetZoneParams(id, object.Put());
        if (ComPtr<IEffectParams> params = object.As<IEffectParams>()) {
            ReadZoneLevels(&rec, params.Get(), scale);
        }
        zones.push_back(rec);
    }
    if (zones.empty()) return false;
    std::stable_sort(zones.begin(), zones.end(),
                     [](const VolumeZoneRecord& a, const VolumeZoneRecord& b) {
                         return a.zoneStart < b.zoneStart;
                     });
    m_zones = std::move(zones);
    m_zoneIndex = 0;
    m_current = m_zones[0];
    m_multiZone = m_zones.size() > 1;
    return true;
}

HRESULT CVolumeFilter::LoadParams() {
    if (const HRESULT hr = CBaseFilter::LoadParams(); FAILED(hr)) return hr;
    m_dry.clear();
    ::ResetParams(this, Params());
    ReadParam(m_pParams.Get(), this, Params()[0]);
    m_zones.clear();
    m_zoneIndex = 0;
    if (!LoadZoneRecords(m_scale)) {
        m_multiZone = false;
        ReadZoneLevels(&m_current, m_pParams.Get(), m_scale);
    }
    return S_OK;
}

void CVolumeFilter::ComputeSteps(VolumeZoneRecord* rec) {
    // An empty zone has nothing to step along.
    const double samples = static_cast<double>(rec->lengthBytes) / 2.0;
    const bool hasLength = rec->lengthBytes > 0;
    rec->gainStep = hasLength ? static_cast<double>(rec->gainDifference) / samples : 0.0;
    rec->levelStep = hasLength ? rec->levelDifference / samples : 0.0;
}

void CVolumeFilter::TakeInterval() {
    m_current.zoneStart = m_effectStart;
    m_current.zoneDuration = m_effectDuration;
    m_current.startByte = m_startBytes;
    m_current.lengthBytes = m_lengthBytes;
    m_current.endByte = m_endBytes;
    ComputeSteps(&m_current);
}

HRESULT CVolumeFilter::BuildChannelFilters() {
    if (const HRESULT hr = CWholeBlockFilter::BuildChannelFilters(); FAILED(hr)) return hr;
    if (m_bExplicitInterval && !m_zones.empty()) {
        for (VolumeZoneRecord& rec : m_zones) {
            rec.startByte = TimeToBytes(rec.zoneStart, false);
            rec.endByte = TimeToBytes(rec.zoneStart + rec.zoneDuration, false);
            rec.lengthBytes = rec.endByte - rec.startByte;
            ComputeSteps(&rec);
        }
        m_zoneIndex = std::clamp<int32_t>(m_zoneIndex, 0, static_cast<int32_t>(m_zones.size()) - 1);
        m_current = m_zones[static_cast<size_t>(m_zoneIndex)];
    } else {
        m_multiZone = false;
        TakeInterval();
    }
    m_dry.clear();
    return S_OK;
}

HRESULT CVolumeFilter::OnBlockFormat() {
    if (!m_bFirstBlock) return S_OK;
    // The interval's bytes are known only once the first block set the stream up.
    if (m_zones.empty()) {
        TakeInterval();
    } else {
        for (VolumeZoneRecord& rec : m_zones) ComputeSteps(&rec);
        ComputeSteps(&m_current);
    }
    return S_OK;
}

void CVolumeFilter::ApplyGain(const VolumeZoneRecord& rec, int16_t* x, int64_t n, int channels,
                              double fraction) {
    if (n <= 0 || channels <= 0) return;
    if (rec.mode == 1) {
        const float base = static_cast<float>(rec.startGain) +
                           static_cast<float>(rec.gainDifference) * static_cast<float>(fraction);
        const float perFrame = static_cast<float>(channels * rec.gainStep);
        ApplyRamp(x, n, channels, [&](float i, int16_t s, bool inGroup) {
            const float gain = base + i * perFrame;
            if (inGroup) return Clamp16(std::nearbyint(static_cast<float>(s) * gain / 256.0f));
            const float product = std::trunc(gain * static_cast<float>(s));
            if (!(std::fabs(product) < 9.0e18f)) return Clamp16(product);
            return Clamp16((static_cast<int64_t>(product) + 128) >> 8);
        });
    } else if (rec.mode == 2) {
        const float base = static_cast<float>(rec.startLevel) +
                           static_cast<float>(rec.levelDifference) * static_cast<float>(fraction);
        const float perFrame = static_cast<float>(channels * rec.levelStep);
        ApplyRamp(x, n, channels, [&](float i, int16_t s, bool inGroup) {
            const float factor = std::exp((base + i * perFrame) * kDecibelToExponent);
            const float y = factor * static_cast<float>(s);
            return Clamp16(inGroup ? std::trunc(y) : std::floor(y));
        });
    } else {
        // clamp(floor((x g + 128) / 256)), as wide as the processor allows.
        dspMulQ8InPlace16s(x, n, rec.gain);
    }
}

void CVolumeFilter::WalkGainZones(int16_t* samples, LONG count) {
    const int channels = m_wfx.nChannels;
    const int32_t last = static_cast<int32_t>(m_zones.size()) - 1;
    int64_t p = m_blockStart;
    int64_t bytes = 2 * static_cast<int64_t>(count);
    while (bytes > 0) {
        while (p >= m_current.endByte) {
            if (m_zoneIndex >= last) return;
            m_current = m_zones[static_cast<size_t>(++m_zoneIndex)];
        }
        // Back only into a zone that P lies in: a block that starts in a gap belongs to the next
        // zone, from its start.
        while (m_zoneIndex > 0 && m_zones[static_cast<size_t>(m_zoneIndex) - 1].endByte > p) {
            m_current = m_zones[static_cast<size_t>(--m_zoneIndex)];
        }
        if (p + bytes <= m_current.startByte) return;
        const int64_t skip = std::max<int64_t>(m_current.startByte - p, 0);
        const int64_t beyond = std::max<int64_t>(p + bytes - m_current.endByte, 0);
        const int64_t n = (bytes - skip - beyond) / 2;
        if (n < 1) return;
        const int64_t at = p + skip;
        const double fraction = m_current.lengthBytes > 0
                                    ? static_cast<double>(at - m_current.startByte) /
                                          static_cast<double>(m_current.lengthBytes)
                                    : 0.0;
        ApplyGain(m_current, samples + skip / 2, n, channels, fraction);
        samples += skip / 2 + n;
        p = at + 2 * n;
        bytes -= skip + 2 * n;
    }
}

void CVolumeFilter::MixFrames(int16_t* samples, const int16_t* dry, int64_t frames, float rel) {
    const int channels = m_wfx.nChannels;
    ComputeStrengths(rel, m_triples.data());
    for (int c = 0; c < channels; ++c) {
        const float* t = m_triples.data() + 3 * (channels < 2 ? 0 : c);
        for (int64_t i = 0; i < frames; ++i) {
            const size_t k = static_cast<size_t>(i * channels + c);
            const float fi = static_cast<float>(i);
            const float v = static_cast<float>(samples[k]) * (t[0] + fi * t[2]) +
                            static_cast<float>(dry[k]) * (t[1] - fi * t[2]);
            samples[k] = Clamp16(std::trunc(v));
        }
    }
}

void CVolumeFilter::MixDry(int16_t* samples, LONG count) {
    const int channels = m_wfx.nChannels;
    const int64_t frames = count / channels;
    m_triples.assign(static_cast<size_t>(6 * ((channels - 1) / 2 + 1)), 0.0f);
    StrengthSettings& st = m_strength;
    const int16_t* dry = m_dry.data();
    if (st.zones.empty()) {
        const float rel =
            st.current.bRamp && m_lengthBytes > 0
                ? static_cast<float>(static_cast<double>(m_blockStart - m_startBytes) /
                                     static_cast<double>(m_lengthBytes))
                : 0.0f;
        MixFrames(samples, dry, frames, rel);
        return;
    }
    // Through the strength zones by frame position, as the gain walks its zones.
    const int32_t lastZone = static_cast<int32_t>(st.zones.size()) - 1;
    int64_t pos = m_blockStart / m_wfx.nBlockAlign;
    int64_t j = 0;
    while (j < frames) {
        while (pos >= st.current.endFrame) {
            if (st.nZone >= lastZone) return;
            st.current = st.zones[static_cast<size_t>(++st.nZone)];
        }
        while (st.nZone > 0 && st.zones[static_cast<size_t>(st.nZone) - 1].endFrame > pos) {
            st.current = st.zones[static_cast<size_t>(--st.nZone)];
        }
        if (pos < st.current.startFrame) {
            // Between zones the processed samples stay.
            const int64_t gap = std::min(st.current.startFrame - pos, frames - j);
            j += gap;
            pos += gap;
            continue;
        }
        const int64_t chunk = std::min(frames - j, st.current.endFrame - pos);
        const float rel =
            st.current.bRamp && st.current.lengthFrames > 0
                ? static_cast<float>(static_cast<double>(pos - st.current.startFrame) /
                                     static_cast<double>(st.current.lengthFrames))
                : 0.0f;
        MixFrames(samples + j * channels, dry + j * channels, chunk, rel);
        j += chunk;
        pos += chunk;
    }
}

void CVolumeFilter::ProcessAudio(IUnknown* data, LONG totalBytes, LONG offsetBytes, LONG count,
                                 LONG, IAudioData** out) {
    int16_t* samples = OpenBlock(data, totalBytes, offsetBytes, count, out);
    if (samples == nullptr) return;
    const bool mixing = m_strength.bUseStrengthPerCh;
    if (mixing) m_dry.assign(samples, samples + count);
    if (!m_multiZone) {
        const double fraction = m_lengthBytes > 0
                                    ? static_cast<double>(m_blockStart - m_startBytes) /
                                          static_cast<double>(m_lengthBytes)
                                    : 0.0;
        ApplyGain(m_current, samples, count, m_wfx.nChannels, fraction);
    } else {
        WalkGainZones(samples, count);
    }
    if (mixing) MixDry(samples, count);
}
