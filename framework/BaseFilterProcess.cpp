// The block loop: de-interleave, channel filters, strength mix, edge cross-fades, write-back.
#include "framework/BaseFilter.h"

#include "framework/BaseFilterSupport.h"

#include <algorithm>
#include <cmath>
#include <cstring>

using corvane::ComPtr;

namespace {

constexpr double kFromPcm16 = 3.0517578125e-05;  // 1 / 32768

// scale * x as a 16-bit sample: clamped in double first (a cast of a value outside the integer
// range, or of NaN, is undefined), NaN to 0, then truncated toward zero.
inline int16_t ToPcm16(double scale, double x) {
    const double v = scale * x;
    if (std::isnan(v)) return 0;
    if (v >= 32767.0) return 32767;
    if (v <= -32768.0) return -32768;
    return static_cast<int16_t>(static_cast<int32_t>(v));
}

void WriteChannel(int16_t* samples, int channel, int stride, const double* out, int count,
                  double scale) {
    for (int k = 0; k < count; ++k) samples[channel + k * stride] = ToPcm16(scale, out[k]);
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
    rec->startFrame = base + corvane::TruncToInt64(rate * rec->effectStart / 1000.0 + 0.0001);
    rec->endFrame = base + corvane::TruncToInt64(
                               (rec->effectStart + rec->effectDuration) * rate / 1000.0 + 0.0001);
    rec->lengthFrames = rec->endFrame - rec->startFrame;
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

namespace {

// The block of a call after a channel filter changed the sample count.
struct ResizedBlock {
    ComPtr<IAudioData> data;
    int16_t* samples = nullptr;  // first processed sample of the new block
    int frames = 0;              // samples per channel of the new processed range
};

}  // namespace

void CBaseFilter::ProcessAudio(IUnknown* data, LONG totalBytes, LONG offsetBytes, LONG count,
                               LONG last, IAudioData** out) {
    if (out == nullptr) return;
    *out = nullptr;
    ComPtr<IAudioData> block = corvane::QueryAs<IAudioData>(data);
    if (!block) return;
    *out = ComPtr<IAudioData>(block).Detach();

    const int channels = m_wfx.nChannels;
    if (channels == 0 || m_wfx.nBlockAlign == 0 || m_wfx.nSamplesPerSec == 0) return;
    if (offsetBytes < 0 || count <= 0 ||
        static_cast<int64_t>(offsetBytes) + 2 * static_cast<int64_t>(count) > totalBytes) {
        return;
    }
    BYTE* buffer = nullptr;
    if (FAILED(block->GetBuffer(corvane::kBufferReadWrite, 0, &buffer)) || buffer == nullptr)
        return;
    int16_t* samples = reinterpret_cast<int16_t*>(buffer + offsetBytes);

    const int frames = count / channels;
    const int n = m_bPerChannel ? frames : count;
    const int stride = m_bPerChannel ? channels : 1;
    const int smoothStride = m_bPerChannel ? 1 : channels;
    const bool mixing = m_strength.bUseStrengthPerCh && m_bPerChannel;
    const double scale = m_level * 32768.0;
    const DWORD rate = m_wfx.nSamplesPerSec;

    // Counted in frames for every engine, so that the lag means the same per channel and
    // interleaved.
    m_inCount += frames;

    ResizedBlock resized;
    // Samples each filter produced in this call, kept only where a new block can replace the old.
    std::vector<int> written;
    if (m_bLengthChanges) written.assign(m_channels.size(), 0);

    // Never more filters than the block has channels (a filter list built for another format).
    const size_t filters = std::min<size_t>(m_channels.size(), m_bPerChannel ? channels : 1);
    for (size_t i = 0; i < filters; ++i) {
        CBaseChannelFilter* f = m_channels[i];
        if (f == nullptr) continue;
        f->EnsureBuffers(n);
        double* input = f->m_pIn;
        for (int k = 0; k < n; ++k)
            input[k] = samples[i + static_cast<size_t>(k) * stride] * kFromPcm16;
        if (mixing) f->AppendPending(input, static_cast<UINT>(n));

        int head = 0, tail = 0;
        if (m_smoothEnabled != 0) {
            if (last) {
                tail = EdgeFrames(m_rSmooth, rate, frames);
                if (tail > 0) {
                    f->m_smooth.SetStride(smoothStride);
                    f->m_smooth.StoreTail(input, DoubleBytes(n),
                                          DoubleBytes(int64_t(tail) * smoothStride));
                }
            }
            if (f->m_bRestart) {
                head = EdgeFrames(m_lSmooth, rate, frames);
                if (head > 0) {
                    f->m_smooth.SetStride(smoothStride);
                    f->m_smooth.StoreHead(input, DoubleBytes(n),
                                          DoubleBytes(int64_t(head) * smoothStride));
                }
            }
        }

        int nOut = f->ProcessChannel(n, last);
        nOut = std::clamp(nOut, 0, std::max(f->m_outCapacity, 0));
        int nFinal = nOut;

        if (mixing) {
            const bool direct =
                f->m_processedCount == 0 && f->m_pendingCount >= static_cast<UINT>(nOut);
            if (!direct) f->AppendProcessed(f->m_pOut, static_cast<UINT>(nOut));
            const int avail = direct ? nOut : static_cast<int>(f->m_processedCount);
            const int pending = static_cast<int>(f->m_pendingCount);
            nFinal = last ? pending : std::min(pending, avail);
            f->EnsureOutputBuffer(nFinal);
            // Growth may move the output: take the processed samples only now.
            const double* processed = direct ? f->m_pOut : f->m_processed.data();
            if (nFinal > 0) {
                const int m = std::min(pending, avail);
                if (m > 0) {
                    MixStrengths(f, static_cast<int>(i), f->m_pOut, processed, m);
                    f->DropPending(static_cast<UINT>(m));
                    f->DropProcessed(static_cast<UINT>(m));
                }
                if (last && nFinal - m > 0) {
                    // Input for which the filter gave no output closes the stream unprocessed.
                    const int k = std::min(nFinal - m, static_cast<int>(f->m_pendingCount));
                    std::memcpy(f->m_pOut + m, f->m_pending.data(),
                                sizeof(double) * static_cast<size_t>(k));
                    f->DropPending(static_cast<UINT>(k));
                }
            }
        }
        nFinal = std::max(nFinal, 0);
        if (m_bLengthChanges) written[i] = nFinal;

        double* output = f->m_pOut;
        if (f->m_bRestart && head > 0) f->m_smooth.ApplyLeftEdge(output, DoubleBytes(nFinal));
        if (last && tail > 0) f->m_smooth.ApplyRightEdge(output, DoubleBytes(nFinal));

        if (i == 0 && m_bLengthChanges) {
            // Both counters move on every call so that the lag stays the difference of the two.
            m_outCount += m_bPerChannel ? nFinal : nFinal / channels;
            m_frameOffset = corvane::TruncToInt64(static_cast<double>(m_inCount) -
                                                  static_cast<double>(m_outCount) / m_rate);
        }

        if (!resized.data && (!m_bLengthChanges || nFinal == n)) {
            // In place: never more samples than the block range holds.
            WriteChannel(samples, static_cast<int>(i), stride, output, std::min(nFinal, n), scale);
        } else {
            if (!resized.data) {
                const int64_t newCount = static_cast<int64_t>(nFinal) * stride;
                const int64_t newTotal = totalBytes + (newCount - count) * 2;
                if (newTotal <= INT32_MAX) {
                    ComPtr<IUnknown> created;
                    block->CreateBlock(2, created.Put());
                    ComPtr<IAudioData> fresh = created.As<IAudioData>();
                    BYTE* freshBuffer = nullptr;
                    if (fresh && SUCCEEDED(fresh->SetLength(static_cast<LONG>(newTotal), 0)) &&
                        SUCCEEDED(fresh->GetBuffer(corvane::kBufferReadWrite, 0, &freshBuffer)) &&
                        freshBuffer) {
                        std::memcpy(freshBuffer, buffer, static_cast<size_t>(offsetBytes));
                        const int64_t tailBytes =
                            totalBytes - offsetBytes - 2 * static_cast<int64_t>(count);
                        std::memcpy(freshBuffer + offsetBytes + newCount * 2,
                                    buffer + offsetBytes + 2 * count,
                                    static_cast<size_t>(tailBytes));
                        const double newDuration = BytesToMs(newTotal);
                        double oldDuration = newDuration;
                        fresh->GetDuration(&oldDuration);
                        fresh->PutDuration(newDuration);
                        m_position += newDuration - oldDuration;
                        resized.samples = reinterpret_cast<int16_t*>(freshBuffer + offsetBytes);
                        resized.frames = nFinal;
                        resized.data = fresh;
                        ComPtr<IAudioData> previous = ComPtr<IAudioData>::Attach(*out);
                        *out = ComPtr<IAudioData>(fresh).Detach();
                        // Filters before this one wrote into the old block: carry their output
                        // over.
                        for (size_t j = 0; j < i; ++j) {
                            if (m_channels[j] == nullptr) continue;
                            WriteChannel(resized.samples, static_cast<int>(j), stride,
                                         m_channels[j]->m_pOut,
                                         std::min(written[j], resized.frames), scale);
                        }
                    }
                }
            }
            if (resized.data) {
                WriteChannel(resized.samples, static_cast<int>(i), stride, output,
                             std::min(nFinal, resized.frames), scale);
            }
        }
        f->m_bRestart = false;
    }
}
