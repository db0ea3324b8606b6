#include "host/media_source.h"

#include "platform/com_ptr.h"

#include <cmath>
#include <limits>
#include <vector>

namespace corvane::host {

namespace {

OleStringView NameOf(BSTR name) {
    return name ? OleStringView(name, SysStringLen(name)) : OleStringView();
}

// Clears an interface out-parameter when the caller gave one, then answers hr.
HRESULT NoInterface(IUnknown** out, HRESULT hr) {
    if (out) *out = nullptr;
    return hr;
}

// Answers a constant through a LONG out-parameter.
HRESULT GiveLong(LONG* out, LONG value) {
    if (!out) return E_POINTER;
    *out = value;
    return S_OK;
}

// ---- numbers in VARIANTs: what a property setter accepts ----

bool VariantNumber(const VARIANT& v, double* out) {
    switch (v.vt) {
        case VT_I2:
            *out = v.iVal;
            return true;
        case VT_I4:
            *out = v.lVal;
            return true;
        case VT_INT:
            *out = v.intVal;
            return true;
        case VT_UI2:
            *out = v.uiVal;
            return true;
        case VT_UI4:
            *out = v.ulVal;
            return true;
        case VT_UINT:
            *out = v.uintVal;
            return true;
        case VT_R4:
            *out = v.fltVal;
            return true;
        case VT_R8:
            *out = v.dblVal;
            return true;
        default:
            return false;
    }
}

bool VariantInteger(const VARIANT& v, LONG* out) {
    double d;
    if (!VariantNumber(v, &d) || d != std::floor(d) || d < -2147483648.0 || d > 2147483647.0)
        return false;
    *out = static_cast<LONG>(d);
    return true;
}

HRESULT VariantString(OleStringView s, VARIANT* out) {
    BSTR b = SysAllocStringLen(s.data(), static_cast<UINT>(s.size()));
    if (!b) return E_OUTOFMEMORY;
    VariantInit(out);
    out->vt = VT_BSTR;
    out->bstrVal = b;
    return S_OK;
}

void VariantDouble(double d, VARIANT* out) {
    VariantInit(out);
    out->vt = VT_R8;
    out->dblVal = d;
}

void VariantLong(LONG l, VARIANT* out) {
    VariantInit(out);
    out->vt = VT_I4;
    out->lVal = l;
}

}  // namespace

// ---- CMediaSource ----

CMediaSource::~CMediaSource() {
    for (auto& kv : bag_) VariantClear(&kv.second);
}

HRESULT CMediaSource::CheckStream(LONG stream) const {
    return stream == -1 || stream == 0 ? S_OK : E_INVALIDARG;
}

double CMediaSource::MsOfFrameLocked(int64_t frame) const {
    return static_cast<double>(frame) * 1000.0 / static_cast<double>(FormatLocked().rate);
}

double CMediaSource::PositionMsLocked() const {
    return MsOfFrameLocked(position_);
}

void CMediaSource::SeekMsLocked(double ms) {
    position_ = std::min(FramesForMs(FormatLocked().rate, ms), TotalFramesLocked());
}

CAudioBlock* CMediaSource::NewBlock(const AudioFormatValues& format) {
    return new CAudioBlock(format);
}

HRESULT CMediaSource::PutFormatLocked(const AudioFormatValues& format) {
    return format.SameStream(FormatLocked()) ? S_OK : kFormatNotSupported;
}

HRESULT CMediaSource::SetPropertyLocked(OleStringView, const VARIANT&) {
    return S_FALSE;
}
HRESULT CMediaSource::GetPropertyLocked(OleStringView, VARIANT*) {
    return S_FALSE;
}

STDMETHODIMP CMediaSource::SendCommandEx(ULONGLONG, IUnknown*, IUnknown** pOutInfo) {
    // The sources understand no commands.
    return NoInterface(pOutInfo, E_NOTIMPL);
}

STDMETHODIMP CMediaSource::get_videoTracksCount(LONG* pVal) {
    return GiveLong(pVal, 0);
}
STDMETHODIMP CMediaSource::put_videoTracksCount(LONG) {
    return E_NOTIMPL;
}

STDMETHODIMP CMediaSource::get_audioTracksCount(LONG* pVal) {
    return GiveLong(pVal, 1);
}
STDMETHODIMP CMediaSource::put_audioTracksCount(LONG) {
    return E_NOTIMPL;
}

STDMETHODIMP CMediaSource::get_dataTracksCount(LONG* pVal) {
    return GiveLong(pVal, 0);
}
STDMETHODIMP CMediaSource::put_dataTracksCount(LONG) {
    return E_NOTIMPL;
}

// No video or data track: the current track is -1, and -1 is the only one that can be chosen.
STDMETHODIMP CMediaSource::get_videoTrack(LONG* pVal) {
    return GiveLong(pVal, -1);
}
STDMETHODIMP CMediaSource::put_videoTrack(LONG newVal) {
    return newVal == -1 ? S_OK : E_INVALIDARG;
}

STDMETHODIMP CMediaSource::get_audioTrack(LONG* pVal) {
    return GiveLong(pVal, 0);
}
STDMETHODIMP CMediaSource::put_audioTrack(LONG newVal) {
    return newVal == 0 ? S_OK : E_INVALIDARG;
}

STDMETHODIMP CMediaSource::get_dataTrack(LONG* pVal) {
    return GiveLong(pVal, -1);
}
STDMETHODIMP CMediaSource::put_dataTrack(LONG newVal) {
    return newVal == -1 ? S_OK : E_INVALIDARG;
}

STDMETHODIMP CMediaSource::get_videoStream(LONG, LONG, IUnknown** ppStream) {
    return NoInterface(ppStream, E_NOTIMPL);
}
STDMETHODIMP CMediaSource::get_audioStream(LONG, LONG, IUnknown** ppStream) {
    return NoInterface(ppStream, E_NOTIMPL);
}
STDMETHODIMP CMediaSource::get_dataStream(LONG, LONG, IUnknown** ppStream) {
    return NoInterface(ppStream, E_NOTIMPL);
}

// Blocks are made on demand; nothing is buffered that a reset could drop.
STDMETHODIMP CMediaSource::ResetBuffers(LONG, LONG) {
    return S_OK;
}

STDMETHODIMP CMediaSource::get_IsSeekable(LONG Stream, LONG, VARIANT_BOOL* Seekable) {
    if (!Seekable) return E_POINTER;
    HRESULT hr = CheckStream(Stream);
    if (FAILED(hr)) return hr;
    *Seekable = VARIANT_TRUE;
    return S_OK;
}

STDMETHODIMP CMediaSource::SeekVideo(LONG, LONG, double) {
    return E_NOTIMPL;
}
STDMETHODIMP CMediaSource::SeekData(LONG, LONG, double) {
    return E_NOTIMPL;
}
STDMETHODIMP CMediaSource::SkipVideo(LONG, LONG, double) {
    return E_NOTIMPL;
}
STDMETHODIMP CMediaSource::SkipData(LONG, LONG, double) {
    return E_NOTIMPL;
}

STDMETHODIMP CMediaSource::SeekAudio(LONG Stream, LONG, double Time) {
    HRESULT hr = CheckStream(Stream);
    if (FAILED(hr)) return hr;
    if (std::isnan(Time) || Time < 0.0) return E_INVALIDARG;
    std::lock_guard<std::recursive_mutex> g(lock_);
    if (!IsOpenLocked()) return E_UNEXPECTED;
    SeekMsLocked(Time);
    return S_OK;
}

STDMETHODIMP CMediaSource::SkipAudio(LONG Stream, LONG, double Duration) {
    HRESULT hr = CheckStream(Stream);
    if (FAILED(hr)) return hr;
    if (std::isnan(Duration)) return E_INVALIDARG;
    std::lock_guard<std::recursive_mutex> g(lock_);
    if (!IsOpenLocked()) return E_UNEXPECTED;
    SeekMsLocked(PositionMsLocked() + Duration);
    return S_OK;
}

STDMETHODIMP CMediaSource::ReadVideo(LONG, LONG, IUnknown** pVideoData) {
    return NoInterface(pVideoData, E_NOTIMPL);
}
STDMETHODIMP CMediaSource::ReadData(LONG, LONG, IUnknown** pDataData) {
    return NoInterface(pDataData, E_NOTIMPL);
}

STDMETHODIMP CMediaSource::ReadAudio(LONG Stream, LONG, double Duration, IUnknown** pAudioData) {
    if (!pAudioData) return E_POINTER;
    *pAudioData = nullptr;
    HRESULT hr = CheckStream(Stream);
    if (FAILED(hr)) return hr;
    std::lock_guard<std::recursive_mutex> g(lock_);
    if (!IsOpenLocked()) return E_UNEXPECTED;
    const AudioFormatValues f = FormatLocked();
    const int64_t total = TotalFramesLocked();
    if (position_ >= total) return S_OK;  // the end: no block
    double ms = (fixedBlocks_ || !(Duration > 0.0)) ? blockMs_ : std::min(Duration, kMaxReadMs);
    int64_t frames = std::max<int64_t>(1, FramesForMs(f.rate, ms));
    // A block's length is a LONG: many channels at a high rate get a shorter block.
    frames = std::min<int64_t>(frames, std::numeric_limits<LONG>::max() / f.BlockAlign());
    frames = std::min(frames, total - position_);
    return CallGuarded([&]() -> HRESULT {
        std::vector<BYTE> bytes(static_cast<size_t>(frames) * f.BlockAlign());
        int64_t got = 0;
        HRESULT r =
            ReadFramesLocked(position_, frames, reinterpret_cast<int16_t*>(bytes.data()), &got);
        if (FAILED(r)) return r;
        if (got <= 0) return S_OK;  // the file ended before its header said: no block
        bytes.resize(static_cast<size_t>(got) * f.BlockAlign());
        CAudioBlock* b = NewBlock(f);
        const int64_t first = position_;
        b->Assign(std::move(bytes), MsOfFrameLocked(first), MsOfFrameLocked(got));
        if (first == 0) b->MarkStart(-1);
        if (first + got >= total || got < frames) b->MarkEnd(-1);
        position_ = first + got;
        *pAudioData = b->Unknown();
        return S_OK;
    });
}

STDMETHODIMP CMediaSource::get_videoDuration(LONG, double* pVal) {
    return pVal ? E_NOTIMPL : E_POINTER;
}
STDMETHODIMP CMediaSource::get_dataDuration(LONG, double* pVal) {
    return pVal ? E_NOTIMPL : E_POINTER;
}
STDMETHODIMP CMediaSource::get_videoTime(LONG, double* pVal) {
    return pVal ? E_NOTIMPL : E_POINTER;
}
STDMETHODIMP CMediaSource::get_dataTime(LONG, double* pVal) {
    return pVal ? E_NOTIMPL : E_POINTER;
}

STDMETHODIMP CMediaSource::get_audioDuration(LONG Stream, double* pVal) {
    if (!pVal) return E_POINTER;
    HRESULT hr = CheckStream(Stream);
    if (FAILED(hr)) return hr;
    std::lock_guard<std::recursive_mutex> g(lock_);
    if (!IsOpenLocked()) return E_UNEXPECTED;
    *pVal = MsOfFrameLocked(TotalFramesLocked());
    return S_OK;
}

STDMETHODIMP CMediaSource::get_audioTime(LONG Stream, double* pVal) {
    if (!pVal) return E_POINTER;
    HRESULT hr = CheckStream(Stream);
    if (FAILED(hr)) return hr;
    std::lock_guard<std::recursive_mutex> g(lock_);
    if (!IsOpenLocked()) return E_UNEXPECTED;
    *pVal = MsOfFrameLocked(position_);
    return S_OK;
}

STDMETHODIMP CMediaSource::get_videoFormat(LONG, IUnknown** pVal) {
    return NoInterface(pVal, E_NOTIMPL);
}
STDMETHODIMP CMediaSource::put_videoFormat(LONG, IUnknown*) {
    return E_NOTIMPL;
}
STDMETHODIMP CMediaSource::get_dataFormat(LONG, IUnknown** pVal) {
    return NoInterface(pVal, E_NOTIMPL);
}
STDMETHODIMP CMediaSource::put_dataFormat(LONG, IUnknown*) {
    return E_NOTIMPL;
}

STDMETHODIMP CMediaSource::get_audioFormat(LONG Stream, IUnknown** pVal) {
    if (!pVal) return E_POINTER;
    *pVal = nullptr;
    HRESULT hr = CheckStream(Stream);
    if (FAILED(hr)) return hr;
    AudioFormatValues f;
    {
        std::lock_guard<std::recursive_mutex> g(lock_);
        if (!IsOpenLocked()) return E_UNEXPECTED;
        f = FormatLocked();
    }
    return CreateAudioFormat(f, pVal);
}

STDMETHODIMP CMediaSource::put_audioFormat(LONG Stream, IUnknown* newVal) {
    HRESULT hr = CheckStream(Stream);
    if (FAILED(hr)) return hr;
    if (!newVal) return E_POINTER;
    AudioFormatValues f;
    hr = ReadAudioFormat(newVal, &f);
    if (FAILED(hr)) return hr == E_INVALIDARG ? kFormatNotSupported : hr;
    std::lock_guard<std::recursive_mutex> g(lock_);
    if (!IsOpenLocked()) return E_UNEXPECTED;
    return CallGuarded([&]() { return PutFormatLocked(f); });
}

STDMETHODIMP CMediaSource::get_videoTransform(LONG, IUnknown** pVal) {
    return NoInterface(pVal, E_NOTIMPL);
}
STDMETHODIMP CMediaSource::get_audioTransform(LONG, IUnknown** pVal) {
    return NoInterface(pVal, E_NOTIMPL);
}
STDMETHODIMP CMediaSource::get_dataTransform(LONG, IUnknown** pVal) {
    return NoInterface(pVal, E_NOTIMPL);
}

STDMETHODIMP CMediaSource::SetParam(BSTR ParamName, VARIANT ParamValue) {
    OleStringView name = NameOf(ParamName);
    if (name.empty()) return E_INVALIDARG;
    return CallGuarded([&]() -> HRESULT {
        std::lock_guard<std::recursive_mutex> g(lock_);
        if (EqualIgnoringCase(name, OLESTR("BlockDuration"))) {
            double ms;
            if (!VariantNumber(ParamValue, &ms) || !(ms > 0.0) || !(ms <= kMaxReadMs))
                return E_INVALIDARG;
            blockMs_ = ms;
            return S_OK;
        }
        if (EqualIgnoringCase(name, OLESTR("FixedBlocks"))) {
            if (ParamValue.vt != VT_BOOL) return E_INVALIDARG;
            fixedBlocks_ = ParamValue.boolVal != VARIANT_FALSE;
            return S_OK;
        }
        HRESULT hr = SetPropertyLocked(name, ParamValue);
        if (hr != S_FALSE) return hr;
        OleString key = UpperCased(name);
        VARIANT copy;
        VariantInit(&copy);
        hr = VariantCopy(&copy, &ParamValue);
        if (FAILED(hr)) return hr;
        auto it = bag_.find(key);
        if (it != bag_.end()) {
            VariantClear(&it->second);
            it->second = copy;
        } else {
            try {
                bag_.emplace(std::move(key), copy);
            } catch (...) {
                VariantClear(&copy);
                throw;
            }
        }
        return S_OK;
    });
}

STDMETHODIMP CMediaSource::GetParam(BSTR ParamName, VARIANT* ParamValue) {
    if (!ParamValue) return E_POINTER;
    OleStringView name = NameOf(ParamName);
    if (name.empty()) return E_INVALIDARG;
    return CallGuarded([&]() -> HRESULT {
        std::lock_guard<std::recursive_mutex> g(lock_);
        VARIANT v;
        VariantInit(&v);
        if (EqualIgnoringCase(name, OLESTR("BlockDuration"))) {
            VariantDouble(blockMs_, &v);
        } else if (EqualIgnoringCase(name, OLESTR("FixedBlocks"))) {
            v.vt = VT_BOOL;
            v.boolVal = fixedBlocks_ ? VARIANT_TRUE : VARIANT_FALSE;
        } else {
            HRESULT hr = GetPropertyLocked(name, &v);
            if (FAILED(hr)) return hr;
            if (hr == S_FALSE) {
                auto it = bag_.find(UpperCased(name));
                if (it == bag_.end()) return E_INVALIDARG;
                hr = VariantCopy(&v, &it->second);
                if (FAILED(hr)) return hr;
            }
        }
        // The caller's VARIANT is written only once the answer is complete.
        VariantClear(ParamValue);
        *ParamValue = v;
        return S_OK;
    });
}

// ---- CWavFileSource ----

int64_t CWavFileSource::TotalOf(const SoundFileReader& reader) {
    return reader.LengthKnown() ? reader.Frames() : kUnknownLengthFrames;
}

HRESULT CWavFileSource::Open(const std::string& path, std::string* error) {
    std::unique_ptr<SoundFileReader> reader;
    HRESULT hr = SoundFileReader::Open(path, &reader, error);
    if (FAILED(hr)) return hr;
    AudioFormatValues f;
    f.channels = reader->Channels();
    f.rate = reader->Rate();
    f.layout = DefaultChannelLayout(f.channels);
    if (!f.Valid()) {
        if (error) {
            *error = "unsupported audio format: " + std::to_string(f.channels) + " channels at " +
                     std::to_string(f.rate) + " Hz";
        }
        return kFormatNotSupported;
    }
    return CallGuarded([&]() -> HRESULT {
        OleString name = Utf8ToOle(path);
        std::lock_guard<std::recursive_mutex> g(lock_);
        reader_ = std::move(reader);
        name_ = std::move(name);
        format_ = f;
        total_ = TotalOf(*reader_);
        declared_ = reader_->DeclaredFrames();
        filePos_ = 0;
        RewindLocked();
        return S_OK;
    });
}

HRESULT CWavFileSource::ReadFramesLocked(int64_t first, int64_t frames, int16_t* dst,
                                         int64_t* got) {
    *got = 0;
    if (first != filePos_ && !reader_->Seekable()) {
        // A bare failure would leave the user of a pipe guessing.
        ComPtr<ICreateErrorInfo> create;
        if (SUCCEEDED(CreateErrorInfo(create.Put())) && create) {
            OleString text = name_ + OLESTR(
                                         " cannot be repositioned: it is read as a stream (a "
                                         "pipe), once from start to end, and an effect that "
                                         "reads its input again needs a regular file: save "
                                         "the audio to a file and read that");
            create->SetGUID(IID_IMediaSource);
            create->SetDescription(&text[0]);
            if (ComPtr<IErrorInfo> info = create.As<IErrorInfo>()) SetErrorInfo(0, info.Get());
        }
        return E_FAIL;
    }
    if (first != filePos_) {
        HRESULT hr = reader_->Seek(first);
        if (FAILED(hr)) return hr;
        filePos_ = first;
    }
    HRESULT hr = reader_->Read(dst, frames, got);
    if (FAILED(hr)) {
        filePos_ = -1;  // unknown: seek before the next read
        return hr;
    }
    filePos_ += *got;
    // A file shorter than its header says ends where the data ends, and a stream of unknown
    // length once its end is met: the reader reads ahead, so the read that delivers the last
    // frames already says so.
    total_ = *got < frames ? first + *got : TotalOf(*reader_);
    return S_OK;
}

HRESULT CWavFileSource::SetPropertyLocked(OleStringView name, const VARIANT& value) {
    if (!EqualIgnoringCase(name, OLESTR("FileName"))) return S_FALSE;
    if (value.vt != VT_BSTR) return E_INVALIDARG;
    std::string path;
    if (!TryOleToUtf8(NameOf(value.bstrVal), &path) || path.empty()) return E_INVALIDARG;
    return Open(path);
}

HRESULT CWavFileSource::GetPropertyLocked(OleStringView name, VARIANT* value) {
    const bool file = EqualIgnoringCase(name, OLESTR("FileName"));
    const bool frames = EqualIgnoringCase(name, OLESTR("FrameCount"));
    const bool declared = EqualIgnoringCase(name, OLESTR("DeclaredFrameCount"));
    const bool failure = EqualIgnoringCase(name, OLESTR("DecodeFailure"));
    if (!file && !frames && !declared && !failure) return S_FALSE;
    if (!reader_) return E_UNEXPECTED;
    if (file) return VariantString(name_, value);
    if (failure) return VariantString(Utf8ToOle(reader_->DecodeFailure()), value);
    // Nothing for a length that nothing tells (yet).
    VariantInit(value);
    if (frames ? !reader_->LengthKnown() : declared_ < 0) return S_OK;
    value->vt = VT_I8;
    value->llVal = frames ? total_ : declared_;
    return S_OK;
}

HRESULT CWavFileSource::PutFormatLocked(const AudioFormatValues& format) {
    if (!format.SameStream(format_)) return kFormatNotSupported;
    format_.layout = format.layout;
    return S_OK;
}

// ---- CSignalSource ----

CSignalSource::CSignalSource(const SignalSettings& settings)
    : settings_(settings), layout_(DefaultChannelLayout(settings.channels)) {
    if (FAILED(ValidateSignalSettings(settings_))) {
        settings_ = SignalSettings();
        layout_ = DefaultChannelLayout(settings_.channels);
    }
}

AudioFormatValues CSignalSource::FormatLocked() const {
    AudioFormatValues f;
    f.channels = settings_.channels;
    f.rate = settings_.rate;
    f.layout = layout_;
    return f;
}

HRESULT CSignalSource::ApplySettingsLocked(const SignalSettings& settings, UINT64 layout) {
    HRESULT hr = ValidateSignalSettings(settings);
    if (FAILED(hr)) return hr;
    AudioFormatValues f;
    f.channels = settings.channels;
    f.rate = settings.rate;
    if (!f.Valid()) return E_INVALIDARG;
    const double ms = PositionMsLocked();
    settings_ = settings;
    layout_ = layout;
    SeekMsLocked(ms);
    return S_OK;
}

HRESULT CSignalSource::ReadFramesLocked(int64_t first, int64_t frames, int16_t* dst, int64_t* got) {
    GenerateSignal(settings_, first, frames, dst);
    *got = frames;
    return S_OK;
}

HRESULT CSignalSource::SetPropertyLocked(OleStringView name, const VARIANT& value) {
    SignalSettings s = settings_;
    double d;
    LONG l;
    if (EqualIgnoringCase(name, OLESTR("Signal"))) {
        if (value.vt != VT_BSTR) return E_INVALIDARG;
        std::string text;
        if (!TryOleToUtf8(NameOf(value.bstrVal), &text) || !ParseSignalKind(text, &s.kind)) {
            return E_INVALIDARG;
        }
    } else if (EqualIgnoringCase(name, OLESTR("SampleRate"))) {
        if (!VariantInteger(value, &l) || l < 1) return E_INVALIDARG;
        s.rate = static_cast<DWORD>(l);
    } else if (EqualIgnoringCase(name, OLESTR("Channels"))) {
        if (!VariantInteger(value, &l) || l < 1 || l > 32) return E_INVALIDARG;
        s.channels = static_cast<WORD>(l);
    } else if (EqualIgnoringCase(name, OLESTR("Seconds"))) {
        if (!VariantNumber(value, &d)) return E_INVALIDARG;
        s.seconds = d;
    } else if (EqualIgnoringCase(name, OLESTR("Frequency"))) {
        if (!VariantNumber(value, &d)) return E_INVALIDARG;
        s.frequency = d;
    } else if (EqualIgnoringCase(name, OLESTR("Amplitude"))) {
        if (!VariantNumber(value, &d)) return E_INVALIDARG;
        s.amplitude = d;
    } else {
        return S_FALSE;
    }
    UINT64 layout = s.channels == settings_.channels ? layout_ : DefaultChannelLayout(s.channels);
    return ApplySettingsLocked(s, layout);
}

HRESULT CSignalSource::GetPropertyLocked(OleStringView name, VARIANT* value) {
    static const char* const kKinds[] = {"tones", "sweep", "noise", "silence"};
    if (EqualIgnoringCase(name, OLESTR("Signal"))) {
        return VariantString(Utf8ToOle(kKinds[static_cast<int>(settings_.kind)]), value);
    }
    if (EqualIgnoringCase(name, OLESTR("SampleRate")))
        VariantLong(static_cast<LONG>(settings_.rate), value);
    else if (EqualIgnoringCase(name, OLESTR("Channels")))
        VariantLong(settings_.channels, value);
    else if (EqualIgnoringCase(name, OLESTR("Seconds")))
        VariantDouble(settings_.seconds, value);
    else if (EqualIgnoringCase(name, OLESTR("Frequency")))
        VariantDouble(settings_.frequency, value);
    else if (EqualIgnoringCase(name, OLESTR("Amplitude")))
        VariantDouble(settings_.amplitude, value);
    else
        return S_FALSE;
    return S_OK;
}

HRESULT CSignalSource::PutFormatLocked(const AudioFormatValues& format) {
    SignalSettings s = settings_;
    s.rate = format.rate;
    s.channels = format.channels;
    return ApplySettingsLocked(s, format.layout);
}

// ---- creation ----

HRESULT OpenWavFileSource(const std::string& path, IMediaSource** out, std::string* error) {
    if (!out) return E_POINTER;
    *out = nullptr;
    return CallGuarded([&]() -> HRESULT {
        auto* src = new CWavFileSource();
        HRESULT hr = src->Open(path, error);
        if (SUCCEEDED(hr))
            hr = src->QueryInterface(IID_IMediaSource, reinterpret_cast<void**>(out));
        src->Release();
        return hr;
    });
}

HRESULT CreateSignalSource(const SignalSettings& settings, IMediaSource** out) {
    if (!out) return E_POINTER;
    *out = nullptr;
    if (FAILED(ValidateSignalSettings(settings))) return E_INVALIDARG;
    return CreateObject<CSignalSource>(out, settings);
}

}  // namespace corvane::host
