#include "host/wav_export.h"

#include "host/audio_format.h"
#include "host/sound_file.h"

#include <algorithm>
#include <memory>

namespace corvane::host {

namespace {

// How much audio a chain may be asked for without delivering a frame, reading its input or
// moving its position before it counts as stuck. A working chain reads its input at least every
// few hundred milliseconds of requests (the host's buffering helper reads 100 ms at a time); an
// effect that holds its output back for minutes still reads its input meanwhile.
constexpr double kStallMs = 10000.0;

// The source's position in ms; -1 when it does not answer (which counts as standing still).
double PositionOf(IMediaSource* source) {
    double t = -1.0;
    if (FAILED(source->get_audioTime(-1, &t)) || !(t >= 0.0)) return -1.0;
    return t;
}

// Bytes the rest of the source's stream will take at that frame size; -1 when it cannot say.
int64_t ExpectedBytes(IMediaSource* source, const AudioFormatValues& f) {
    double duration = 0.0;
    const double position = PositionOf(source);
    if (FAILED(source->get_audioDuration(-1, &duration)) || !(duration >= 0.0) || position < 0.0)
        return -1;
    const double bytes = (duration - position) * f.rate / 1000.0 * f.BlockAlign();
    return bytes < 9e18 ? static_cast<int64_t>(std::max(0.0, bytes)) : -1;
}

// The block's interface and format; fails for a block without IAudioData or a usable format.
HRESULT InspectBlock(IUnknown* block, IAudioData** data, AudioFormatValues* format) {
    HRESULT hr = block->QueryInterface(IID_IAudioData, reinterpret_cast<void**>(data));
    if (FAILED(hr) || !*data) return E_NOINTERFACE;
    IUnknown* f = nullptr;
    hr = (*data)->GetFormat(&f);
    if (SUCCEEDED(hr) && !f) hr = E_UNEXPECTED;
    if (SUCCEEDED(hr)) {
        hr = ReadAudioFormat(f, format);
        f->Release();
    }
    if (FAILED(hr)) {
        (*data)->Release();
        *data = nullptr;
    }
    return hr;
}

}  // namespace

HRESULT ExportToWav(IMediaSource* source, const std::string& path, double blockMs,
                    ExportResult* result, IMediaSource* input) {
    if (!source || !result) return E_POINTER;
    *result = ExportResult();
    if (!(blockMs > 0.0)) return E_INVALIDARG;
    auto fail = [&](HRESULT hr, const std::string& what, const std::string& reason = {}) {
        result->error = what;
        result->reason = reason;
        return hr;
    };
    if (!input) input = source;

    std::unique_ptr<WavWriter> writer;
    AudioFormatValues fileFormat;
    std::string why;
    auto create = [&](const AudioFormatValues& f, WavContainer container) {
        HRESULT hr = WavWriter::Create(path, f.rate, f.channels, container, &writer, &why);
        if (FAILED(hr)) return fail(hr, "cannot create " + path, why);
        fileFormat = f;
        result->rate = f.rate;
        result->channels = f.channels;
        return hr;
    };
    double inputAt = PositionOf(input), sourceAt = PositionOf(source);
    double stalledMs = 0.0;  // asked for since the chain last showed progress
    int stalledReads = 0;
    for (;;) {
        IUnknown* block = nullptr;
        HRESULT hr = source->ReadAudio(-1, 0, blockMs, &block);
        if (FAILED(hr)) {
            if (block) block->Release();
            result->readFailed = true;
            return fail(hr, "reading the source failed");
        }
        if (!block) break;
        IAudioData* data = nullptr;
        AudioFormatValues f;
        hr = InspectBlock(block, &data, &f);
        block->Release();
        if (FAILED(hr)) return fail(hr, "the source delivered a block without a 16-bit PCM format");
        BYTE* bytes = nullptr;
        LONG length = 0;
        hr = data->GetBufferAndLength(kBufferRead, 0, &bytes, &length);
        if (SUCCEEDED(hr) && (length < 0 || (length > 0 && !bytes))) hr = E_UNEXPECTED;
        if (SUCCEEDED(hr) && length % f.BlockAlign() != 0) hr = E_UNEXPECTED;
        if (FAILED(hr)) {
            data->Release();
            return fail(hr, "the source delivered a block that is not whole frames");
        }
        if (!writer) {
            // What the rest of the stream will take, the block in hand included.
            int64_t expected = ExpectedBytes(source, f);
            if (expected >= 0) expected += length;
            hr = create(f, ContainerForData(expected));
            if (FAILED(hr)) {
                data->Release();
                return hr;
            }
        } else if (!f.SameStream(fileFormat)) {
            data->Release();
            return fail(kFormatNotSupported,
                        "the source changed its format in the middle of the stream");
        }
        const int64_t frames = length / f.BlockAlign();
        hr = writer->Write(reinterpret_cast<const int16_t*>(bytes), frames, &why);
        data->Release();
        if (FAILED(hr)) return fail(hr, "writing " + path + " failed", why);
        result->frames += frames;
        const double inputNow = PositionOf(input), sourceNow = PositionOf(source);
        if (frames > 0 || inputNow != inputAt || sourceNow != sourceAt) {
            stalledMs = 0.0;
            stalledReads = 0;
        } else if (stalledMs += blockMs, ++stalledReads, stalledMs > kStallMs && stalledReads > 1) {
            return fail(E_UNEXPECTED, "the chain makes no progress",
                        "it delivers no audio, no longer reads its input and stands still");
        }
        inputAt = inputNow;
        sourceAt = sourceNow;
    }

    if (!writer) {
        // No block at all: an empty file in the source's own format.
        IUnknown* fmt = nullptr;
        HRESULT hr = source->get_audioFormat(-1, &fmt);
        if (SUCCEEDED(hr) && !fmt) hr = E_UNEXPECTED;
        if (SUCCEEDED(hr)) {
            hr = ReadAudioFormat(fmt, &fileFormat);
            fmt->Release();
        }
        if (FAILED(hr)) return fail(hr, "the source has no 16-bit PCM audio format");
        hr = create(fileFormat, WavContainer::Wav);
        if (FAILED(hr)) return hr;
    }
    HRESULT hr = writer->Close(&why);
    if (FAILED(hr)) return fail(hr, "finishing " + path + " failed", why);
    return S_OK;
}

}  // namespace corvane::host
