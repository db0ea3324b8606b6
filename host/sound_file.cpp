#include "host/sound_file.h"

#include <sndfile.h>

#include <cerrno>
#include <sys/stat.h>

namespace corvane::host {

namespace {

SNDFILE* Sf(void* p) {
    return static_cast<SNDFILE*>(p);
}

void SetError(std::string* error, const std::string& text) {
    if (error) *error = text;
}

}  // namespace

HRESULT SoundFileReader::Open(const std::string& path, std::unique_ptr<SoundFileReader>* out,
                              std::string* error) {
    if (!out) return E_POINTER;
    out->reset();
    struct stat st;
    if (::stat(path.c_str(), &st) != 0) {
        SetError(error, path + ": no such file");
        return HRESULT_FROM_WIN32(errno == ENOENT ? ERROR_FILE_NOT_FOUND : ERROR_ACCESS_DENIED);
    }
    SF_INFO info{};
    SNDFILE* f = sf_open(path.c_str(), SFM_READ, &info);
    if (!f) {
        SetError(error, path + ": " + sf_strerror(nullptr));
        return E_FAIL;
    }
    if (info.channels < 1 || info.channels > 0xFFFF || info.samplerate < 1 || info.frames < 0) {
        sf_close(f);
        SetError(error, path + ": unsupported channel count or rate");
        return E_FAIL;
    }
    std::unique_ptr<SoundFileReader> r(new SoundFileReader());
    r->file_ = f;
    r->rate_ = static_cast<DWORD>(info.samplerate);
    r->channels_ = static_cast<WORD>(info.channels);
    r->frames_ = info.frames;
    *out = std::move(r);
    return S_OK;
}

SoundFileReader::~SoundFileReader() {
    if (file_) sf_close(Sf(file_));
}

HRESULT SoundFileReader::Seek(int64_t frame) {
    if (frame < 0 || frame > frames_) return E_INVALIDARG;
    return sf_seek(Sf(file_), frame, SEEK_SET) == frame ? S_OK : E_FAIL;
}

HRESULT SoundFileReader::Read(int16_t* dst, int64_t frames, int64_t* got) {
    *got = 0;
    if (frames < 0) return E_INVALIDARG;
    if (frames == 0) return S_OK;
    sf_count_t n = sf_readf_short(Sf(file_), dst, frames);
    if (n < 0 || (n < frames && sf_error(Sf(file_)) != SF_ERR_NO_ERROR)) return E_FAIL;
    *got = n;
    return S_OK;
}

HRESULT WavWriter::Create(const std::string& path, DWORD rate, WORD channels,
                          std::unique_ptr<WavWriter>* out, std::string* error) {
    if (!out) return E_POINTER;
    out->reset();
    if (rate < 1 || rate > 0x7FFFFFFF || channels < 1) return E_INVALIDARG;
    SF_INFO info{};
    info.samplerate = static_cast<int>(rate);
    info.channels = channels;
    info.format = SF_FORMAT_WAV | SF_FORMAT_PCM_16;
    if (!sf_format_check(&info)) return E_INVALIDARG;
    SNDFILE* f = sf_open(path.c_str(), SFM_WRITE, &info);
    if (!f) {
        SetError(error, path + ": " + sf_strerror(nullptr));
        return E_FAIL;
    }
    std::unique_ptr<WavWriter> w(new WavWriter());
    w->file_ = f;
    w->channels_ = channels;
    *out = std::move(w);
    return S_OK;
}

WavWriter::~WavWriter() {
    if (file_) sf_close(Sf(file_));
}

HRESULT WavWriter::Write(const int16_t* src, int64_t frames) {
    if (!file_) return E_UNEXPECTED;
    if (frames < 0 || (frames > 0 && !src)) return E_INVALIDARG;
    if (frames == 0) return S_OK;
    sf_count_t n = sf_writef_short(Sf(file_), src, frames);
    if (n > 0) written_ += n;
    return n == frames ? S_OK : E_FAIL;
}

HRESULT WavWriter::Close(std::string* error) {
    if (!file_) return E_UNEXPECTED;
    // sf_close rewrites the header; a full disk shows here, and the flush reports it earlier.
    sf_write_sync(Sf(file_));
    int err = sf_error(Sf(file_));
    int rc = sf_close(Sf(file_));
    file_ = nullptr;
    if (err != SF_ERR_NO_ERROR || rc != 0) {
        SetError(error, sf_error_number(err != SF_ERR_NO_ERROR ? err : rc));
        return E_FAIL;
    }
    return S_OK;
}

}  // namespace corvane::host
