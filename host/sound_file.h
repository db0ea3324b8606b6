// Sound files through libsndfile: a reader that delivers any file libsndfile understands as
// interleaved 16-bit frames at full scale, and a writer of 16-bit PCM WAV (or RF64) files.
#pragma once

#include "platform/win32.h"

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace corvane::host {

// HRESULT_FROM_WIN32 of the Win32 error closest to errno value e (E_FAIL when none is close).
HRESULT HresultFromErrno(int e);

// Writes size bytes to fd in order, however many calls that takes; false with errno set.
bool WriteAll(int fd, const unsigned char* bytes, size_t size);

class SoundFileReader {
public:
    // Opens path (UTF-8) for reading. On failure returns a failure HRESULT and writes the reason,
    // without the path, to *error when given: the system's message for a file that cannot be
    // opened (HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND), E_ACCESSDENIED, ...), or "unsupported or
    // damaged audio file: <why>" (E_FAIL) for one that libsndfile cannot read. What a decoder
    // would print on stderr meanwhile is dropped.
    static HRESULT Open(const std::string& path, std::unique_ptr<SoundFileReader>* out,
                        std::string* error = nullptr);
    ~SoundFileReader();
    SoundFileReader(const SoundFileReader&) = delete;
    SoundFileReader& operator=(const SoundFileReader&) = delete;

    DWORD Rate() const { return rate_; }
    WORD Channels() const { return channels_; }
    // Frames the file holds as far as known: what libsndfile finds (the header's count for a
    // stream), or, once a read has met the end of the data, the frames there were. A read reads
    // one frame ahead, so that the read that delivers the last frames already tells the end.
    int64_t Frames() const { return frames_; }
    // False while nothing tells the length: a stream (a pipe) whose header sizes are the
    // placeholders of a writer that did not know its end (all ones, or 0) until its end is read.
    // Frames() then counts the frames delivered so far, and the data is read to its real end,
    // past the 4 GiB that the header's sizes can describe.
    bool LengthKnown() const { return lengthKnown_; }
    // Frames the header declares: above Frames() when the file was cut short, else Frames();
    // -1 for a stream whose header declares no length.
    int64_t DeclaredFrames() const { return declared_; }

    // Positions the next read at frame (0 .. Frames()).
    HRESULT Seek(int64_t frame);
    // False for a file read as a stream (a pipe, a terminal), which cannot be repositioned.
    bool Seekable() const { return seekable_; }
    // Reads up to frames frames into dst (frames x Channels() values), every format scaled to
    // the 16-bit range, rounded to the nearest value and clipped to it; *got receives the number
    // read, fewer only at the end of the data. Data that cannot be decoded (a damaged or cut
    // compressed stream) ends the data where it starts: the frames before it are delivered, and
    // DecodeFailure() says why.
    HRESULT Read(int16_t* dst, int64_t frames, int64_t* got);
    // libsndfile's words for the last read that stopped at undecodable data; empty when none did.
    const std::string& DecodeFailure() const { return decodeFailure_; }

private:
    SoundFileReader() = default;
    // Reads up to frames frames from the data, fewer only at its end.
    int64_t Fill(int16_t* dst, int64_t frames);
    // One read of libsndfile, within the frames it counts.
    int64_t ReadPiece(int16_t* dst, int64_t frames);
    // Goes on reading the data as raw samples where libsndfile's count of a stream of unknown
    // length ends; false when it cannot.
    bool ReadOnRaw();

    void* file_ = nullptr;  // SNDFILE*, owned
    int fd_ = -1;           // the descriptor libsndfile reads, owned
    DWORD rate_ = 0;
    WORD channels_ = 0;
    int64_t frames_ = 0;
    int64_t declared_ = 0;
    bool lengthKnown_ = true;
    int64_t position_ = 0;         // the frame the next read delivers
    int64_t sfFrames_ = 0;         // frames libsndfile counts in file_: it reads no further
    int64_t sfPosition_ = 0;       // file_'s read position
    int rawFormat_ = 0;            // the raw format that continues the data past sfFrames_; 0: none
    std::vector<int16_t> ahead_;   // the frame read ahead, when there is one
    bool ended_ = false;           // the read ahead met the end of the data
    bool decoderMayTalk_ = false;  // an MPEG stream: its decoder writes notes to stderr
    bool pcm16_ = false;           // 16-bit PCM data, read as it is
    bool seekable_ = true;
    std::vector<double> scratch_;  // one piece of a read at libsndfile's full scale of 1.0
    std::string decodeFailure_;
};

// What WAV's 32-bit sizes allow for the data of one file: the RIFF size counts the rest of the
// 44-byte header too.
constexpr uint64_t kWavMaxDataBytes = 0xFFFFFFFFull - 44;

enum class WavContainer {
    Wav,   // plain RIFF/WAVE
    Rf64,  // RF64, which libsndfile writes as a WAV file again when the data stays small
};

// The container for data whose size is expected to be expectedBytes (negative: unknown): WAV
// while the expectation stays well inside WAV's limit, RF64 from half of it, so that an output
// longer than its source announced still fits.
WavContainer ContainerForData(int64_t expectedBytes);

class WavWriter {
public:
    // Creates (or truncates) path (UTF-8) as a 16-bit PCM file of the given rate and channels.
    // On failure *error, when given, says why (the system's message, without the path).
    //
    // What is not a regular file (a device, a FIFO, a socket) cannot take back its header at the
    // end: whatever the container, it gets a WAV stream, written in order, whose RIFF and data
    // sizes are all ones, the mark of a stream's unknown length that readers take as "up to the
    // end", so that it may outgrow 4 GiB.
    static HRESULT Create(const std::string& path, DWORD rate, WORD channels,
                          WavContainer container, std::unique_ptr<WavWriter>* out,
                          std::string* error = nullptr);
    // The same on a descriptor that is already open for writing (a C library descriptor, owned
    // from here on, closed on failure too). A regular file at its start, not opened to append,
    // is written in place and gets its header finished at the end; anything else (a pipe, a
    // device, a file written from the middle or at its end) gets the stream above, from where
    // the descriptor stands.
    static HRESULT Adopt(int fd, DWORD rate, WORD channels, WavContainer container,
                         std::unique_ptr<WavWriter>* out, std::string* error = nullptr);
    // Closes the file when Close was not called; a failure there goes unreported.
    ~WavWriter();
    WavWriter(const WavWriter&) = delete;
    WavWriter& operator=(const WavWriter&) = delete;

    // Appends frames interleaved frames. On failure (the HRESULT of the system's error, such as
    // HRESULT_FROM_WIN32(ERROR_FILE_TOO_LARGE) or ERROR_DISK_FULL) *error says why. A plain WAV
    // file (not a stream) refuses data beyond kWavMaxDataBytes (ERROR_FILE_TOO_LARGE) rather than
    // write a header whose sizes wrap.
    HRESULT Write(const int16_t* src, int64_t frames, std::string* error = nullptr);
    // Finishes the header and closes the file; E_FAIL when that fails. Writes afterwards fail.
    HRESULT Close(std::string* error = nullptr);

private:
    WavWriter() = default;
    HRESULT WriteStream(const int16_t* src, int64_t frames, std::string* error);

    void* file_ = nullptr;  // SNDFILE*, owned; null for a stream
    int fd_ = -1;           // the descriptor written, owned
    bool stream_ = false;   // written in order by the writer itself, without libsndfile
    WORD channels_ = 0;
    WavContainer container_ = WavContainer::Wav;
    int64_t written_ = 0;
};

}  // namespace corvane::host
