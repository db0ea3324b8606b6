#include "effects/MedianFilter.h"

#include "effects/common/SpectralWindow.h"
#include "platform/exceptions.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>

struct CMedianChannelFilter::Frame {
    int32_t length = 0;  // 2^order
    int32_t fill = 0;    // samples present
    // Completed with zeros past the stream's end (Flush): it holds less than a full frame.
    bool padded = false;
    Block time, windowed, spectrum, magnitudes, output;
    double inverseWindowSum = 0.0;  // 1 / sum of the window (1 / N without one)
};

namespace {

constexpr size_t kAlignment = 128;
// Hann, when "WindowType" is not given.
constexpr int32_t kDefaultWindowType = 1;

int32_t Log2(int32_t n) {
    int32_t k = 0;
    while ((n >> k) > 1) ++k;
    return k;
}

}  // namespace

// ---------------------------------------------------------------------------------------------
// Configuration

bool CMedianChannelFilter::FrameBy(int32_t n, double size, Framing* f) {
    // Also refuses NaN; above 1 the next frame would start before this one.
    if (!(size >= 0.0 && size <= 1.0)) return false;
    Framing g;
    g.overlap = static_cast<int32_t>(std::lround(n * size));
    if (g.overlap >= 1) {
        g.factor = static_cast<double>(n - g.overlap) / n;
        g.hop = static_cast<int32_t>(std::lround(n * g.factor));
    } else {
        g.overlap = 0;
        g.factor = 1.0;
        g.hop = n;
    }
    if (g.hop < 1) return false;
    *f = g;
    return true;
}

int32_t CMedianChannelFilter::LeadingFrames() const {
    return static_cast<int32_t>(std::lround(1.0 / m_outputFactor));
}

CMedianChannelFilter::CMedianChannelFilter(CBaseFilter* owner) : CBaseChannelFilter(owner) {}

CMedianChannelFilter::~CMedianChannelFilter() {
    ReleaseAll();
}

void CMedianChannelFilter::ReleaseAll() {
    m_medianBuffer.reset();
    m_binRows.reset();
    m_delayA.reset();
    m_delayB.reset();
    m_delaySource = m_delayDest = nullptr;
    m_window.reset();
    m_fftWork.reset();
    m_specMemory.reset();
    m_spec = nullptr;
    m_accumulator.reset();
    m_frames.clear();
}

const ParamTable<CMedianChannelFilter>& CMedianChannelFilter::Params() {
    using C = CMedianChannelFilter;
    // A mask below 1 has no median. Frames are 2^order long while window, hop and accumulator
    // take N itself: only powers of two keep them in step. Without a choice, Hann frames
    // overlapped by half: rectangular frames added back without overlap step at every frame
    // boundary, an audible buzz on anything tonal. An overlap that rounds to the whole frame
    // would leave frames that never advance.
    static const ParamTable<C> rows = {
        {LongKey(OLESTR("MaskSize"), 7, 1), &C::m_maskSize},
        {PowerOfTwo(LongKey(OLESTR("FFTBlockSize"), 2048, 2, kMaxBlockSize)), &C::m_blockSize},
        {LongKey(OLESTR("OverlapMode"), 1), &C::m_overlapMode},
        {LongKey(OLESTR("StartBin"), 0), &C::m_startBin},
        {LongKey(OLESTR("WindowType"), kDefaultWindowType), &C::m_windowType},
        {BoundBy(DoubleKey(OLESTR("OverlapSize"), 0.5, 0.0, 1.0), OLESTR("FFTBlockSize")),
         &C::m_overlapSize,
         [](const C& c, ParamSpec* s) { s->hi = std::nextafter(1.0 - 0.5 / c.m_blockSize, 0.0); }},
        {BoundBy(LongKey(OLESTR("EndBin"), 1025), OLESTR("FFTBlockSize")), &C::m_endBin,
         [](const C& c, ParamSpec* s) { s->def = (c.m_blockSize + 2) / 2; }},
    };
    return rows;
}

HRESULT CMedianChannelFilter::ResetChannel() {
    ReleaseAll();
    return S_OK;
}

HRESULT CMedianChannelFilter::LoadChannelParams() {
    ReleaseAll();
    ResetAndReadParams(m_pOwner, this, Params());
    m_mask =
        static_cast<int32_t>(std::min<int64_t>(2 * static_cast<int64_t>(m_maskSize) - 1, kMaxMask));
    m_batch = 2 * m_mask;
    m_order = Log2(m_blockSize);
    const int32_t n = m_blockSize;
    const int32_t bins = (n + 2) / 2;

    // Framing.
    Framing f, unused;
    if (m_overlapMode < 1) {
        f = Framing{0, n, 1.0};
    } else {
        if (m_overlapMode == 1) {
            double windowOverlap = 0.0;
            MakeWindow(m_windowType, nullptr, n, &windowOverlap);
            // A window's overlap that leaves no hop at this length (N 2) falls back to half.
            m_overlapSize = FrameBy(n, windowOverlap, &unused) ? windowOverlap : 0.5;
        }
        FrameBy(n, m_overlapSize, &f);
    }
    m_overlap = f.overlap;
    m_hop = f.hop;
    m_outputFactor = f.factor;
    m_startBin = std::clamp(m_startBin, 0, bins);
    m_endBin = std::clamp(m_endBin, m_startBin, bins);
    m_binCount = m_endBin - m_startBin;
    return S_OK;
}

bool CMedianChannelFilter::EnsureBuffers(int n) {
    const int64_t want = std::max(n, 0);
    const int64_t in = want + 2 * static_cast<int64_t>(m_blockSize);
    const int64_t out = (static_cast<int64_t>(m_batch) + 4) * m_blockSize + want;
    if (in > INT32_MAX || out > INT32_MAX) corvane::ThrowHr(E_OUTOFMEMORY);
    if (!CBaseChannelFilter::EnsureBuffers(static_cast<int>(in)) ||
        !EnsureOutputBuffer(static_cast<int>(out))) {
        return false;
    }
    // Room for the N zeros written in front of the first block after a restart.
    m_pIn = m_inStore.data() + m_blockSize;
    return true;
}

// ---------------------------------------------------------------------------------------------
// Building

void* CMedianChannelFilter::AllocateBlock(size_t bytes) {
    return _aligned_malloc(bytes, kAlignment);
}

DspStatus CMedianChannelFilter::TransformSizes(int order, int* specSize, int* setupSize,
                                               int* workSize) {
    return dspFftGetSizeReal64f(order, dspFftScaleNone, 0, specSize, setupSize, workSize);
}

DspStatus CMedianChannelFilter::TransformSetUp(DspFftSpecReal64f** spec, int order, BYTE* specMem,
                                               BYTE* setup) {
    return dspFftInitReal64f(spec, order, dspFftScaleNone, 0, specMem, setup);
}

DspStatus CMedianChannelFilter::Forward(const double* src, double* dst,
                                        const DspFftSpecReal64f* spec, BYTE* work) {
    return dspFftFwdRealToCcs64f(src, dst, spec, work);
}

DspStatus CMedianChannelFilter::Inverse(const double* src, double* dst,
                                        const DspFftSpecReal64f* spec, BYTE* work) {
    return dspFftInvCcsToReal64f(src, dst, spec, work);
}

DspStatus CMedianChannelFilter::RunningMedian(double* srcDst, int len, int mask,
                                              const double* dlySrc, double* dlyDst, BYTE* buf) {
    return dspMedianInPlace64f(srcDst, len, mask, dlySrc, dlyDst, buf);
}

CMedianChannelFilter::Block CMedianChannelFilter::Doubles(int64_t count, int64_t extraBytes) {
    const uint64_t bytes = static_cast<uint64_t>(std::max<int64_t>(count, 0)) * sizeof(double) +
                           static_cast<uint64_t>(extraBytes);
    void* p = bytes <= SIZE_MAX ? AllocateBlock(static_cast<size_t>(bytes)) : nullptr;
    if (p == nullptr) corvane::ThrowHr(E_OUTOFMEMORY);
    return Block(static_cast<double*>(p));
}

bool CMedianChannelFilter::BuildTransform() {
    if (m_spec != nullptr) return true;
    m_specMemory.reset();
    m_fftWork.reset();
    int specSize = 0, setupSize = 0, workSize = 0;
    if (TransformSizes(m_order, &specSize, &setupSize, &workSize) < 0) {
        return false;
    }
    // Sizes in bytes; the memory blocks are counted in doubles.
    const auto doublesFor = [](int bytes) { return (static_cast<int64_t>(bytes) + 7) / 8; };
    m_specMemory = Doubles(doublesFor(specSize));
    Block setup;
    if (setupSize > 0) setup = Doubles(doublesFor(setupSize));
    if (workSize > 0) m_fftWork = Doubles(doublesFor(workSize));
    DspFftSpecReal64f* spec = nullptr;
    const DspStatus st = TransformSetUp(&spec, m_order, reinterpret_cast<BYTE*>(m_specMemory.get()),
                                        reinterpret_cast<BYTE*>(setup.get()));
    if (st < 0 || spec == nullptr) return false;
    m_spec = spec;
    return true;
}

bool CMedianChannelFilter::TransformsWork() {
    Frame& f = *m_frames[0];
    BYTE* work = reinterpret_cast<BYTE*>(m_fftWork.get());
    if (dspSet64f(0.0, f.time.get(), f.length) < 0) return false;
    return Forward(f.time.get(), f.spectrum.get(), m_spec, work) >= 0 &&
           Inverse(f.spectrum.get(), f.output.get(), m_spec, work) >= 0;
}

void CMedianChannelFilter::StartOver() {
    const int32_t n = m_blockSize;
    const int32_t length = int32_t{1} << m_order;
    bool usable = true;
    if (!m_medianBuffer) {
        int size = 0;
        usable = dspMedianGetBufferSize(m_mask, dspType64f, &size) >= 0;
        if (usable) m_medianBuffer = Doubles((static_cast<int64_t>(size) + 7) / 8);
    }
    if (!m_binRows) m_binRows = Doubles(static_cast<int64_t>(m_batch) * m_binCount);
    if (!m_delayA) m_delayA = Doubles(static_cast<int64_t>(m_binCount) * m_mask);
    if (!m_delayB) m_delayB = Doubles(static_cast<int64_t>(m_binCount) * m_mask);
    m_delaySource = m_delayA.get();
    m_delayDest = m_delayB.get();
    usable = BuildTransform() && usable;
    if (m_windowType != 0 && !m_window) {
        m_window = Doubles(n);
        dspSet64f(1.0, m_window.get(), n);
        MakeWindow(m_windowType, m_window.get(), n, nullptr);
    }
    if (!m_accumulator) m_accumulator = Doubles(2 * (static_cast<int64_t>(n) + 4));
    if (m_frames.size() != static_cast<size_t>(m_batch) + 1) {
        m_frames.clear();
        double sum = 0.0;
        if (m_window) {
            for (int32_t i = 0; i < n; ++i) sum += m_window.get()[i];
        }
        const double inverseSum = m_window ? 1.0 / sum : 1.0 / n;
        std::vector<std::unique_ptr<Frame>> frames;
        frames.reserve(static_cast<size_t>(m_batch) + 1);
        for (int32_t k = 0; k <= m_batch; ++k) {
            auto f = std::make_unique<Frame>();
            f->length = length;
            f->inverseWindowSum = inverseSum;
            f->time = Doubles(length);
            if (m_window) f->windowed = Doubles(length);
            f->spectrum = Doubles(static_cast<int64_t>(length) + 2, 64);
            f->magnitudes = Doubles((static_cast<int64_t>(length) + 2) / 2);
            f->output = Doubles(length);
            frames.push_back(std::move(f));
        }
        m_frames.swap(frames);
    }
    for (auto& f : m_frames) {
        f->fill = 0;
        f->padded = false;
    }
    m_current = 0;
    m_accStart = m_accEnd = 0;
    m_firstMedian = true;
    m_firstOutput = true;
    m_framesToSkip = m_dropLatency ? LeadingFrames() : 0;
    m_inTotal = m_outTotal = 0;
    m_flushed = false;
    // A transform that is refused (its size, its set-up, or the transform itself) would leave
    // spectra unset: the channel passes its input through instead.
    m_passThrough = !(usable && TransformsWork());
}

// ---------------------------------------------------------------------------------------------
// Processing

void CMedianChannelFilter::Emit(const double* values, int32_t count) {
    // Output sample j answers input sample j: past the input there is only processed padding.
    const int64_t room = std::max<int64_t>(m_inTotal - m_outTotal, 0);
    count = static_cast<int32_t>(std::min<int64_t>(count, room));
    if (count <= 0) return;
    EnsureOutputBuffer(m_outCount + count);
    dspMulConst64f(values, m_outputFactor, m_pOut + m_outCount, count);
    m_outCount += count;
    m_outTotal += count;
}

void CMedianChannelFilter::SynthesizeFrame(Frame& frame) {
    const int32_t length = frame.length;
    double* out = frame.output.get();
    Inverse(frame.spectrum.get(), out, m_spec, reinterpret_cast<BYTE*>(m_fftWork.get()));
    dspMulConstInPlace64f(frame.inverseWindowSum, out, length);
    double* acc = m_accumulator.get();
    for (int32_t k = 0; k < length; ++k) {
        const int32_t i = m_accStart + k;
        acc[i] = i < m_accEnd ? acc[i] + out[k] : out[k];
    }
    m_accEnd = m_accStart + length;
    m_accStart += m_hop;
    const int32_t n = m_blockSize;
    if (m_accStart > n) {
        m_accStart -= n;
        m_accEnd -= n;
        Emit(acc, n);
        std::memmove(acc, acc + n, sizeof(double) * static_cast<size_t>(n));
    }
}

void CMedianChannelFilter::SpectralPass(int32_t count) {
    const int32_t skip = std::min(m_framesToSkip, count);
    if (count - skip < 1) {
        m_framesToSkip -= skip;
        return;
    }
    const int32_t used = count - skip;
    BYTE* buffer = reinterpret_cast<BYTE*>(m_medianBuffer.get());
    for (int32_t b = m_startBin; b < m_endBin; ++b) {
        const int64_t slot = b - m_startBin;
        double* row = m_binRows.get() + slot * m_batch;
        for (int32_t f = skip; f < count; ++f) row[f] = m_frames[f]->magnitudes.get()[b];
        const double* source = m_firstMedian ? nullptr : m_delaySource + slot * m_mask;
        RunningMedian(row + skip, used, m_mask, source, m_delayDest + slot * m_mask, buffer);
        for (int32_t f = skip; f < count; ++f) {
            const double m = m_frames[f]->magnitudes.get()[b];
            if (m > kMinMagnitude) {
                double* bin = m_frames[f]->spectrum.get() + 2 * b;
                // The median of full frames would inflate the bins of a frame that holds zeros
                // past the stream's end: there it may remove (a click), never add.
                const double scale = m_frames[f]->padded ? std::min(row[f] / m, 1.0) : row[f] / m;
                bin[0] *= scale;
                bin[1] *= scale;
            }
        }
    }
    std::swap(m_delaySource, m_delayDest);
    m_firstMedian = false;
    m_framesToSkip -= skip;
}

void CMedianChannelFilter::CompleteFrame() {
    Frame& f = *m_frames[m_current];
    const int32_t length = f.length;
    Frame& next = *m_frames[m_current + 1];
    if (m_overlap > 0) {
        std::memcpy(next.time.get() + next.fill, f.time.get() + m_hop,
                    sizeof(double) * static_cast<size_t>(m_overlap));
    }
    next.fill = m_overlap;
    const double* source = f.time.get();
    if (m_window) {
        dspMul64f(f.time.get(), m_window.get(), f.windowed.get(), length);
        source = f.windowed.get();
    }
    BYTE* work = reinterpret_cast<BYTE*>(m_fftWork.get());
    Forward(source, f.spectrum.get(), m_spec, work);
    dspMagnitude64fc(f.spectrum.get(), f.magnitudes.get(), (length + 2) / 2);
    if (m_current < m_batch - 1) {
        ++m_current;
        return;
    }
    SpectralPass(m_batch);
    for (int32_t k = 0; k < m_batch; ++k) {
        SynthesizeFrame(*m_frames[k]);
        m_frames[k]->fill = 0;
    }
    // Record `batch` holds the start of the next frame.
    std::swap(m_frames[0], m_frames[m_batch]);
    m_current = 0;
}

void CMedianChannelFilter::Flush() {
    // Every frame that holds input is completed: the current frame, then each later one that its
    // overlap carries samples into. What follows the interval fills them where the engine has it
    // (the frames are then like any other), zeros past the stream's end; Emit keeps only the
    // output that answers the interval's own samples.
    int64_t remaining = m_frames[m_current]->fill;
    int64_t following = 0;  // look-ahead samples used
    for (;;) {
        Frame& f = *m_frames[m_current];
        const int64_t room = f.length - f.fill;
        const int64_t real = std::clamp<int64_t>(m_lookAheadCount - following, 0, room);
        if (real > 0) {
            std::memcpy(f.time.get() + f.fill, m_pLookAhead + following,
                        sizeof(double) * static_cast<size_t>(real));
        }
        std::fill(f.time.get() + f.fill + real, f.time.get() + f.length, 0.0);
        following += real;
        f.padded = real < room;
        f.fill = f.length;
        CompleteFrame();
        remaining -= m_hop;
        if (remaining <= 0) break;
    }
    if (m_current > 0) {
        SpectralPass(m_current);
        for (int32_t k = 0; k < m_current; ++k) {
            SynthesizeFrame(*m_frames[k]);
            m_frames[k]->fill = 0;
        }
        m_current = 0;
    }
    if (m_accEnd > 0) Emit(m_accumulator.get(), m_accEnd);
    m_flushed = true;
}

int CMedianChannelFilter::LookAheadFrames() const {
    return m_passThrough ? 0 : int32_t{1} << m_order;
}

int CMedianChannelFilter::ProcessChannel(int count, int last) {
    const bool restarting = m_bRestart || m_flushed;
    if (restarting) StartOver();
    m_outCount = 0;
    if (m_passThrough) {
        if (count <= 0) return 0;
        std::memmove(m_pOut, m_pIn, sizeof(double) * static_cast<size_t>(count));
        return count;
    }
    const double* in = m_pIn;
    int64_t total = std::max(count, 0);
    if (restarting && m_dropLatency) {
        double* front = m_pIn - m_blockSize;
        std::fill(front, m_pIn, 0.0);
        in = front;
        total += m_blockSize;
    }
    m_inTotal += total;
    for (int64_t pos = 0; pos < total;) {
        Frame& f = *m_frames[m_current];
        const int64_t take = std::min<int64_t>(total - pos, f.length - f.fill);
        std::memcpy(f.time.get() + f.fill, in + pos, sizeof(double) * static_cast<size_t>(take));
        f.fill += static_cast<int32_t>(take);
        pos += take;
        if (f.fill == f.length) CompleteFrame();
    }
    if (last) Flush();
    if (m_dropLatency && m_firstOutput && m_outCount >= m_blockSize) {
        m_outCount -= m_blockSize;
        std::memmove(m_pOut, m_pOut + m_blockSize,
                     sizeof(double) * static_cast<size_t>(m_outCount));
        m_firstOutput = false;
    }
    return m_outCount;
}

// ---------------------------------------------------------------------------------------------
// Engine

CMedianFilter::~CMedianFilter() = default;

std::unique_ptr<CBaseChannelFilter> CMedianFilter::CreateChannelFilter() {
    return std::make_unique<CMedianChannelFilter>(this);
}

HRESULT CMedianFilter::OnReset() {
    for (size_t i = 0; i < ChannelFilterCount(); ++i) {
        if (CBaseChannelFilter* f = ChannelFilter(i)) f->Restart();
    }
    return static_cast<HRESULT>(ChannelFilterCount());
}

HRESULT CMedianFilter::OnSeek() {
    return OnReset();
}
