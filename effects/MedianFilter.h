// The median effect: removes clicks and crackle in the frequency domain. Each channel is cut into
// overlapping frames of N samples; every frame is windowed and transformed with the real FFT, and
// in a range of bins each bin's magnitude becomes the running median of that bin's magnitudes
// over the last `mask` frames (its phase kept); the frames go back through the inverse FFT and
// are overlap-added. A transient shorter than about half the median window leaves the bins it
// occupies, steady tones stay. Every primitive goes through the signal-processing library's
// dispatch.
//
// Frames are collected in batches of 2 x mask before the median runs over them, so output comes
// in bursts: the first samples appear once the last frame of the first batch is full, i.e. after
// (batch - 1) x hop samples of input (the N zeros in front fill the rest), and the channel filter
// returns nothing before that (the engine's read takes more input meanwhile). After the one-time
// drop of the N samples that answer the zeros put in front of the stream, a stream gives exactly
// as many samples as it took, each at the position of its input.
#pragma once

#include "platform/win32.h"

#include "effects/common/ParamRead.h"
#include "framework/BaseFilter.h"
#include "corvane/dsp.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

class CMedianChannelFilter : public CBaseChannelFilter {
public:
    static constexpr int32_t kMaxMask = 2048;
    static constexpr int32_t kMaxBlockSize = 65536;
    static constexpr double kMinMagnitude = 1e-9;  // bins at or below are left as they are

    // Frame geometry of frame length n at an overlap fraction `size`: overlap = lround(n x size),
    // output factor = (n - overlap) / n and hop = lround(n x factor), or no overlap, factor 1 and
    // hop n when the overlap rounds below 1. False (and *f untouched) when size is not in
    // [0, 1] or the hop would fall below one sample: frames would never advance.
    struct Framing {
        int32_t overlap = 0;
        int32_t hop = 0;
        double factor = 1.0;
    };
    static bool FrameBy(int32_t n, double size, Framing* f);

    // A record of one analysis frame; the buffers are 128-byte aligned and owned by the record.
    struct Frame;

    explicit CMedianChannelFilter(CBaseFilter* owner);
    ~CMedianChannelFilter() override;

    // The keys, in the order they are read: "OverlapSize" and "EndBin" follow "FFTBlockSize".
    static const ParamTable<CMedianChannelFilter>& Params();

    // Both release everything built, so that the next restart builds it for the values in force.
    HRESULT ResetChannel() override;
    // Reads the keys (see docs/corvane-fx.md) and derives the framing.
    HRESULT LoadChannelParams() override;
    // Input for n samples with room for N samples in front of it; output for what a block can
    // give.
    bool EnsureBuffers(int n) override;
    int ProcessChannel(int n, int last) override;
    // A frame's length: enough to complete, from the input that follows the interval, every frame
    // that holds the interval's last samples. None while the transforms pass the input through.
    int LookAheadFrames() const override;

    // The configuration in force (for the host and the tests).
    int32_t Mask() const { return m_mask; }
    int32_t Batch() const { return m_batch; }
    int32_t BlockSize() const { return m_blockSize; }
    int32_t Order() const { return m_order; }
    int32_t OverlapMode() const { return m_overlapMode; }
    double OverlapSize() const { return m_overlapSize; }
    int32_t Overlap() const { return m_overlap; }
    int32_t Hop() const { return m_hop; }
    double OutputFactor() const { return m_outputFactor; }
    int32_t StartBin() const { return m_startBin; }
    int32_t EndBin() const { return m_endBin; }
    int32_t BinCount() const { return m_binCount; }
    int32_t WindowType() const { return m_windowType; }
    // Leading frames that take no part in the median after a restart: lround(1 / factor).
    int32_t LeadingFrames() const;
    // Whether the last restart found the transforms unusable, so that the input passes through.
    bool PassingThrough() const { return m_passThrough; }

protected:
    // Block of `bytes` bytes at 128-byte alignment, or null. A seam for the tests.
    virtual void* AllocateBlock(size_t bytes);
    // The library's real FFT (unscaled, flag 8) and running median through its public dispatch,
    // with its statuses. Seams through which the tests refuse a transform and the benchmark puts
    // other running medians in the same frame loop.
    virtual DspStatus TransformSizes(int order, int* specSize, int* setupSize, int* workSize);
    virtual DspStatus TransformSetUp(DspFftSpecReal64f** spec, int order, BYTE* specMem,
                                     BYTE* setup);
    virtual DspStatus Forward(const double* src, double* dst, const DspFftSpecReal64f* spec,
                              BYTE* work);
    virtual DspStatus Inverse(const double* src, double* dst, const DspFftSpecReal64f* spec,
                              BYTE* work);
    virtual DspStatus RunningMedian(double* srcDst, int len, int mask, const double* dlySrc,
                                    double* dlyDst, BYTE* buf);

private:
    struct BlockDeleter {
        void operator()(void* p) const { _aligned_free(p); }
    };
    using Block = std::unique_ptr<double, BlockDeleter>;

    // `count` doubles (+ 64 bytes of room, 128-byte aligned). Throws E_OUTOFMEMORY.
    Block Doubles(int64_t count, int64_t extraBytes = 64);
    void ReleaseAll();
    // The restart: builds what is missing and empties frames, accumulator and history.
    void StartOver();
    bool BuildTransform();
    // Whether a forward and an inverse transform of a silent frame succeed.
    bool TransformsWork();
    // Frames are full: window, transform, magnitudes; a complete batch runs the median and
    // synthesis.
    void CompleteFrame();
    void SpectralPass(int32_t count);
    void SynthesizeFrame(Frame& frame);
    // Appends `count` accumulator values times the output factor to the output, never beyond
    // the samples that went in.
    void Emit(const double* values, int32_t count);
    // At the interval's end: the frames that hold its last samples are completed with the input
    // that follows it where the engine has it, else with zeros, and processed.
    void Flush();

    bool m_dropLatency = true;
    bool m_firstOutput = true;
    int32_t m_framesToSkip = 0;
    int32_t m_maskSize = 7;  // "MaskSize"
    int32_t m_mask = 13;
    int32_t m_batch = 26;
    double* m_delaySource = nullptr;  // inside m_delayA or m_delayB
    double* m_delayDest = nullptr;
    Block m_medianBuffer;
    Block m_binRows;  // batch x bin count: per bin, one row of magnitudes
    Block m_delayA, m_delayB;
    bool m_firstMedian = true;
    int32_t m_binCount = 0;
    int32_t m_startBin = 0;
    int32_t m_endBin = 1025;
    int32_t m_windowType = 0;
    int32_t m_order = 11;
    int32_t m_blockSize = 2048;  // N
    int32_t m_overlapMode = 1;
    int32_t m_overlap = 512;
    int32_t m_hop = 1;
    double m_overlapSize = 0.5;
    double m_outputFactor = 0.5;
    DspFftSpecReal64f* m_spec = nullptr;  // inside m_specMemory
    Block m_specMemory, m_fftWork;
    Block m_window;  // N values, none for WindowType 0
    Block m_accumulator;
    int32_t m_accStart = 0, m_accEnd = 0;
    int32_t m_current = 0;
    std::vector<std::unique_ptr<Frame>> m_frames;  // batch + 1 records
    bool m_passThrough = false;
    bool m_flushed = false;  // the stream ended: the next block starts over
    int64_t m_inTotal = 0;   // samples since the restart, the N zeros in front included
    int64_t m_outTotal = 0;  // samples given since the restart, before the drop
    int32_t m_outCount = 0;  // output samples of the current call
};

class CMedianFilter : public CBaseFilter {
public:
    static constexpr EngineTraits kTraits = {/*usesHelper*/ true, /*perChannel*/ true,
                                             /*lengthChanges*/ true, /*followsRate*/ false};

    using CBaseFilter::CBaseFilter;
    ~CMedianFilter() override;

    std::unique_ptr<CBaseChannelFilter> CreateChannelFilter() override;
    // Both set the restart flag of every channel filter; they answer the number of filters.
    HRESULT OnReset() override;
    HRESULT OnSeek() override;
};
