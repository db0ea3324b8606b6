// A temporary file of raw samples, as the reverse effect keeps the reversed interval: created new
// under a fresh name in a folder (never an existing file or a link planted at the name), readable
// and writable by its owner only, and gone with its handle however the process ends: its name is
// removed as soon as it is open (where the system keeps the data of an open file without a name,
// as POSIX systems do), and it is opened delete-on-close (which the system honours when it closes
// the handles of a process that ends, as Windows does).
#pragma once

#include "platform/win32.h"

#include "platform/olestring.h"

#include <cstdint>

namespace corvane {

// What the files of `tempPath` are named after: the path itself when it ends in a separator ('/'
// or '\\') or its last component is no existing folder (a prefix of the names in its folder), and
// the folder with its separator when it names an existing folder without one.
OleString TempFilePrefix(const OleString& tempPath);

class TempSampleFile {
public:
    TempSampleFile() = default;
    ~TempSampleFile();
    TempSampleFile(const TempSampleFile&) = delete;
    TempSampleFile& operator=(const TempSampleFile&) = delete;

    // Creates folder + the 32 lower-case hexadecimal digits of a new GUID (no separator is
    // added), open for reading and writing, and removes the name. The failure as an HRESULT of
    // the system error.
    HRESULT Create(const OleString& folder);
    // Appends all `bytes` bytes, or fails (a short write included).
    HRESULT Write(const void* data, int64_t bytes);
    // Moves the file position to `offset` bytes from the start.
    HRESULT Seek(int64_t offset);
    // Reads up to `bytes` bytes from the position into dst; *got receives how many (0 at the end).
    HRESULT Read(void* dst, DWORD bytes, DWORD* got);
    // Closes the file and deletes it; nothing when it is not open.
    void Close();

    bool IsOpen() const { return m_handle != INVALID_HANDLE_VALUE; }
    // The name it was created under (which may no longer exist).
    const OleString& Path() const { return m_path; }
    int64_t Size() const { return m_size; }  // bytes written

private:
    HANDLE m_handle = INVALID_HANDLE_VALUE;
    OleString m_path;
    bool m_named = false;  // the name could not be removed at once: Close deletes it
    int64_t m_size = 0;
};

}  // namespace corvane
