#include "effects/common/TempSampleFile.h"

#include "platform/deferred_signals.h"

#include <algorithm>

namespace corvane {

namespace {

// The largest single transfer; a longer one goes in pieces.
constexpr DWORD kMaxTransfer = 1u << 30;
// New GUIDs to try when a file of the name exists already (one planted there, not a collision).
constexpr int kNameAttempts = 4;

HRESULT LastError() {
    const DWORD error = GetLastError();
    return error == ERROR_SUCCESS ? E_FAIL : HRESULT_FROM_WIN32(error);
}

// The GUID as StringFromGUID2 writes it, without braces and hyphens, in lower case.
OleString HexName(const GUID& g) {
    static const char kHex[] = "0123456789abcdef";
    OleString s;
    const auto put = [&](uint64_t v, int digits) {
        for (int i = digits - 1; i >= 0; --i)
            s.push_back(static_cast<OLECHAR>(kHex[(v >> (4 * i)) & 0xF]));
    };
    put(g.Data1, 8);
    put(g.Data2, 4);
    put(g.Data3, 4);
    for (BYTE b : g.Data4) put(b, 2);
    return s;
}

}  // namespace

OleString TempFilePrefix(const OleString& tempPath) {
    if (tempPath.empty() || tempPath.back() == '/' || tempPath.back() == '\\') return tempPath;
#if defined(_WIN32)
    // "C:" is the drive's current folder, which a separator would turn into its root.
    if (tempPath.back() == ':') return tempPath;
    constexpr OLECHAR kSeparator = '\\';
#else
    constexpr OLECHAR kSeparator = '/';
#endif
    const DWORD attributes = GetFileAttributesW(tempPath.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES || !(attributes & FILE_ATTRIBUTE_DIRECTORY))
        return tempPath;
    return tempPath + kSeparator;
}

TempSampleFile::~TempSampleFile() {
    Close();
}

HRESULT TempSampleFile::Create(const OleString& folder) {
    Close();
    HRESULT hr = E_FAIL;
    for (int attempt = 0; attempt < kNameAttempts; ++attempt) {
        GUID g;
        hr = CoCreateGuid(&g);
        if (FAILED(hr)) return hr;
        const OleString path = folder + HexName(g);
        // A signal between the creation and the removal of the name would leave the file behind.
        DeferredSignals held;
        // CREATE_NEW: a name that exists (a file or a link someone put there) is never opened.
        // Shared for deletion, so that the name can go at once.
        m_handle =
            CreateFileW(path.c_str(), GENERIC_READ | GENERIC_WRITE,
                        FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, CREATE_NEW,
                        FILE_FLAG_DELETE_ON_CLOSE | FILE_ATTRIBUTE_TEMPORARY, nullptr);
        if (m_handle != INVALID_HANDLE_VALUE) {
            m_path = path;
            m_size = 0;
            // A process that is killed runs no clean-up, and a system that does not delete on
            // close itself would leave the file: without a name it goes with the last handle.
            // Where the deletion only becomes pending (Windows), closing completes it.
            m_named = !DeleteFileW(path.c_str());
            return S_OK;
        }
        hr = LastError();
        if (GetLastError() != ERROR_FILE_EXISTS) break;
    }
    return hr;
}

HRESULT TempSampleFile::Write(const void* data, int64_t bytes) {
    if (!IsOpen()) return E_HANDLE;
    const BYTE* from = static_cast<const BYTE*>(data);
    while (bytes > 0) {
        const DWORD n = static_cast<DWORD>(std::min<int64_t>(bytes, kMaxTransfer));
        DWORD written = 0;
        if (!WriteFile(m_handle, from, n, &written, nullptr)) return LastError();
        if (written != n) return HRESULT_FROM_WIN32(ERROR_DISK_FULL);
        from += n;
        bytes -= n;
        m_size += n;
    }
    return S_OK;
}

HRESULT TempSampleFile::Seek(int64_t offset) {
    if (!IsOpen()) return E_HANDLE;
    LARGE_INTEGER to;
    to.QuadPart = offset;
    return SetFilePointerEx(m_handle, to, nullptr, FILE_BEGIN) ? S_OK : LastError();
}

HRESULT TempSampleFile::Read(void* dst, DWORD bytes, DWORD* got) {
    *got = 0;
    if (!IsOpen()) return E_HANDLE;
    return ReadFile(m_handle, dst, std::min(bytes, kMaxTransfer), got, nullptr) ? S_OK
                                                                                : LastError();
}

void TempSampleFile::Close() {
    if (!IsOpen()) return;
    CloseHandle(m_handle);
    m_handle = INVALID_HANDLE_VALUE;
    // Closing deleted it already; by name too, as on a system where that did not happen (never a
    // name removed before: another file may have it by now).
    if (m_named) DeleteFileW(m_path.c_str());
    m_named = false;
    m_path.clear();
    m_size = 0;
}

}  // namespace corvane
