// Reading a media source to its end and writing what it delivers to a 16-bit PCM WAV file.
#pragma once

#include "platform/win32.h"
#include "corvane/corvane.h"

#include "host/sound_file.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

namespace corvane::host {

struct ExportResult {
    int64_t frames = 0;  // frames written
    DWORD rate = 0;
    WORD channels = 0;
    std::string error;        // what failed, empty on success
    std::string reason;       // the system's or the library's words for why, when there are any
    bool readFailed = false;  // the source's ReadAudio failed: the caller can name the source
};

// Opens the file of an export at its first block, in the format found there (see
// WavWriter::Create); *error says why it failed.
using WavOpener = std::function<HRESULT(DWORD rate, WORD channels, WavContainer container,
                                        std::unique_ptr<WavWriter>* out, std::string* error)>;

// Reads source from its current position in requests of blockMs (> 0) until it answers S_OK with
// no block (the end of its stream), and writes every block to path (UTF-8). The file takes the
// format of the first block (or the source's audio format when there is none); it is RF64 when
// the rest of the source's duration would come near what WAV can hold (see ContainerForData).
//
// input, when given, is the first source of the chain that ends in source. A chain may deliver
// empty blocks for a long time (an effect that fills a delay first), but not without working:
// when reads that together asked for more than 10 s deliver no frame while neither input's
// position nor source's moves, the export fails. Without input, source's position alone tells.
//
// Fails, with result->error and result->reason filled, when the source fails, a block changes
// the format or holds a partial frame, the chain makes no progress, or the file cannot be
// written; the file is closed in every case.
//
// open, when given, opens the file in place of WavWriter::Create(path); path then only names it
// in the messages.
HRESULT ExportToWav(IMediaSource* source, const std::string& path, double blockMs,
                    ExportResult* result, IMediaSource* input = nullptr,
                    const WavOpener& open = nullptr);

}  // namespace corvane::host
