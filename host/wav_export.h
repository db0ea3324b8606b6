// Reading a media source to its end and writing what it delivers to a 16-bit PCM WAV file.
#pragma once

#include "platform/win32.h"
#include "corvane/corvane.h"

#include <cstdint>
#include <string>

namespace corvane::host {

struct ExportResult {
    int64_t frames = 0;  // frames written
    DWORD rate = 0;
    WORD channels = 0;
    std::string error;  // why it failed, empty on success
};

// Reads source from its current position in requests of blockMs (> 0) until it answers S_OK with
// no block, and writes every block to path (UTF-8). The file takes the format of the first block
// (or the source's audio format when there is none). Fails, with a reason in result->error, when
// the source fails, a block changes the format or holds a partial frame, the source keeps
// answering empty blocks, or the file cannot be written; the file is closed in every case.
HRESULT ExportToWav(IMediaSource* source, const std::string& path, double blockMs,
                    ExportResult* result);

}  // namespace corvane::host
