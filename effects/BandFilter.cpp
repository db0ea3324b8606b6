#include "effects/BandFilter.h"

#include "framework/BaseFilter.h"

#include <cstring>

namespace {

// The section kind of each "FilterType" 1 to 7.
constexpr int kSectionOfType[] = {CFilter::kLowPass,       CFilter::kHighPass, CFilter::kNotch,
                                  CFilter::kBandPassSkirt, CFilter::kLowShelf, CFilter::kHighShelf,
                                  CFilter::kPeaking};

bool UsesGain(int section) {
    return section >= CFilter::kPeaking;
}

}  // namespace

CBandChannelFilter::~CBandChannelFilter() = default;

const ParamTable<CBandChannelFilter>& CBandChannelFilter::Params() {
    using C = CBandChannelFilter;
    // A frequency or gain that is not finite would turn every coefficient into NaN: the previous
    // one stays. The steepness is taken as it comes, NaN included, as callers have always had it.
    static const ParamTable<C> rows = {
        {LongKey(OLESTR("FilterType"), 1), &C::m_type},
        {DoubleKey(OLESTR("Frequency"), -1), &C::m_frequency},
        {DoubleKey(OLESTR("Steepness"), -1, -ParamSpec::kInf, ParamSpec::kInf), &C::m_steepness},
        {DoubleKey(OLESTR("dbGain"), 0), &C::m_gain},
    };
    return rows;
}

HRESULT CBandChannelFilter::ResetChannel() {
    ResetParams(this, Params());
    m_designedRate = -1.0;
    m_designedFrequency = m_frequency;
    m_designedSteepness = m_steepness;
    m_designedGain = m_gain;
    m_designedType = m_type;
    m_bypass = false;
    return S_OK;
}

HRESULT CBandChannelFilter::LoadChannelParams() {
    const ParamTable<CBandChannelFilter>& rows = Params();
    if (ReadParam(m_pOwner, this, rows[0])) ReadParams(m_pOwner, this, rows, 1);
    return S_OK;
}

int CBandChannelFilter::ProcessChannel(int n, int) {
    const double fs = static_cast<double>(m_pOwner->Format().nSamplesPerSec);
    // Exact comparisons: any change at all redesigns (a NaN value redesigns every block).
    const bool same = fs == m_designedRate && m_frequency == m_designedFrequency &&
                      m_steepness == m_designedSteepness && m_gain == m_designedGain &&
                      m_type == m_designedType;
    if (m_bRestart || !same) {
        m_section.ResetState();
        // Another type keeps the previous design: before any, the silent section of 80 zero taps.
        if (m_type >= 1 && m_type <= 7) {
            const int section = kSectionOfType[m_type - 1];
            m_section.SetBiquad(section, UsesGain(section) ? m_gain : 0.0, m_frequency, fs,
                                m_steepness);
            // An unstable section would turn any input into a full-scale oscillation.
            m_bypass = !m_section.BiquadIsStable();
        }
        m_designedType = m_type;
        m_designedRate = fs;
        m_designedFrequency = m_frequency;
        m_designedSteepness = m_steepness;
        m_designedGain = m_gain;
    }
    if (m_bypass) {
        if (n > 0) std::memcpy(m_pOut, m_pIn, sizeof(double) * static_cast<size_t>(n));
    } else {
        m_section.ProcessBlock(m_pIn, m_pOut, n);
    }
    return n;
}

CBandFilter::~CBandFilter() = default;
