#include "effects/EqualizeFilter.h"

#include "framework/BaseFilter.h"
#include "framework/BaseFilterSupport.h"

#include <cmath>
#include <cstring>
#include <new>

namespace {

// A one-dimensional VT_R4 SAFEARRAY with a copy of the values; destroyed with the holder.
struct FloatArray {
    explicit FloatArray(const std::vector<float>& values)
        : array(SafeArrayCreateVector(VT_R4, 0, static_cast<ULONG>(values.size()))) {
        if (array == nullptr) throw std::bad_alloc();
        void* data = nullptr;
        if (!values.empty() && SUCCEEDED(SafeArrayAccessData(array, &data))) {
            std::memcpy(data, values.data(), values.size() * sizeof(float));
            SafeArrayUnaccessData(array);
        }
    }
    ~FloatArray() { SafeArrayDestroy(array); }
    FloatArray(const FloatArray&) = delete;
    FloatArray& operator=(const FloatArray&) = delete;
    SAFEARRAY* array;
};

}  // namespace

CEqualizeChannelFilter::Tables CEqualizeChannelFilter::MakeTables(const float* edges,
                                                                  const float* gains, size_t count,
                                                                  double sampleRate) {
    Tables t;
    const auto point = [&t](float f, float g) {
        t.bands.push_back(f), t.gains.push_back(g), t.weights.push_back(kWeight);
    };
    const auto separator = [&t] {
        t.bands.push_back(-1.0f), t.gains.push_back(-1.0f), t.weights.push_back(-1.0f);
    };
    point(0.0f, gains[0]);
    for (size_t i = 0; i + 1 < count; ++i) {
        point(edges[i], gains[i]);
        separator();
        // The first tenth of the gap is a transition band (difference in single precision).
        const float gap = edges[i + 1] - edges[i];
        point(static_cast<float>(static_cast<double>(edges[i]) + 0.1 * gap), gains[i + 1]);
    }
    const float top = edges[count - 1], g = gains[count - 1];
    point(top, g);
    separator();
    // The last band repeats the top gain up to half the sample rate: a design left free above
    // it may rise without bound there.
    const float start = 1.1f * top;
    point(start, g);
    point(std::max(start, static_cast<float>(sampleRate / 2.0)), g);
    return t;
}

bool CEqualizeChannelFilter::UsableArrays(const std::vector<float>* edges,
                                          const std::vector<float>* gains) {
    if (edges == nullptr || gains == nullptr || edges->empty() || edges->size() != gains->size()) {
        return false;
    }
    float previous = 0.0f;
    for (size_t i = 0; i < edges->size(); ++i) {
        const float f = (*edges)[i];
        if (!std::isfinite(f) || !(f > previous) || !std::isfinite((*gains)[i])) return false;
        previous = f;
    }
    return true;
}

const ParamTable<CEqualizeChannelFilter>& CEqualizeChannelFilter::Params() {
    using C = CEqualizeChannelFilter;
    // Gains are kept as factors: one a float cannot hold refuses the array, as does NaN; -inf dB
    // is a factor of 0, a band that is muted.
    static const ParamTable<C> rows = {
        {AboveLo(ArrayKey(OLESTR("FrequencyArray"), ParamType::FloatArray, 0.0)),
         &C::m_frequencies},
        {NotNaN(ArrayKey(OLESTR("dbGainArray"), ParamType::FloatArray, -ParamSpec::kInf,
                         ParamSpec::kInf, ParamScale::Decibels)),
         &C::m_gains},
    };
    return rows;
}

CEqualizeChannelFilter::~CEqualizeChannelFilter() = default;

HRESULT CEqualizeChannelFilter::ResetChannel() {
    if (const HRESULT hr = CBaseChannelFilter::ResetChannel(); FAILED(hr)) return hr;
    m_passThrough = true;
    return S_OK;
}

HRESULT CEqualizeChannelFilter::LoadChannelParams() {
    if (ReadParam(m_pOwner, this, Params()[0])) m_haveFrequencies = true;
    if (ReadParam(m_pOwner, this, Params()[1])) m_haveGains = true;
    m_fir.put_Order(kOrder);
    Restart();
    if (!UsableArrays(m_haveFrequencies ? &m_frequencies : nullptr,
                      m_haveGains ? &m_gains : nullptr)) {
        return S_OK;
    }
    const double rate = static_cast<double>(m_pOwner->Format().nSamplesPerSec);
    const Tables t = MakeTables(m_frequencies.data(), m_gains.data(), m_gains.size(), rate);
    const FloatArray gains(t.gains), bands(t.bands), weights(t.weights);
    m_fir.put_Gains(gains.array);
    m_fir.put_SmoothChanges(VARIANT_FALSE);
    m_fir.put_Bands(bands.array);
    m_fir.put_Weights(weights.array);
    m_fir.put_RightFadeTime(m_pOwner->RightSmoothMs());
    m_fir.put_LeftFadeTime(m_pOwner->LeftSmoothMs());
    m_fir.Initialise();
    m_passThrough = false;
    return S_OK;
}

int CEqualizeChannelFilter::ProcessChannel(int n, int last) {
    if (n <= 0) return 0;
    if (m_passThrough) {
        std::memcpy(m_pOut, m_pIn, sizeof(double) * static_cast<size_t>(n));
    } else {
        m_fir.Process(m_pIn, m_pOut, static_cast<UINT>(n) * sizeof(double), last,
                      static_cast<int>(m_pOwner->Format().nSamplesPerSec));
    }
    return n;
}

void CEqualizeChannelFilter::RestartEffect() {
    Restart();
    m_fir.Initialise();
}

CEqualizeFilter::~CEqualizeFilter() = default;
