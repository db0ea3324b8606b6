#include "host/sound_file.h"

#include <sndfile.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <mutex>
#include <optional>
#include <sys/stat.h>
#include <unistd.h>

// Flags where the C library has them: Windows' knows no O_CLOEXEC (its handles are not inherited
// unless asked), and only Windows' reads text unless told O_BINARY.
#ifndef O_CLOEXEC
#define O_CLOEXEC 0
#endif
#ifndef O_BINARY
#define O_BINARY 0
#endif

namespace corvane::host {

namespace {

SNDFILE* Sf(void* p) {
    return static_cast<SNDFILE*>(p);
}

void SetError(std::string* error, const std::string& text) {
    if (error) *error = text;
}

// libsndfile's message without its trailing full stop.
std::string SfText(SNDFILE* f) {
    std::string s = sf_strerror(f);
    if (!s.empty() && s.back() == '.') s.pop_back();
    return s;
}

// The MPEG decoder behind libsndfile writes notes about damaged streams to stderr, which would
// reach the user of a host program between its own messages. While one of these lives, stderr
// goes to /dev/null. The redirection is process-wide: it is taken under one lock and only
// around the library calls that can decode.
class QuietStderr {
public:
    QuietStderr() : lock_(Mutex()) {
        std::fflush(stderr);
#ifdef F_DUPFD_CLOEXEC
        saved_ = fcntl(STDERR_FILENO, F_DUPFD_CLOEXEC, 0);
        const int null = ::open("/dev/null", O_WRONLY | O_CLOEXEC);
#else
        saved_ = dup(STDERR_FILENO);
        const int null = ::open("NUL", O_WRONLY);
#endif
        if (saved_ >= 0 && null >= 0) dup2(null, STDERR_FILENO);
        if (null >= 0) ::close(null);
    }
    ~QuietStderr() {
        std::fflush(stderr);
        if (saved_ < 0) return;
        dup2(saved_, STDERR_FILENO);
        ::close(saved_);
    }
    QuietStderr(const QuietStderr&) = delete;
    QuietStderr& operator=(const QuietStderr&) = delete;

private:
    static std::mutex& Mutex() {
        static std::mutex m;
        return m;
    }
    std::lock_guard<std::mutex> lock_;
    int saved_ = -1;
};

// Opens path (UTF-8) as a descriptor of the C library; Windows' narrow call would read the name
// in the system's code page, so there the wide one opens it. -1 with errno on failure.
int OpenDescriptor(const std::string& path, int flags, int mode) {
#if defined(_WIN32)
    OleString name;
    if (!TryUtf8ToOle(path, &name)) {
        errno = ENOENT;
        return -1;
    }
    return ::_wopen(name.c_str(), flags, mode);
#else
    return ::open(path.c_str(), flags, mode);
#endif
}

// libsndfile works on the descriptor but leaves it to its owner (SF_FALSE): on Windows it would
// close only the system handle behind it and leave the C library's descriptor taken.
SNDFILE* OpenOnDescriptor(int fd, int mode, SF_INFO* info) {
    SNDFILE* f = sf_open_fd(fd, mode, info, SF_FALSE);
    if (!f) ::close(fd);
    return f;
}

bool IsMpeg(int format) {
    const int sub = format & SF_FORMAT_SUBMASK;
    return (format & SF_FORMAT_TYPEMASK) == SF_FORMAT_MPEG || sub == SF_FORMAT_MPEG_LAYER_I ||
           sub == SF_FORMAT_MPEG_LAYER_II || sub == SF_FORMAT_MPEG_LAYER_III;
}

// Bytes of one sample of the encodings whose data size gives the frame count; 0 for others.
int BytesPerSample(int format) {
    switch (format & SF_FORMAT_SUBMASK) {
        case SF_FORMAT_PCM_S8:
        case SF_FORMAT_PCM_U8:
        case SF_FORMAT_ULAW:
        case SF_FORMAT_ALAW:
            return 1;
        case SF_FORMAT_PCM_16:
            return 2;
        case SF_FORMAT_PCM_24:
            return 3;
        case SF_FORMAT_PCM_32:
        case SF_FORMAT_FLOAT:
            return 4;
        case SF_FORMAT_DOUBLE:
            return 8;
        default:
            return 0;
    }
}

// The size of the data chunk of a WAV or AIFF file and the frames it declares; false when the
// container or encoding does not tell the frames by it.
bool DataChunk(SNDFILE* f, const SF_INFO& info, uint64_t* size, int64_t* frames) {
    const int type = info.format & SF_FORMAT_TYPEMASK;
    const char* id = nullptr;
    uint64_t skip = 0;
    if (type == SF_FORMAT_WAV || type == SF_FORMAT_WAVEX) {
        id = "data";
    } else if (type == SF_FORMAT_AIFF) {
        id = "SSND";
        skip = 8;  // offset and block size come before the samples
    }
    const int bytes = BytesPerSample(info.format);
    if (!id || bytes == 0) return false;
    SF_CHUNK_INFO chunk;
    std::memset(&chunk, 0, sizeof chunk);
    std::snprintf(chunk.id, sizeof chunk.id, "%s", id);
    chunk.id_size = 4;
    SF_CHUNK_ITERATOR* it = sf_get_chunk_iterator(f, &chunk);
    if (!it || sf_get_chunk_size(it, &chunk) != SF_ERR_NO_ERROR || chunk.datalen < skip)
        return false;
    *size = chunk.datalen;
    *frames = static_cast<int64_t>((*size - skip) / (static_cast<uint64_t>(bytes) * info.channels));
    return true;
}

// The placeholder size of a stream written without knowing its end: "up to the end".
constexpr uint64_t kUnknownSize = 0xFFFFFFFFull;

// Why libsndfile refused a file that exists and is a regular file, in words that do not
// contradict that: two of its messages do.
std::string RefusalReason(const std::string& text) {
    if (text.find("does not exist or is not a regular file") != std::string::npos)
        return "its audio data cannot be decoded";
    if (text.find("SF_INFO struct incomplete") != std::string::npos)
        return "the header gives no sample rate or no channels";
    return text;
}

// One double at libsndfile's full scale of 1.0 as a 16-bit sample: scaled, rounded to the
// nearest value (ties to even), clipped; NaN becomes silence.
int16_t ToPcm16(double x) {
    const double v = x * 32768.0;
    if (!(v > -32768.0)) return v <= -32768.0 ? -32768 : 0;
    if (v >= 32767.0) return 32767;
    return static_cast<int16_t>(std::nearbyint(v));
}

// Frames converted per libsndfile call: bounds the scratch buffer of a long read.
constexpr int64_t kPieceFrames = 8192;

// The header of a 16-bit PCM WAV stream whose length is not known when it starts: the RIFF and
// data sizes are all ones. The rest is what libsndfile writes for a WAV file of that format.
std::vector<unsigned char> StreamHeader(DWORD rate, WORD channels) {
    std::vector<unsigned char> h;
    const auto tag = [&h](const char* four) { h.insert(h.end(), four, four + 4); };
    const auto put = [&h](uint32_t v, int bytes) {
        for (int i = 0; i < bytes; ++i) h.push_back(static_cast<unsigned char>(v >> (8 * i)));
    };
    constexpr uint32_t kUnknown = 0xFFFFFFFFu;
    const uint32_t frameBytes = 2u * channels;
    tag("RIFF");
    put(kUnknown, 4);
    tag("WAVE");
    tag("fmt ");
    put(16, 4);
    put(1, 2);  // integer PCM
    put(channels, 2);
    put(rate, 4);
    put(rate * frameBytes, 4);
    put(frameBytes, 2);
    put(16, 2);
    tag("data");
    put(kUnknown, 4);
    return h;
}

// libsndfile's description of a 16-bit PCM file of that shape; false for one it cannot write.
bool WavInfo(DWORD rate, WORD channels, WavContainer container, SF_INFO* info) {
    if (rate < 1 || rate > 0x7FFFFFFF || channels < 1) return false;
    info->samplerate = static_cast<int>(rate);
    info->channels = channels;
    info->format =
        (container == WavContainer::Rf64 ? SF_FORMAT_RF64 : SF_FORMAT_WAV) | SF_FORMAT_PCM_16;
    return sf_format_check(info) != 0;
}

}  // namespace

bool WriteAll(int fd, const unsigned char* bytes, size_t size) {
    while (size > 0) {
        const auto n = ::write(fd, bytes, static_cast<unsigned>(std::min<size_t>(size, 1u << 20)));
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) {
            if (n == 0) errno = EIO;
            return false;
        }
        bytes += n;
        size -= static_cast<size_t>(n);
    }
    return true;
}

HRESULT HresultFromErrno(int e) {
    switch (e) {
        case ENOENT:
            return HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND);
        case ENOTDIR:
            return HRESULT_FROM_WIN32(ERROR_PATH_NOT_FOUND);
        case EACCES:
        case EPERM:
        case EROFS:
            return E_ACCESSDENIED;
        case EISDIR:
            return HRESULT_FROM_WIN32(ERROR_DIRECTORY);
        case EFBIG:
            return HRESULT_FROM_WIN32(ERROR_FILE_TOO_LARGE);
        case ENOSPC:
#ifdef EDQUOT
        case EDQUOT:
#endif
            return HRESULT_FROM_WIN32(ERROR_DISK_FULL);
        case ENOMEM:
            return E_OUTOFMEMORY;
        case EIO:
            return HRESULT_FROM_WIN32(ERROR_WRITE_FAULT);
        default:
            return E_FAIL;
    }
}

HRESULT SoundFileReader::Open(const std::string& path, std::unique_ptr<SoundFileReader>* out,
                              std::string* error) {
    if (!out) return E_POINTER;
    out->reset();
    // Opened here rather than by libsndfile, so that a failure keeps the system's own reason.
    const int fd = OpenDescriptor(path, O_RDONLY | O_BINARY | O_CLOEXEC, 0);
    if (fd < 0) {
        int e = errno;
        // Windows refuses to open a folder as a file with "access denied": say what it is.
        struct stat st;
        if (e == EACCES && stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode)) e = EISDIR;
        SetError(error, std::strerror(e));
        return HresultFromErrno(e);
    }
    struct stat st;
    if (fstat(fd, &st) == 0 && S_ISDIR(st.st_mode)) {
        ::close(fd);
        SetError(error, std::strerror(EISDIR));
        return HresultFromErrno(EISDIR);
    }
    SF_INFO info{};
    SNDFILE* f = nullptr;
    {
        QuietStderr quiet;
        f = OpenOnDescriptor(fd, SFM_READ, &info);
    }
    if (!f) {
        SetError(error, "unsupported or damaged audio file: " + RefusalReason(SfText(nullptr)));
        return E_FAIL;
    }
    if (info.channels < 1 || info.channels > 0xFFFF || info.samplerate < 1 || info.frames < 0) {
        sf_close(f);
        ::close(fd);
        SetError(error, "unsupported or damaged audio file: unsupported channel count or rate");
        return E_FAIL;
    }
    std::unique_ptr<SoundFileReader> r(new SoundFileReader());
    r->file_ = f;
    r->fd_ = fd;
    r->rate_ = static_cast<DWORD>(info.samplerate);
    r->channels_ = static_cast<WORD>(info.channels);
    r->frames_ = r->declared_ = r->sfFrames_ = info.frames;
    r->decoderMayTalk_ = IsMpeg(info.format);
    r->pcm16_ = (info.format & SF_FORMAT_SUBMASK) == SF_FORMAT_PCM_16;
    r->seekable_ = info.seekable != 0 && ::lseek(fd, 0, SEEK_CUR) >= 0;
    uint64_t size = 0;
    int64_t declared = 0;
    const bool wav = (info.format & SF_FORMAT_TYPEMASK) != SF_FORMAT_AIFF;
    if (DataChunk(f, info, &size, &declared)) {
        if (size != 0 && size != kUnknownSize) {
            r->declared_ = std::max(r->declared_, declared);
        } else if (wav && !r->seekable_) {
            // A placeholder: a regular file holds what libsndfile finds in it, a stream whatever
            // comes until it ends.
            r->lengthKnown_ = false;
            r->frames_ = 0;
            r->declared_ = -1;
        }
    }
    // libsndfile counts the frames of the all-ones size and reads no further: past them the
    // samples are read on as raw data of the same encoding.
    if (!r->lengthKnown_ && size == kUnknownSize) {
        const bool big = (info.format & SF_FORMAT_ENDMASK) == SF_ENDIAN_BIG;
        r->rawFormat_ = SF_FORMAT_RAW | (info.format & SF_FORMAT_SUBMASK) |
                        (big ? SF_ENDIAN_BIG : SF_ENDIAN_LITTLE);
    }
    *out = std::move(r);
    return S_OK;
}

SoundFileReader::~SoundFileReader() {
    if (file_) sf_close(Sf(file_));
    if (fd_ >= 0) ::close(fd_);
}

HRESULT SoundFileReader::Seek(int64_t frame) {
    if (frame < 0 || frame > frames_) return E_INVALIDARG;
    std::optional<QuietStderr> quiet;
    if (decoderMayTalk_) quiet.emplace();
    ahead_.clear();
    ended_ = false;
    if (sf_seek(Sf(file_), frame, SEEK_SET) != frame) return E_FAIL;
    position_ = sfPosition_ = frame;
    return S_OK;
}

HRESULT SoundFileReader::Read(int16_t* dst, int64_t frames, int64_t* got) {
    *got = 0;
    if (frames < 0) return E_INVALIDARG;
    if (frames == 0) return S_OK;
    std::optional<QuietStderr> quiet;
    if (decoderMayTalk_) quiet.emplace();
    if (!ahead_.empty()) {
        std::copy(ahead_.begin(), ahead_.end(), dst);
        ahead_.clear();
        *got = 1;
    }
    if (*got < frames && !ended_) {
        const int64_t want = frames - *got;
        const int64_t n = Fill(dst + static_cast<size_t>(*got) * channels_, want);
        *got += n;
        ended_ = n < want;
    }
    position_ += *got;
    // One frame ahead while the end is not where libsndfile's count says, or not known at all:
    // a stream, or a file cut while it is read, can end sooner.
    if (!ended_ && (!lengthKnown_ || position_ < frames_)) {
        ahead_.resize(channels_);
        ended_ = Fill(ahead_.data(), 1) == 0;
        if (ended_) ahead_.clear();
    }
    if (ended_ && ahead_.empty()) {
        frames_ = position_;
        lengthKnown_ = true;
    } else if (!lengthKnown_) {
        frames_ = position_;
    }
    return S_OK;
}

int64_t SoundFileReader::Fill(int16_t* dst, int64_t frames) {
    int64_t done = 0;
    while (done < frames) {
        // Never more than libsndfile counts: it would read the rest from the file and drop it.
        const int64_t room = sfFrames_ - sfPosition_;
        if (room <= 0) {
            if (ReadOnRaw()) continue;
            break;
        }
        const int64_t want = std::min(frames - done, room);
        const int64_t n = ReadPiece(dst + static_cast<size_t>(done) * channels_, want);
        sfPosition_ += n;
        done += n;
        if (n < want) break;
    }
    return done;
}

bool SoundFileReader::ReadOnRaw() {
    if (rawFormat_ == 0) return false;
    SF_INFO info{};
    info.samplerate = static_cast<int>(rate_);
    info.channels = channels_;
    info.format = rawFormat_;
    rawFormat_ = 0;
    sf_close(Sf(file_));
    file_ = nullptr;
    // The descriptor stands at the first frame that libsndfile did not read.
    SNDFILE* f = sf_open_fd(fd_, SFM_READ, &info, SF_FALSE);
    if (!f) {
        decodeFailure_ = "past the 4 GiB that its header's sizes describe: " + SfText(nullptr);
        return false;
    }
    file_ = f;
    sfFrames_ = info.frames;
    sfPosition_ = 0;
    return true;
}

int64_t SoundFileReader::ReadPiece(int16_t* dst, int64_t frames) {
    const size_t channels = channels_;
    if (pcm16_) {
        // 16-bit samples are what the reader hands out: libsndfile's own 16-bit read gives the
        // same values as the scaling below, without the detour through doubles.
        const sf_count_t n = std::max<sf_count_t>(0, sf_readf_short(Sf(file_), dst, frames));
        if (n < frames && sf_error(Sf(file_)) != SF_ERR_NO_ERROR)
            decodeFailure_ = SfText(Sf(file_));
        return n;
    }
    int64_t got = 0;
    scratch_.resize(static_cast<size_t>(std::min(frames, kPieceFrames)) * channels);
    while (got < frames) {
        const int64_t want = std::min(frames - got, kPieceFrames);
        // Normalised reads scale every encoding, integer or floating-point, to a full scale
        // of 1.0; the 16-bit read would pass floating-point data through unscaled.
        const sf_count_t n =
            std::max<sf_count_t>(0, sf_readf_double(Sf(file_), scratch_.data(), want));
        if (n < want && sf_error(Sf(file_)) != SF_ERR_NO_ERROR) decodeFailure_ = SfText(Sf(file_));
        int16_t* to = dst + static_cast<size_t>(got) * channels;
        const size_t values = static_cast<size_t>(n) * channels;
        for (size_t i = 0; i < values; ++i) to[i] = ToPcm16(scratch_[i]);
        got += n;
        if (n < want) break;
    }
    return got;
}

WavContainer ContainerForData(int64_t expectedBytes) {
    if (expectedBytes < 0) return WavContainer::Rf64;
    return static_cast<uint64_t>(expectedBytes) < kWavMaxDataBytes / 2 ? WavContainer::Wav
                                                                       : WavContainer::Rf64;
}

HRESULT WavWriter::Create(const std::string& path, DWORD rate, WORD channels,
                          WavContainer container, std::unique_ptr<WavWriter>* out,
                          std::string* error) {
    if (!out) return E_POINTER;
    out->reset();
    SF_INFO info{};
    if (!WavInfo(rate, channels, container, &info)) return E_INVALIDARG;
    // What libsndfile's own open would do, on a descriptor of ours (see OpenDescriptor).
    const int fd = OpenDescriptor(path, O_WRONLY | O_CREAT | O_TRUNC | O_BINARY | O_CLOEXEC, 0666);
    if (fd < 0) {
        const int e = errno;
        SetError(error, std::strerror(e));
        return HresultFromErrno(e);
    }
    return Adopt(fd, rate, channels, container, out, error);
}

HRESULT WavWriter::Adopt(int fd, DWORD rate, WORD channels, WavContainer container,
                         std::unique_ptr<WavWriter>* out, std::string* error) {
    std::unique_ptr<WavWriter> w(new WavWriter());
    w->fd_ = fd;  // closed with w on every failure
    if (!out) return E_POINTER;
    out->reset();
    SF_INFO info{};
    if (fd < 0 || !WavInfo(rate, channels, container, &info)) return E_INVALIDARG;
    w->channels_ = channels;
    w->container_ = container;
    struct stat st;
    bool inPlace = fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && ::lseek(fd, 0, SEEK_CUR) == 0;
#ifdef F_GETFL
    // Every write of a file opened to append lands at its end, the header's rewrite too.
    inPlace = inPlace && !(fcntl(fd, F_GETFL) & O_APPEND);
#endif
    if (!inPlace) {
        w->stream_ = true;
        const std::vector<unsigned char> header = StreamHeader(rate, channels);
        if (!WriteAll(fd, header.data(), header.size())) {
            const int e = errno;
            SetError(error, std::strerror(e));
            return HresultFromErrno(e);
        }
        *out = std::move(w);
        return S_OK;
    }
    w->fd_ = -1;  // OpenOnDescriptor closes it on failure
    SNDFILE* f = OpenOnDescriptor(fd, SFM_WRITE, &info);
    if (!f) {
        SetError(error, SfText(nullptr));
        return E_FAIL;
    }
    // A short file needs no 64-bit sizes: libsndfile then finishes it as WAV.
    if (container == WavContainer::Rf64) sf_command(f, SFC_RF64_AUTO_DOWNGRADE, nullptr, SF_TRUE);
    w->file_ = f;
    w->fd_ = fd;
    *out = std::move(w);
    return S_OK;
}

WavWriter::~WavWriter() {
    if (file_) sf_close(Sf(file_));
    if (fd_ >= 0) ::close(fd_);
}

HRESULT WavWriter::Write(const int16_t* src, int64_t frames, std::string* error) {
    if (fd_ < 0) return E_UNEXPECTED;
    if (frames < 0 || (frames > 0 && !src)) return E_INVALIDARG;
    if (frames == 0) return S_OK;
    // In frames, so that no count can wrap the sum or the product.
    const uint64_t wavFrames = kWavMaxDataBytes / (2ull * channels_);
    if (container_ == WavContainer::Wav && !stream_ &&
        static_cast<uint64_t>(frames) > wavFrames - static_cast<uint64_t>(written_)) {
        SetError(error, "the data outgrows the 4 GiB that a WAV file can describe");
        return HRESULT_FROM_WIN32(ERROR_FILE_TOO_LARGE);
    }
    if (stream_) return WriteStream(src, frames, error);
    errno = 0;
    const sf_count_t n = sf_writef_short(Sf(file_), src, frames);
    const int e = errno;
    if (n > 0) written_ += n;
    if (n == frames) return S_OK;
    SetError(error, e ? std::strerror(e) : SfText(Sf(file_)));
    return e ? HresultFromErrno(e) : E_FAIL;
}

HRESULT WavWriter::WriteStream(const int16_t* src, int64_t frames, std::string* error) {
    // Little-endian on any machine, a piece at a time.
    unsigned char bytes[16384];
    const size_t values = static_cast<size_t>(frames) * channels_;
    for (size_t at = 0; at < values;) {
        const size_t n = std::min(values - at, sizeof bytes / 2);
        for (size_t i = 0; i < n; ++i) {
            const auto v = static_cast<uint16_t>(src[at + i]);
            bytes[2 * i] = static_cast<unsigned char>(v);
            bytes[2 * i + 1] = static_cast<unsigned char>(v >> 8);
        }
        if (!WriteAll(fd_, bytes, 2 * n)) {
            const int e = errno;
            SetError(error, std::strerror(e));
            return HresultFromErrno(e);
        }
        at += n;
    }
    written_ += frames;
    return S_OK;
}

HRESULT WavWriter::Close(std::string* error) {
    if (fd_ < 0) return E_UNEXPECTED;
    int e = 0, err = SF_ERR_NO_ERROR, rc = 0;
    if (file_) {
        // sf_close rewrites the header; a full disk shows here, and the flush reports it earlier.
        errno = 0;
        sf_write_sync(Sf(file_));
        e = errno;
        err = sf_error(Sf(file_));
        rc = sf_close(Sf(file_));
        file_ = nullptr;
    }
    if (::close(fd_) != 0 && rc == 0 && err == SF_ERR_NO_ERROR) {
        const int closeError = errno;
        fd_ = -1;
        SetError(error, std::strerror(closeError));
        return HresultFromErrno(closeError);
    }
    fd_ = -1;
    if (err != SF_ERR_NO_ERROR || rc != 0) {
        SetError(error, e ? std::strerror(e) : sf_error_number(err != SF_ERR_NO_ERROR ? err : rc));
        return e ? HresultFromErrno(e) : E_FAIL;
    }
    return S_OK;
}

}  // namespace corvane::host
