// The output of corvane-fx appears whole or not at all: the program writes a temporary file in
// the target's folder and renames it onto the target only when everything succeeded. A failure,
// or a signal that ends the program (SIGINT, SIGTERM, and SIGHUP on Linux, SIGBREAK on Windows),
// removes the temporary file; a file already at the target stays as it was until the rename
// replaces it. A symbolic link is followed: its target is the file replaced, and the link stays.
// What is not a regular file (a device, a FIFO, an open descriptor such as /dev/stdout) is
// written into as it comes, and never replaced or removed.
#pragma once

#include "platform/win32.h"
#include "host/sound_file.h"
#include "tools/corvane-fx/platform.h"

#include <memory>
#include <string>

namespace corvane::fx {

class TemporaryOutput {
public:
    TemporaryOutput() = default;
    // Removes the temporary file unless Commit succeeded.
    ~TemporaryOutput();
    TemporaryOutput(const TemporaryOutput&) = delete;
    TemporaryOutput& operator=(const TemporaryOutput&) = delete;

    // Creates an empty temporary file (".NAME.XXXXXX" beside target, or beside the file that its
    // links lead to; UTF-8 path) with the permissions a new file gets (from the umask on Linux).
    // A fatal signal removes the temporary file created last in the process (the program has
    // one). Where target is not a regular file (see ResolveOutput), nothing is created or opened
    // yet and Path is the file itself. Failure: an HRESULT (HRESULT_FROM_WIN32
    // (ERROR_PATH_NOT_FOUND) for a missing folder, E_ACCESSDENIED, HRESULT_FROM_WIN32
    // (ERROR_DIRECTORY) for a folder, ...) and *error says why.
    HRESULT Create(const std::string& target, std::string* error);
    // Opens the file to write, as a host::WavOpener: the temporary file, or what is not a regular
    // file, opened as it is now (see OpenOutput). A regular file that took a device's or FIFO's
    // name since Create is written the regular way, through a temporary file.
    HRESULT Open(DWORD rate, WORD channels, host::WavContainer container,
                 std::unique_ptr<host::WavWriter>* out, std::string* error);
    // The file to write: the temporary file, or the target that is not a regular file; empty
    // before Create and after Commit.
    const std::string& Path() const { return temp_; }
    // Renames the temporary file onto the target. A file already at the target passes its mode
    // (and, for root, its owner and group; on Windows its security and attributes) on to the new
    // one. What is no longer a regular file or nothing by then is never replaced: a device or
    // FIFO gets the finished file's bytes written into it; anything else fails, and the
    // temporary file stays with the finished audio, *error naming it. On another failure the
    // temporary file is removed. Nothing to do where the target was written into.
    HRESULT Commit(std::string* error);

private:
    HRESULT CreateTemporary(std::string* error);
    HRESULT Keep(HRESULT hr, std::string* error);
    void Discard();

    OutputName target_;
    std::string temp_;
    bool direct_ = false;  // temp_ is the target itself, which is not a regular file
};

}  // namespace corvane::fx
