// Sound files for tests, written and read with libsndfile directly (not through the runtime), so
// that they are an independent reference for what the runtime reads and writes.
#pragma once

#include <sndfile.h>

#include <cstdint>
#include <string>
#include <vector>

namespace corvane::testing {

// A path in the test's temporary folder, unique to this process: <tmp>/corvane_<pid>_<name>.
std::string TempPath(const std::string& name);

// Writes interleaved samples as a 16-bit PCM WAV file; false (with a GoogleTest failure) when
// libsndfile refuses.
bool WriteWavDirectly(const std::string& path, int rate, int channels,
                      const std::vector<int16_t>& samples);

// All samples of a sound file as 16-bit values; *info receives its rate, channels, frames and
// format. Empty (with a GoogleTest failure) when the file cannot be read.
std::vector<int16_t> ReadWavDirectly(const std::string& path, SF_INFO* info);

// Whether the libsndfile linked in has the codec of a major format (SF_FORMAT_FLAC,
// SF_FORMAT_MPEG, ...): the Windows build has no external codecs.
bool LibraryHasFormat(int major);

// A RIFF/WAVE file of one "fmt " chunk with exactly the bytes fmt and a "data" chunk of
// dataBytes zero bytes: for formats that no writer makes on purpose.
bool WriteWavChunks(const std::string& path, const std::string& fmt, size_t dataBytes);
// "fmt " chunks: MPEG layer 3 (whose data the tests fill with zeros, which no decoder takes),
// and 16-bit PCM mono with a sample rate of 0.
std::string Mpeg3FormatChunk();
std::string ZeroRateFormatChunk();

}  // namespace corvane::testing
