// Sound files through libsndfile: a reader that delivers any file libsndfile understands as
// interleaved 16-bit frames, and a writer of 16-bit PCM WAV files.
#pragma once

#include "platform/win32.h"

#include <cstdint>
#include <memory>
#include <string>

namespace corvane::host {

class SoundFileReader {
public:
    // Opens path (UTF-8) for reading. On failure returns a failure HRESULT
    // (HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND) when the file does not exist, E_FAIL for a file
    // libsndfile cannot read) and writes libsndfile's explanation to *error when given.
    static HRESULT Open(const std::string& path, std::unique_ptr<SoundFileReader>* out,
                        std::string* error = nullptr);
    ~SoundFileReader();
    SoundFileReader(const SoundFileReader&) = delete;
    SoundFileReader& operator=(const SoundFileReader&) = delete;

    DWORD Rate() const { return rate_; }
    WORD Channels() const { return channels_; }
    int64_t Frames() const { return frames_; }

    // Positions the next read at frame (0 .. Frames()).
    HRESULT Seek(int64_t frame);
    // Reads up to frames frames into dst (frames x Channels() values); *got receives the number
    // read, fewer only at the end of the file. E_FAIL on a read error.
    HRESULT Read(int16_t* dst, int64_t frames, int64_t* got);

private:
    SoundFileReader() = default;
    void* file_ = nullptr;  // SNDFILE*, owned
    DWORD rate_ = 0;
    WORD channels_ = 0;
    int64_t frames_ = 0;
};

class WavWriter {
public:
    // Creates (or truncates) path (UTF-8) as a 16-bit PCM WAV file of the given rate and channels.
    static HRESULT Create(const std::string& path, DWORD rate, WORD channels,
                          std::unique_ptr<WavWriter>* out, std::string* error = nullptr);
    // Closes the file when Close was not called; a failure there goes unreported.
    ~WavWriter();
    WavWriter(const WavWriter&) = delete;
    WavWriter& operator=(const WavWriter&) = delete;

    // Appends frames interleaved frames. E_FAIL when not every frame was written.
    HRESULT Write(const int16_t* src, int64_t frames);
    // Finishes the header and closes the file; E_FAIL when that fails. Writes afterwards fail.
    HRESULT Close(std::string* error = nullptr);
    int64_t FramesWritten() const { return written_; }

private:
    WavWriter() = default;
    void* file_ = nullptr;  // SNDFILE*, owned
    WORD channels_ = 0;
    int64_t written_ = 0;
};

}  // namespace corvane::host
