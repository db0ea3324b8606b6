#include "host/wav_export.h"

#include "host/audio_format.h"
#include "host/sound_file.h"
#include "platform/com_ptr.h"

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

// The block's format; fails for a block without a usable format.
HRESULT BlockFormat(IAudioData* data, AudioFormatValues* format) {
    ComPtr<IUnknown> f;
    HRESULT hr = data->GetFormat(&f);
    if (SUCCEEDED(hr) && !f) hr = E_UNEXPECTED;
    if (SUCCEEDED(hr)) hr = ReadAudioFormat(f.Get(), format);
    return hr;
}

// One export: the file (made at the first block, in its format), and what tells whether the
// chain still makes progress.
class WavExport {
public:
    WavExport(IMediaSource* source, IMediaSource* input, const std::string& path, double blockMs,
              ExportResult* result, const WavOpener& open)
        : source_(source),
          input_(input ? input : source),
          path_(path),
          open_(open),
          blockMs_(blockMs),
          result_(result),
          inputAt_(PositionOf(input_)),
          sourceAt_(PositionOf(source_)) {}

    HRESULT Run() {
        for (;;) {
            ComPtr<IUnknown> block;
            HRESULT hr = source_->ReadAudio(-1, 0, blockMs_, &block);
            if (FAILED(hr)) {
                result_->readFailed = true;
                return Fail(hr, "reading the source failed");
            }
            if (!block) break;
            int64_t frames = 0;
            if (FAILED(hr = WriteBlock(block.Get(), &frames))) return hr;
            if (FAILED(hr = CheckProgress(frames))) return hr;
        }
        HRESULT hr = writer_ ? S_OK : CreateEmpty();
        if (FAILED(hr)) return hr;
        hr = writer_->Close(&why_);
        if (FAILED(hr)) return Fail(hr, "finishing " + path_ + " failed", why_);
        return S_OK;
    }

private:
    HRESULT Fail(HRESULT hr, const std::string& what, const std::string& reason = {}) {
        result_->error = what;
        result_->reason = reason;
        return hr;
    }

    HRESULT Create(const AudioFormatValues& f, WavContainer container) {
        HRESULT hr = open_
                         ? open_(f.rate, f.channels, container, &writer_, &why_)
                         : WavWriter::Create(path_, f.rate, f.channels, container, &writer_, &why_);
        if (FAILED(hr)) return Fail(hr, "cannot create " + path_, why_);
        fileFormat_ = f;
        result_->rate = f.rate;
        result_->channels = f.channels;
        return hr;
    }

    // Appends the block's whole frames, creating the file at the first one; *frames says how
    // many.
    HRESULT WriteBlock(IUnknown* block, int64_t* frames) {
        const ComPtr<IAudioData> data = QueryAs<IAudioData>(block);
        AudioFormatValues f;
        HRESULT hr = data ? BlockFormat(data.Get(), &f) : E_NOINTERFACE;
        if (FAILED(hr)) return Fail(hr, "the source delivered a block without a 16-bit PCM format");
        BYTE* bytes = nullptr;
        LONG length = 0;
        hr = data->GetBufferAndLength(kBufferRead, 0, &bytes, &length);
        if (SUCCEEDED(hr) && (length < 0 || (length > 0 && !bytes))) hr = E_UNEXPECTED;
        if (SUCCEEDED(hr) && length % f.BlockAlign() != 0) hr = E_UNEXPECTED;
        if (FAILED(hr)) return Fail(hr, "the source delivered a block that is not whole frames");
        if (!writer_) {
            // What the rest of the stream will take, the block in hand included.
            int64_t expected = ExpectedBytes(source_, f);
            if (expected >= 0) expected += length;
            if (FAILED(hr = Create(f, ContainerForData(expected)))) return hr;
        } else if (!f.SameStream(fileFormat_)) {
            return Fail(kFormatNotSupported,
                        "the source changed its format in the middle of the stream");
        }
        *frames = length / f.BlockAlign();
        hr = writer_->Write(reinterpret_cast<const int16_t*>(bytes), *frames, &why_);
        if (FAILED(hr)) return Fail(hr, "writing " + path_ + " failed", why_);
        result_->frames += *frames;
        return S_OK;
    }

    // Fails once reads that together asked for more than kStallMs have delivered nothing while
    // neither position moved.
    HRESULT CheckProgress(int64_t frames) {
        const double inputNow = PositionOf(input_), sourceNow = PositionOf(source_);
        const bool moved = frames > 0 || inputNow != inputAt_ || sourceNow != sourceAt_;
        inputAt_ = inputNow;
        sourceAt_ = sourceNow;
        if (moved) {
            stalledMs_ = 0.0;
            stalledReads_ = 0;
            return S_OK;
        }
        stalledMs_ += blockMs_;
        ++stalledReads_;
        if (stalledMs_ > kStallMs && stalledReads_ > 1) {
            return Fail(E_UNEXPECTED, "the chain makes no progress",
                        "it delivers no audio, no longer reads its input and stands still");
        }
        return S_OK;
    }

    // No block at all: an empty file in the source's own format.
    HRESULT CreateEmpty() {
        ComPtr<IUnknown> fmt;
        HRESULT hr = source_->get_audioFormat(-1, &fmt);
        if (SUCCEEDED(hr) && !fmt) hr = E_UNEXPECTED;
        if (SUCCEEDED(hr)) hr = ReadAudioFormat(fmt.Get(), &fileFormat_);
        if (FAILED(hr)) return Fail(hr, "the source has no 16-bit PCM audio format");
        return Create(fileFormat_, WavContainer::Wav);
    }

    IMediaSource* const source_;
    IMediaSource* const input_;
    const std::string& path_;
    const WavOpener& open_;
    const double blockMs_;
    ExportResult* const result_;
    std::unique_ptr<WavWriter> writer_;
    AudioFormatValues fileFormat_;
    std::string why_;  // the writer's words for its last failure
    double inputAt_, sourceAt_;
    double stalledMs_ = 0.0;  // asked for since the chain last showed progress
    int stalledReads_ = 0;
};

}  // namespace

HRESULT ExportToWav(IMediaSource* source, const std::string& path, double blockMs,
                    ExportResult* result, IMediaSource* input, const WavOpener& open) {
    if (!source || !result) return E_POINTER;
    *result = ExportResult();
    if (!(blockMs > 0.0)) return E_INVALIDARG;
    return WavExport(source, input, path, blockMs, result, open).Run();
}

}  // namespace corvane::host
