// The block loop: de-interleave, channel filters, strength mix, edge cross-fades, write-back.
#include "framework/BaseFilter.h"

#include "framework/BaseFilterSupport.h"

#include "dsp/effect_loops.h"

#include <algorithm>
#include <cmath>
#include <cstring>

using corvane::ComPtr;

namespace {

// scale * out[k] as 16-bit samples at `channel` of every `stride`: clamped in double first (a
// cast of a value outside the integer range, or of NaN, is undefined), NaN to 0, then truncated
// toward zero.
void WriteChannel(int16_t* samples, int channel, int stride, const double* out, int count,
                  double scale) {
    if (count > 0) dspNarrowStrided64f16s(out, scale, samples + channel, stride, count);
}

// Edge length in frames of a smoothing time: min(floor(ms * rate / 1000), frames / 10), the
// product in 64 bits and the time clamped to 0 and more.
int EdgeFrames(int32_t ms, DWORD rate, int frames) {
    const int64_t product =
        static_cast<int64_t>(std::max<int32_t>(ms, 0)) * static_cast<int64_t>(rate);
    const int64_t edge = static_cast<int64_t>(std::floor(static_cast<double>(product) / 1000.0));
    return static_cast<int>(std::min<int64_t>(edge, frames / 10));
}

UINT DoubleBytes(int64_t n) {
    const int64_t bytes = std::max<int64_t>(n, 0) * static_cast<int64_t>(sizeof(double));
    return bytes > UINT32_MAX ? UINT32_MAX : static_cast<UINT>(bytes);
}

}  // namespace

// ---------------------------------------------------------------------------------------------
// Strengths

void CBaseFilter::ApplyStrengthsConstant(double* out, const double* processed,
                                         const double* unprocessed, int count, BYTE channel) const {
    const StrengthZoneRecord& r = m_strength.current;
    const double s = m_wfx.nChannels < 2 ? r.centerStrength
                     : (channel & 1)     ? r.rightStrength
                                         : r.leftStrength;
    const double a = std::max(0.0, s), b = std::max(0.0, 1.0 - s);
    for (int k = 0; k < count; ++k) out[k] = processed[k] * a + unprocessed[k] * b;
}

void CBaseFilter::ApplyStrengthsRamp(double rel, double* out, const double* processed,
                                     const double* unprocessed, int count, BYTE channel) const {
    const StrengthZoneRecord& r = m_strength.current;
    double slope = r.leftSlope, step = r.leftStep, start = r.leftStrength;
    if (m_wfx.nChannels < 2) {
        slope = r.centerSlope, step = r.centerStep, start = r.centerStrength;
    } else if (channel & 1) {
        slope = r.rightSlope, step = r.rightStep, start = r.rightStrength;
    }
    const double s = rel * slope + start;
    const double a = std::max(0.0, s), b = std::max(0.0, 1.0 - s);
    for (int k = 0; k < count; ++k) {
        out[k] = (b - k * step) * unprocessed[k] + (a + k * step) * processed[k];
    }
}

void CBaseFilter::ComputeStrengths(float rel, float* out) const {
    if (out == nullptr) return;
    const StrengthZoneRecord& r = m_strength.current;
    const int channels = m_wfx.nChannels;
    if (channels == 1) {
        const float s = static_cast<float>(rel * r.centerSlope + r.centerStrength);
        out[0] = std::max(0.0f, s);
        out[1] = std::max(0.0f, 1.0f - s);
        out[2] = static_cast<float>(r.centerStep);
        return;
    }
    const float sL = static_cast<float>(rel * r.leftSlope + r.leftStrength);
    const float sR = static_cast<float>(rel * r.rightSlope + r.rightStrength);
    const int pairs = channels == 0 ? 0 : (channels - 1) / 2 + 1;
    for (int p = 0; p < pairs; ++p) {
        float* o = out + 6 * p;
        o[0] = std::max(0.0f, sL);
        o[1] = std::max(0.0f, 1.0f - sL);
        o[2] = static_cast<float>(r.leftStep);
        o[3] = std::max(0.0f, sR);
        o[4] = std::max(0.0f, 1.0f - sR);
        o[5] = static_cast<float>(r.rightStep);
    }
}

void CBaseFilter::PrepareStrengthRecord(INT64 intervalStartBytes, StrengthZoneRecord* rec) const {
    if (rec == nullptr || m_wfx.nBlockAlign == 0) return;
    const double rate = static_cast<double>(m_wfx.nSamplesPerSec);
    const INT64 base = intervalStartBytes / m_wfx.nBlockAlign;
    // A zone far beyond any stream (1e300 ms) saturates its frame count; the sums saturate too.
    rec->startFrame = corvane::SaturatingAdd(
        base, corvane::TruncToInt64(rate * rec->effectStart / 1000.0 + 0.0001));
    rec->endFrame = corvane::SaturatingAdd(
        base,
        corvane::TruncToInt64((rec->effectStart + rec->effectDuration) * rate / 1000.0 + 0.0001));
    rec->lengthFrames = corvane::SaturatingSub(rec->endFrame, rec->startFrame);
    // An empty or reversed zone has no ramp to step along.
    const bool hasLength = rec->lengthFrames > 0;
    const double length = static_cast<double>(rec->lengthFrames);
    rec->leftStep = hasLength ? rec->leftSlope / length : 0.0;
    rec->rightStep = hasLength ? rec->rightSlope / length : 0.0;
    rec->centerStep = hasLength ? rec->centerSlope / length : 0.0;
}

// Mixes m samples of zone records, walking the zones from the block's frame position. The zone
// index and the current record carry over to the next filter and the next block.
void CBaseFilter::WalkZones(int index, double* out, const double* processed,
                            const double* unprocessed, int m) {
    StrengthSettings& st = m_strength;
    const int zoneCount = static_cast<int>(st.zones.size());
    INT64 pos = m_blockStart / m_wfx.nBlockAlign;
    int j = 0;
    while (j < m) {
        bool inList = true;
        while (pos >= st.current.endFrame) {
            if (st.nZone + 1 >= zoneCount) {
                inList = false;
                break;
            }
            st.current = st.zones[++st.nZone];
        }
        if (!inList) break;
        while (pos < st.current.startFrame && st.nZone > 0 && st.nZone - 1 < zoneCount &&
               st.zones[st.nZone - 1].endFrame > pos) {
            st.current = st.zones[--st.nZone];
        }
        if (pos < st.current.startFrame)
            break;  // in a gap between zones: keep the processed samples
        const int chunk = static_cast<int>(std::min<INT64>(m - j, st.current.endFrame - pos));
        if (st.current.bRamp) {
            const double rel = static_cast<double>(pos - st.current.startFrame) /
                               static_cast<double>(st.current.lengthFrames);
            ApplyStrengthsRamp(rel, out + j, processed + j, unprocessed + j, chunk,
                               static_cast<BYTE>(index));
        } else {
            ApplyStrengthsConstant(out + j, processed + j, unprocessed + j, chunk,
                                   static_cast<BYTE>(index));
        }
        j += chunk;
        pos += chunk;
    }
}

void CBaseFilter::MixStrengths(CBaseChannelFilter* f, int index, double* out,
                               const double* processed, int m) {
    const double* unprocessed = f->m_pending.data();
    if (!m_strength.zones.empty()) {
        WalkZones(index, out, processed, unprocessed, m);
    } else if (m_strength.current.bRamp) {
        const double rel = m_lengthBytes > 0 ? static_cast<double>(m_blockStart - m_startBytes) /
                                                   static_cast<double>(m_lengthBytes)
                                             : 0.0;
        ApplyStrengthsRamp(rel, out, processed, unprocessed, m, static_cast<BYTE>(index));
    } else {
        ApplyStrengthsConstant(out, processed, unprocessed, m, static_cast<BYTE>(index));
    }
}

// ---------------------------------------------------------------------------------------------
// The block loop

// What one ProcessAudio call works with: the block, its samples and the shape of the channel
// blocks, and the block that replaces it once a channel filter changed the sample count.
struct CBaseFilter::BlockPass {
    ComPtr<IAudioData> block;    // the block handed in
    IAudioData** out = nullptr;  // the caller's result slot
    BYTE* buffer = nullptr;      // the block's bytes
    int16_t* samples = nullptr;  // first sample to process
    LONG totalBytes = 0, offsetBytes = 0, count = 0;
    bool last = false;
    int frames = 0;        // count / channels
    int n = 0;             // samples per channel block
    int stride = 1;        // between a channel block's samples in the 16-bit block
    int smoothStride = 1;  // between one channel's samples in a channel block
    bool mixing = false;   // the strength mix runs
    double scale = 1.0;    // output level x 32768
    // Samples each filter produced in this call, kept only where a new block can replace the old.
    std::vector<int> written;
    // The replacing block, once made: its first processed sample and its samples per channel.
    ComPtr<IAudioData> resized;
    int16_t* resizedSamples = nullptr;
    int resizedFrames = 0;
    HRESULT resizeFailure = S_OK;  // why the replacing block could not be made, while it lacks
};

// Head and tail of the edge cross-fade kept for one channel filter in this call, in frames.
struct CBaseFilter::Edges {
    int head = 0;
    int tail = 0;
};

void CBaseFilter::FailBlock(HRESULT hr) {
    if (SUCCEEDED(m_blockFailure)) m_blockFailure = FAILED(hr) ? hr : E_FAIL;
}

HRESULT CBaseFilter::TakeBlockFailure() {
    const HRESULT hr = m_blockFailure;
    m_blockFailure = S_OK;
    return hr;
}

void CBaseFilter::ProcessAudio(IUnknown* data, LONG totalBytes, LONG offsetBytes, LONG count,
                               LONG last, IAudioData** out) {
    BlockPass pass;
    if (!BeginBlock(data, totalBytes, offsetBytes, count, last, out, &pass)) return;
    // Never more filters than the block has channels (a filter list built for another format).
    const size_t filters = std::min<size_t>(m_channels.size(), m_bPerChannel ? m_wfx.nChannels : 1);
    for (size_t i = 0; i < filters; ++i) {
        CBaseChannelFilter* f = m_channels[i].get();
        if (f == nullptr) continue;
        Deinterleave(pass, i, f);
        HandLookAhead(pass, i, f);
        const Edges edges = CaptureEdges(pass, f);
        int nFinal = RunChannelFilter(f, pass);
        if (pass.mixing) nFinal = MixStrengthsOf(pass, i, f, nFinal);
        nFinal = std::max(nFinal, 0);
        if (m_bLengthChanges) pass.written[i] = nFinal;
        CrossFadeEdges(f, edges, nFinal, pass.last);
        if (i == 0 && m_bLengthChanges) CountOutput(nFinal);
        WriteBack(pass, i, f, nFinal);
        f->m_bRestart = false;
    }
    // A channel whose samples belong in a replacing block that could not be made leaves the block
    // incomplete: the read that asked for it fails.
    if (FAILED(pass.resizeFailure) && !pass.resized) FailBlock(pass.resizeFailure);
}

bool CBaseFilter::BeginBlock(IUnknown* data, LONG totalBytes, LONG offsetBytes, LONG count,
                             LONG last, IAudioData** out, BlockPass* pass) {
    // A block that is handed on unprocessed for any reason but an empty range would pass off as
    // the effect's output: each of those is a failure of the block.
    if (out == nullptr) {
        FailBlock(E_POINTER);
        return false;
    }
    *out = nullptr;
    pass->block = corvane::QueryAs<IAudioData>(data);
    if (!pass->block) {
        FailBlock(data == nullptr ? E_POINTER : E_NOINTERFACE);
        return false;
    }
    // The result is the block itself until a replacing block is made.
    *out = ComPtr<IAudioData>(pass->block).Detach();
    pass->out = out;
    // An empty last block hands the channel filters the stream's end, so that they give what
    // they hold; any other empty range has nothing to process.
    const bool flush = count == 0 && last != 0 && totalBytes == 0;
    if (count == 0 && !flush) return false;

    const int channels = m_wfx.nChannels;
    if (channels == 0 || m_wfx.nBlockAlign == 0 || m_wfx.nSamplesPerSec == 0) {
        FailBlock(E_UNEXPECTED);
        return false;
    }
    if (offsetBytes < 0 || count < 0 ||
        static_cast<int64_t>(offsetBytes) + 2 * static_cast<int64_t>(count) > totalBytes) {
        FailBlock(E_INVALIDARG);
        return false;
    }
    const HRESULT hr = pass->block->GetBuffer(corvane::kBufferReadWrite, 0, &pass->buffer);
    if (FAILED(hr) || (pass->buffer == nullptr && !flush)) {
        FailBlock(FAILED(hr) ? hr : E_POINTER);
        return false;
    }
    pass->samples = pass->buffer ? reinterpret_cast<int16_t*>(pass->buffer + offsetBytes) : nullptr;
    pass->totalBytes = totalBytes;
    pass->offsetBytes = offsetBytes;
    pass->count = count;
    pass->last = last != 0;
    pass->frames = count / channels;
    pass->n = m_bPerChannel ? pass->frames : count;
    pass->stride = m_bPerChannel ? channels : 1;
    pass->smoothStride = m_bPerChannel ? 1 : channels;
    pass->mixing = m_strength.bUseStrengthPerCh && m_bPerChannel;
    pass->scale = m_level * 32768.0;
    if (m_bLengthChanges) pass->written.assign(m_channels.size(), 0);
    // Counted in frames for every engine, so that the lag means the same per channel and
    // interleaved.
    m_inCount += pass->frames;
    return true;
}

void CBaseFilter::Deinterleave(const BlockPass& pass, size_t i, CBaseChannelFilter* f) {
    f->EnsureBuffers(pass.n);
    // The cross-fades keep the input of a stream's first and last blocks (CaptureEdges).
    const bool edgeDue = m_smoothEnabled != 0 && (pass.last || f->m_bRestart);
    if (!f->UsesInput() && !pass.mixing && !edgeDue) return;
    double* input = f->m_pIn;
    if (pass.n > 0) dspWidenStrided16s64f(pass.samples + i, pass.stride, input, pass.n);
    if (pass.mixing) f->AppendPending(input, static_cast<UINT>(pass.n));
}

void CBaseFilter::HandLookAhead(const BlockPass& pass, size_t i, CBaseChannelFilter* f) {
    f->m_bStreamEnds = pass.last && m_lookAheadEnds;
    const int channels = m_wfx.nChannels;
    const int frames = static_cast<int>(m_lookAhead.size() / static_cast<size_t>(channels));
    const int wanted = pass.last ? std::min(std::max(f->LookAheadFrames(), 0), frames) : 0;
    if (wanted == 0) return;
    // In the layout of the filter's input: one channel, or the interleaved frames.
    const int count = m_bPerChannel ? wanted : wanted * channels;
    if (f->m_lookAheadStore.size() < static_cast<size_t>(count))
        f->m_lookAheadStore.resize(static_cast<size_t>(count));
    dspWidenStrided16s64f(m_lookAhead.data() + (m_bPerChannel ? i : 0), pass.stride,
                          f->m_lookAheadStore.data(), count);
    f->m_pLookAhead = f->m_lookAheadStore.data();
    f->m_lookAheadCount = count;
}

CBaseFilter::Edges CBaseFilter::CaptureEdges(const BlockPass& pass, CBaseChannelFilter* f) {
    Edges edges;
    if (m_smoothEnabled == 0) return edges;
    const DWORD rate = m_wfx.nSamplesPerSec;
    const UINT blockBytes = DoubleBytes(pass.n);
    if (pass.last) {
        edges.tail = EdgeFrames(m_rSmooth, rate, pass.frames);
        if (edges.tail > 0) {
            f->m_smooth.SetStride(pass.smoothStride);
            f->m_smooth.StoreTail(f->m_pIn, blockBytes,
                                  DoubleBytes(int64_t(edges.tail) * pass.smoothStride));
        }
    }
    if (f->m_bRestart) {
        edges.head = EdgeFrames(m_lSmooth, rate, pass.frames);
        if (edges.head > 0) {
            f->m_smooth.SetStride(pass.smoothStride);
            f->m_smooth.StoreHead(f->m_pIn, blockBytes,
                                  DoubleBytes(int64_t(edges.head) * pass.smoothStride));
        }
    }
    return edges;
}

int CBaseFilter::RunChannelFilter(CBaseChannelFilter* f, const BlockPass& pass) {
    const int nOut = f->ProcessChannel(pass.n, pass.last ? 1 : 0);
    // The look-ahead belongs to this call alone.
    f->m_pLookAhead = nullptr;
    f->m_lookAheadCount = 0;
    f->m_bStreamEnds = false;
    return std::clamp(nOut, 0, std::max(f->m_outCapacity, 0));
}

int CBaseFilter::MixStrengthsOf(const BlockPass& pass, size_t i, CBaseChannelFilter* f, int nOut) {
    const bool direct = f->m_processedCount == 0 && f->m_pendingCount >= static_cast<UINT>(nOut);
    if (!direct) f->AppendProcessed(f->m_pOut, static_cast<UINT>(nOut));
    const int avail = direct ? nOut : static_cast<int>(f->m_processedCount);
    const int pending = static_cast<int>(f->m_pendingCount);
    const int nFinal = pass.last ? pending : std::min(pending, avail);
    f->EnsureOutputBuffer(nFinal);
    if (nFinal <= 0) return nFinal;
    // Growth may move the output: take the processed samples only now.
    const double* processed = direct ? f->m_pOut : f->m_processed.data();
    const int m = std::min(pending, avail);
    if (m > 0) {
        MixStrengths(f, static_cast<int>(i), f->m_pOut, processed, m);
        f->DropPending(static_cast<UINT>(m));
        f->DropProcessed(static_cast<UINT>(m));
    }
    if (pass.last && nFinal - m > 0) {
        // Input for which the filter gave no output closes the stream unprocessed.
        const int k = std::min(nFinal - m, static_cast<int>(f->m_pendingCount));
        std::memcpy(f->m_pOut + m, f->m_pending.data(), sizeof(double) * static_cast<size_t>(k));
        f->DropPending(static_cast<UINT>(k));
    }
    return nFinal;
}

void CBaseFilter::CrossFadeEdges(CBaseChannelFilter* f, const Edges& edges, int nFinal, bool last) {
    if (f->m_bRestart && edges.head > 0) f->m_smooth.ApplyLeftEdge(f->m_pOut, DoubleBytes(nFinal));
    if (last && edges.tail > 0) f->m_smooth.ApplyRightEdge(f->m_pOut, DoubleBytes(nFinal));
}

void CBaseFilter::CountOutput(int nFinal) {
    // Both counters move on every call so that the lag stays the difference of the two. Only an
    // engine that follows "Rate" stretches its output by it (the pitch shift's "Rate" is a pitch).
    m_outCount += m_bPerChannel ? nFinal : nFinal / m_wfx.nChannels;
    const double rate = m_bFollowsRate ? m_rate : 1.0;
    m_frameOffset = corvane::TruncToInt64(static_cast<double>(m_inCount) -
                                          static_cast<double>(m_outCount) / rate);
}

void CBaseFilter::WriteBack(BlockPass& pass, size_t i, CBaseChannelFilter* f, int nFinal) {
    const int channel = static_cast<int>(i);
    if (!pass.resized && (!m_bLengthChanges || nFinal == pass.n)) {
        // In place: never more samples than the block range holds.
        WriteChannel(pass.samples, channel, pass.stride, f->m_pOut, std::min(nFinal, pass.n),
                     pass.scale);
        return;
    }
    if (!pass.resized) ReplaceBlock(pass, i, nFinal);
    if (pass.resized) {
        WriteChannel(pass.resizedSamples, channel, pass.stride, f->m_pOut,
                     std::min(nFinal, pass.resizedFrames), pass.scale);
    }
}

void CBaseFilter::ReplaceBlock(BlockPass& pass, size_t i, int nFinal) {
    const int64_t newCount = static_cast<int64_t>(nFinal) * pass.stride;
    const int64_t newTotal = pass.totalBytes + (newCount - pass.count) * 2;
    if (newTotal > INT32_MAX) {
        pass.resizeFailure = E_OUTOFMEMORY;
        return;
    }
    ComPtr<IUnknown> created;
    HRESULT hr = pass.block->CreateBlock(2, created.Put());
    ComPtr<IAudioData> fresh = created.As<IAudioData>();
    if (SUCCEEDED(hr) && !fresh) hr = E_NOINTERFACE;
    if (SUCCEEDED(hr)) hr = fresh->SetLength(static_cast<LONG>(newTotal), 0);
    BYTE* freshBuffer = nullptr;
    if (SUCCEEDED(hr)) hr = fresh->GetBuffer(corvane::kBufferReadWrite, 0, &freshBuffer);
    if (SUCCEEDED(hr) && freshBuffer == nullptr) hr = E_POINTER;
    if (SUCCEEDED(hr)) hr = fresh->PutDuration(BytesToMs(newTotal));
    if (FAILED(hr)) {
        // A later channel filter of this call tries again.
        pass.resizeFailure = hr;
        return;
    }
    // (An empty block, the flush at a stream's end, may have no buffer at all.)
    if (pass.offsetBytes > 0)
        std::memcpy(freshBuffer, pass.buffer, static_cast<size_t>(pass.offsetBytes));
    const int64_t tailBytes =
        pass.totalBytes - pass.offsetBytes - 2 * static_cast<int64_t>(pass.count);
    if (tailBytes > 0) {
        std::memcpy(freshBuffer + pass.offsetBytes + newCount * 2,
                    pass.buffer + pass.offsetBytes + 2 * pass.count,
                    static_cast<size_t>(tailBytes));
    }
    // The block's duration was its byte length (TakeHelperBlock), so the position moves by the
    // frames gained or lost, counted whole.
    AdvancePosition(newTotal - pass.totalBytes);
    pass.resizedSamples = reinterpret_cast<int16_t*>(freshBuffer + pass.offsetBytes);
    pass.resizedFrames = nFinal;
    pass.resized = fresh;
    ComPtr<IAudioData> previous(*pass.out);
    *pass.out = ComPtr<IAudioData>(fresh).Detach();
    // Filters before this one wrote into the old block: carry their output over.
    for (size_t j = 0; j < i; ++j) {
        if (m_channels[j] == nullptr) continue;
        WriteChannel(pass.resizedSamples, static_cast<int>(j), pass.stride, m_channels[j]->m_pOut,
                     std::min(pass.written[j], pass.resizedFrames), pass.scale);
    }
}
