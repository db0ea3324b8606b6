#include "effects/ReverseFilter.h"

#include "framework/BaseFilterSupport.h"
#include "framework/error_support.h"

#include "dsp/effect_loops.h"

#include <algorithm>
#include <cmath>

using corvane::ComPtr;
using corvane::kAudioFormatUnsupported;
using corvane::kFileAccessError;
using corvane::kInvalidArgument;

namespace {

constexpr LONG kPcm16 = 0x10000;  // IAudioFormat::PutSampleFormat: 16-bit PCM

// Whole frames of `ms` at `rate`, in bytes of `align`; 0 for anything not above 0.
int64_t BytesOf(double ms, int64_t rate, int64_t align) {
    const double frames = std::trunc(static_cast<double>(rate) * ms / 1000.0 + 0.0001);
    if (!(frames > 0.0)) return 0;
    // Far beyond any file system; keeps the arithmetic defined.
    constexpr double kLimit = 4.0e18;
    return static_cast<int64_t>(std::min(frames * static_cast<double>(align), kLimit)) / align *
           align;
}

}  // namespace

CReverseFilter::~CReverseFilter() = default;

void CReverseFilter::CloseFiles() {
    m_files.clear();
    m_current = 0;
    m_fileOffset = 0;
}

const ParamTable<CReverseFilter>& CReverseFilter::Params() {
    using C = CReverseFilter;
    static const ParamTable<C> rows = {
        {LongKey(OLESTR("nSamplesPerSec"), 0), &C::m_rate},
        {ULongKey(OLESTR("ChannelsMask"), 0), &C::m_mask},
        {LongKey(OLESTR("nChannels"), 0), &C::m_channels},
    };
    return rows;
}

HRESULT CReverseFilter::ResetParams() {
    ::ResetParams(this, Params());
    return S_OK;
}

HRESULT CReverseFilter::LoadParams() {
    const HRESULT hr = CBaseFilter::LoadParams();
    if (FAILED(hr)) return hr;
    ReadParams(m_pParams.Get(), this, Params());
    return S_OK;
}

HRESULT CReverseFilter::ResetStream() {
    CloseFiles();
    return CBaseFilter::ResetStream();
}

corvane::OleString CReverseFilter::Folder() const {
    if (!m_tempPath.empty()) return corvane::TempFilePrefix(m_tempPath);
    // Without a folder the files would land wherever the host happens to run.
    OLECHAR buffer[MAX_PATH + 1];
    const DWORD n = GetTempPathW(MAX_PATH + 1, buffer);
    return n > 0 && n <= MAX_PATH ? corvane::OleString(buffer, n) : corvane::OleString();
}

HRESULT CReverseFilter::InitFilter(IUnknown*) {
    CloseFiles();
    m_fileError = ERROR_SUCCESS;
    if (!m_bEnabled || m_rate == 0 || m_channels == 0) return S_OK;
    if (m_pSource == nullptr) return SetError(kInvalidArgument);

    // The source delivers the format the files hold.
    ComPtr<IUnknown> object;
    HRESULT hr = m_pSource->get_audioFormat(-1, object.Put());
    if (FAILED(hr)) return hr;
    ComPtr<IAudioFormat> format = object.As<IAudioFormat>();
    if (!format) return E_NOINTERFACE;
    hr = format->PutSampleFormat(kPcm16);
    if (SUCCEEDED(hr)) hr = format->PutSampleRate(m_rate);
    if (SUCCEEDED(hr)) hr = format->PutChannels(m_channels);
    if (SUCCEEDED(hr) && m_mask != 0) hr = format->PutChannelLayout(m_mask);
    if (SUCCEEDED(hr)) hr = m_pSource->put_audioFormat(-1, format.Get());
    // What the source cannot deliver the effect cannot make: said with the class's identity.
    if (FAILED(hr)) return hr == E_OUTOFMEMORY ? hr : SetError(kAudioFormatUnsupported);
    ReleaseFormat();  // the next block sets the stream up in that format

    // The source goes back where it was once the files are made: without that place it would
    // restart at the stream's start.
    double before = 0.0;
    hr = m_pSource->get_audioTime(-1, &before);
    if (FAILED(hr)) return hr;
    // Without zones the interval is the whole stream, which is known before the first block.
    // A zone past the stream's end ends there: reversing the silence beyond would move the audio
    // out of the stream and write files as long as the zone, whatever the stream holds.
    double start = m_effectStart, duration = m_effectDuration, end = 0.0;
    hr = m_pSource->get_audioDuration(-1, &end);
    if (!m_bExplicitInterval) {
        if (FAILED(hr)) return hr;
        start = 0.0;
        duration = end;
    } else if (SUCCEEDED(hr)) {
        duration = std::min(duration, end - start);
    }
    m_filesStart = start;
    m_filesRate = m_rate;
    m_filesAlign = 2 * static_cast<int64_t>(m_channels);
    if (BytesOf(duration, m_filesRate, m_filesAlign) <= 0) return S_OK;  // nothing to reverse
    // The interval is read on from where the source stands, so that the effects ahead of this one
    // run on as they would in a straight run: a seek to the interval's start would restart them
    // there (an oscillator from its start phase, a delay line or a filter from silence). A source
    // already past the interval's start runs again from the stream's start, for the same reason.
    const double from = before <= start ? before : 0.0;
    hr = from == before ? S_OK : m_pSource->SeekAudio(-1, 0, from);
    if (SUCCEEDED(hr)) hr = BuildFiles(from, duration);
    const HRESULT back = m_pSource->SeekAudio(-1, 0, before);
    // Files the source cannot go back from would play over the wrong place.
    if (SUCCEEDED(hr)) hr = back;
    if (FAILED(hr)) {
        CloseFiles();
        // The host may tell why a file could not be made or written (a full disk, a missing
        // folder): the system's error of that file call is the thread's last error.
        if (m_fileError != ERROR_SUCCESS) SetLastError(m_fileError);
        return hr;
    }
    return Reposition(before);
}

HRESULT CReverseFilter::BuildFiles(double from, double duration) {
    const int64_t align = m_filesAlign;
    const corvane::OleString folder = Folder();
    // What comes between `from` and the interval's start is read and dropped, a block at a time.
    int64_t skip = BytesOf(m_filesStart, m_filesRate, align) - BytesOf(from, m_filesRate, align);
    int64_t remaining = BytesOf(duration, m_filesRate, align);
    const auto msOf = [&](int64_t bytes) {
        return static_cast<double>(bytes / align) * 1000.0 / static_cast<double>(m_filesRate);
    };
    const auto addFile = [&](const BYTE* data, int64_t bytes) {
        auto file = std::make_unique<corvane::TempSampleFile>();
        HRESULT hr = file->Create(folder);
        if (SUCCEEDED(hr)) hr = file->Write(data, bytes);
        if (SUCCEEDED(hr)) hr = file->Seek(0);
        if (FAILED(hr)) {
            // The file goes with the rest of them when the build fails.
            if (HRESULT_FACILITY(hr) == FACILITY_WIN32) m_fileError = HRESULT_CODE(hr);
            return SetError(kFileAccessError);
        }
        m_files.insert(m_files.begin(), std::move(file));
        return S_OK;
    };
    while (remaining > 0) {
        ComPtr<IUnknown> block;
        // Chunks end at the interval's start, so that the interval's files are as long as they
        // would be read from there.
        const double ask = std::min(msOf(skip > 0 ? skip : remaining), kChunkMs);
        // A source that fails leaves the interval unread: reversing what came would be wrong.
        const HRESULT read = m_pSource->ReadAudio(-1, 0, ask, block.Put());
        if (FAILED(read)) return read;
        if (!block) break;  // the source has ended
        ComPtr<IAudioData> data = block.As<IAudioData>();
        if (!data) return E_NOINTERFACE;
        BYTE* bytes = nullptr;
        LONG length = 0;
        // A block whose audio cannot be reached is no end of the source: taken as one, the
        // reversal would be cut short and pass as whole.
        HRESULT got = data->GetBufferAndLength(corvane::kBufferReadWrite, 0, &bytes, &length);
        if (SUCCEEDED(got) && length > 0 && bytes == nullptr) got = E_POINTER;
        if (FAILED(got)) return got;
        const int64_t whole = length / align * align;
        if (whole <= 0) break;  // an empty block ends the source
        const int64_t dropped = std::min(skip, whole);
        skip -= dropped;
        // A block past what is left would shift the reversed audio.
        const int64_t take = std::min(whole - dropped, remaining);
        if (take <= 0) continue;
        dspReverseFrames16s(reinterpret_cast<int16_t*>(bytes + dropped), take / align, m_channels);
        remaining -= take;
        const HRESULT hr = addFile(bytes + dropped, take);
        if (FAILED(hr)) return hr;
    }
    // A source that ends early ends the interval: what it gave is reversed, no silence after it.
    return S_OK;
}

HRESULT CReverseFilter::Reposition(double ms) {
    m_current = 0;
    m_fileOffset = 0;
    if (m_files.empty()) return S_OK;
    const double p = ms - m_filesStart;
    if (p < 0.0) return m_files[0]->Seek(0);
    int64_t bytes = BytesOf(p, m_filesRate, m_filesAlign);
    while (m_current < m_files.size() && bytes >= m_files[m_current]->Size()) {
        bytes -= m_files[m_current]->Size();
        ++m_current;
    }
    // Past the interval's end there is nothing to read.
    if (m_current >= m_files.size()) return S_OK;
    m_fileOffset = bytes;
    return m_files[m_current]->Seek(bytes);
}

HRESULT CReverseFilter::OnReset() {
    return Reposition(m_position);
}
HRESULT CReverseFilter::OnSeek() {
    return Reposition(m_position);
}
HRESULT CReverseFilter::OnSkip() {
    return Reposition(m_position);
}

void CReverseFilter::ProcessAudio(IUnknown* data, LONG totalBytes, LONG offsetBytes, LONG count,
                                  LONG, IAudioData** out) {
    int16_t* samples = OpenBlock(data, totalBytes, offsetBytes, count, out);
    if (samples == nullptr || m_current >= m_files.size()) return;
    BYTE* to = reinterpret_cast<BYTE*>(samples);
    int64_t want = 2 * static_cast<int64_t>(count);
    while (want > 0) {
        corvane::TempSampleFile& file = *m_files[m_current];
        const int64_t left = file.Size() - m_fileOffset;
        if (left <= 0) {
            if (++m_current >= m_files.size()) return;
            m_fileOffset = 0;
            if (FAILED(m_files[m_current]->Seek(0))) {
                FailBlock(SetError(kFileAccessError));
                return;
            }
            continue;
        }
        DWORD got = 0;
        const HRESULT hr =
            file.Read(to, static_cast<DWORD>(std::min<int64_t>({want, left, UINT32_MAX})), &got);
        if (FAILED(hr) || got == 0) {
            // A file that gives less than it holds leaves the block half reversed.
            FailBlock(SetError(kFileAccessError));
            return;
        }
        m_fileOffset += got;
        to += got;
        want -= got;
    }
}
