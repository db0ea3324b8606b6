// A media source over a fixed table of interleaved 16-bit samples, signals to fill it with, the
// samples of the blocks that come back, and parameter sets built from C++: what the engine's tests
// and the effect harness feed effects with.
#pragma once

#include "platform/win32.h"

#include "host/host.h"
#include "platform/com_ptr.h"
#include "tests/support/recording.h"

#include <cstdint>
#include <initializer_list>
#include <string_view>
#include <utility>
#include <vector>

namespace corvane::testing {

using host::AudioFormatValues;

// A media source serving a fixed table of interleaved samples; its blocks can be made to report
// another wave format than the one they carry (for formats the host cannot describe).
class TableSourceBase : public host::CMediaSource {
public:
    TableSourceBase(const AudioFormatValues& format, std::vector<int16_t> samples)
        : m_format(format), m_samples(std::move(samples)) {}

protected:
    bool IsOpenLocked() const override { return true; }
    AudioFormatValues FormatLocked() const override { return m_format; }
    int64_t TotalFramesLocked() const override;
    HRESULT ReadFramesLocked(int64_t first, int64_t frames, int16_t* dst, int64_t* got) override;

    AudioFormatValues m_format;
    std::vector<int16_t> m_samples;
};

class TableSource : public RecordingSourceT<TableSourceBase> {
public:
    using RecordingSourceT::RecordingSourceT;
    // From now on blocks answer GetFormat with a format reporting wfx.
    void ReportWaveFormat(const WAVEFORMATEX& wfx) {
        m_odd = true;
        m_wfx = wfx;
    }
    // After `reads` reads every read answers an empty block (up to 1000 of them, then none).
    void EmptyBlocksAfter(int reads) { m_emptyAfter = reads; }
    // After `reads` reads every read answers `answer` without a block (withBlock: with one).
    void EndAfter(int reads, HRESULT answer, bool withBlock = false) {
        m_endAfter = reads;
        m_endAnswer = answer;
        m_endWithBlock = withBlock;
    }
    int Reads() const { return m_reads; }

    STDMETHODIMP ReadAudio(LONG Stream, LONG Flags, double Duration, IUnknown** p) override;

protected:
    host::CAudioBlock* NewBlock(const AudioFormatValues& f) override;

private:
    bool m_odd = false;
    WAVEFORMATEX m_wfx{};
    int m_emptyAfter = -1;
    int m_endAfter = -1;
    HRESULT m_endAnswer = S_OK;
    bool m_endWithBlock = false;
    int m_reads = 0;
};

// Interleaved samples with varied values: sample (frame, channel) of a fixed pseudo-random walk
// over the whole 16-bit range.
std::vector<int16_t> VariedSamples(int64_t frames, int channels);
// The samples of a block (all of them).
std::vector<int16_t> SamplesOf(IUnknown* block);
LONG LengthOf(IUnknown* block);
double DurationOf(IUnknown* block);

// A parameter set built from C++: Set("Rate", 2.0) and so on; Zone(...) adds a "StrengthZone"
// entry.
struct Params {
    host::ParamStore store;
    Params& Set(OleStringView key, host::ParamValue v) {
        store.Set(key, -1, std::move(v));
        return *this;
    }
    // A "StrengthZone" entry over [start, start + duration) ms with the given strengths.
    Params& Zone(double start, double duration,
                 std::initializer_list<std::pair<OleStringView, double>> values) {
        host::ParamStore& z = store.AddEntry(OLESTR("StrengthZone"));
        z.Set(OLESTR("EffectStart"), -1, start);
        z.Set(OLESTR("EffectDuration"), -1, duration);
        for (const auto& [key, value] : values) z.Set(key, -1, value);
        return *this;
    }
};

}  // namespace corvane::testing
