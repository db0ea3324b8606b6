#include "host/wav_export.h"

#include "host/audio_format.h"
#include "host/sound_file.h"

#include <cstdio>
#include <memory>

namespace corvane::host {

namespace {

// A source that answers this many empty blocks in a row will not reach its end.
constexpr int kMaxEmptyBlocks = 16;

std::string Hex(HRESULT hr) {
    char buf[16];
    std::snprintf(buf, sizeof(buf), "0x%08X", static_cast<unsigned>(hr));
    return buf;
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
                    ExportResult* result) {
    if (!source || !result) return E_POINTER;
    *result = ExportResult();
    if (!(blockMs > 0.0)) return E_INVALIDARG;
    auto fail = [&](HRESULT hr, const std::string& why) {
        result->error = why + " (" + Hex(hr) + ")";
        return hr;
    };

    std::unique_ptr<WavWriter> writer;
    AudioFormatValues fileFormat;
    int empty = 0;
    for (;;) {
        IUnknown* block = nullptr;
        HRESULT hr = source->ReadAudio(-1, 0, blockMs, &block);
        if (FAILED(hr)) {
            if (block) block->Release();
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
            hr = WavWriter::Create(path, f.rate, f.channels, &writer, &result->error);
            if (FAILED(hr)) {
                data->Release();
                return fail(hr, "cannot create " + path +
                                    (result->error.empty() ? "" : ": " + result->error));
            }
            fileFormat = f;
            result->rate = f.rate;
            result->channels = f.channels;
        } else if (!f.SameStream(fileFormat)) {
            data->Release();
            return fail(kFormatNotSupported,
                        "the source changed its format in the middle of the stream");
        }
        const int64_t frames = length / f.BlockAlign();
        hr = writer->Write(reinterpret_cast<const int16_t*>(bytes), frames);
        data->Release();
        if (FAILED(hr)) return fail(hr, "writing " + path + " failed");
        result->frames += frames;
        empty = frames == 0 ? empty + 1 : 0;
        if (empty > kMaxEmptyBlocks)
            return fail(E_UNEXPECTED, "the source keeps delivering empty blocks");
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
        hr = WavWriter::Create(path, fileFormat.rate, fileFormat.channels, &writer, &result->error);
        if (FAILED(hr)) return fail(hr, "cannot create " + path);
        result->rate = fileFormat.rate;
        result->channels = fileFormat.channels;
    }
    std::string why;
    HRESULT hr = writer->Close(&why);
    if (FAILED(hr)) return fail(hr, "finishing " + path + " failed: " + why);
    return S_OK;
}

}  // namespace corvane::host
