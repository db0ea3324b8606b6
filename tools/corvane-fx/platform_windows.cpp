#include "tools/corvane-fx/platform.h"

#include "host/sound_file.h"

#include <fcntl.h>
#include <io.h>
#include <shellapi.h>

#include <cerrno>
#include <csignal>
#include <cstring>

namespace corvane::fx {

namespace {

// The file that a signal removes, as the system names it. The handler reads the path only while
// g_armed is set, and the path is written only while it is clear.
constexpr size_t kMaxPath = 32768;
wchar_t g_pending[kMaxPath];
volatile std::sig_atomic_t g_armed = 0;
std::string g_pendingUtf8;
constexpr int kCleanupSignals[] = {SIGINT, SIGTERM, SIGBREAK};

extern "C" void RemovePendingAndDie(int sig) {
    if (g_armed) DeleteFileW(g_pending);
    std::signal(sig, SIG_DFL);
    std::raise(sig);
}

}  // namespace

std::string SystemWords(DWORD error, const std::string&) {
    wchar_t* text = nullptr;
    const DWORD n = FormatMessageW(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
        nullptr, error, 0, reinterpret_cast<LPWSTR>(&text), 0, nullptr);
    std::string s = n && text ? OleToUtf8(OleString(text, n)) : "error " + std::to_string(error);
    if (text) LocalFree(text);
    while (!s.empty() && (s.back() == '\n' || s.back() == '\r' || s.back() == ' ')) s.pop_back();
    if (!s.empty() && s.back() == '.') s.pop_back();
    return s;
}

namespace {

// *why: what failed, then the system's words for the thread's last error.
HRESULT Failed(const std::string& what, std::string* why) {
    const DWORD error = GetLastError();
    const std::string words = SystemWords(error);
    *why = what.empty() ? words : what + ": " + words;
    return error == ERROR_SUCCESS ? E_FAIL : HRESULT_FROM_WIN32(error);
}

// The full name of a file as the system resolves a relative one; false with the thread's last
// error set when it has none.
bool FullPathOf(const OleString& path, OleString* full) {
    DWORD size = MAX_PATH;
    // A second try with the length the first asked for; more only if the current folder changed
    // in between.
    for (int attempt = 0; attempt < 3; ++attempt) {
        full->resize(size);
        const DWORD n = GetFullPathNameW(path.c_str(), size, &(*full)[0], nullptr);
        if (n == 0) return false;
        if (n < size) {
            full->resize(n);
            return true;
        }
        size = n;  // the length it needs, its terminator included
    }
    SetLastError(ERROR_FILENAME_EXCED_RANGE);
    return false;
}

}  // namespace

// COM reads the system registry, and a process cannot point it elsewhere.
const char* RegistryFolderRefusal() {
    return "Windows keeps registrations in the system registry; there is no registry folder to "
           "choose (register the module with regsvr32)";
}

LSTATUS UseRegistryFolder(const std::string&) {
    return ERROR_NOT_SUPPORTED;
}

std::string RegistryName() {
    return "the system registry";
}

std::string RegisterCommand() {
    return "regsvr32 corvane.dll";
}

// The system's registry calls answer with their error codes alone.
std::string TakeRegistryFailure() {
    return std::string();
}

void ClearRegistryFailure() {}

std::vector<std::string> Utf8Arguments(int argc, char** argv) {
    int n = 0;
    LPWSTR* wide = CommandLineToArgvW(GetCommandLineW(), &n);
    if (!wide) return std::vector<std::string>(argv, argv + argc);
    std::vector<std::string> args;
    for (int i = 0; i < n; ++i) args.push_back(OleToUtf8(wide[i]));
    LocalFree(wide);
    return args;
}

const char* PathSeparators() {
    return "/\\";
}

HRESULT ResolveOutput(const std::string& target, OutputName* out, std::string* why) {
    std::string* file = &out->file;
    OutputKind* kind = &out->kind;
    *file = target;
    *kind = OutputKind::File;
    OleString full;
    if (!FullPathOf(Utf8ToOle(target), &full)) return S_OK;  // creating the file says why
    // The system's name for a device (NUL, CON, COM1, also as nul.wav or C:\x\nul): written
    // into, never opened here, so that nothing on the other end sees a stray open.
    if (full.compare(0, 4, OLESTR("\\\\.\\")) == 0) {
        *kind = OutputKind::Special;
        return S_OK;
    }
    // Opened for a look only, which follows reparse points (links, junctions) to their end.
    const HANDLE h =
        CreateFileW(full.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                    nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (h == INVALID_HANDLE_VALUE) {
        // A link that leads nowhere: replacing it would lose the link.
        const DWORD attributes = GetFileAttributesW(full.c_str());
        if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_REPARSE_POINT))
            return Failed("cannot follow the link " + target, why);
        return S_OK;
    }
    BY_HANDLE_FILE_INFORMATION info;
    OleString final(32768, L'\0');
    const DWORD type = GetFileType(h);
    const bool folder =
        GetFileInformationByHandle(h, &info) && (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY);
    const DWORD n = GetFinalPathNameByHandleW(h, &final[0], static_cast<DWORD>(final.size()),
                                              FILE_NAME_NORMALIZED | VOLUME_NAME_DOS);
    CloseHandle(h);
    if (type != FILE_TYPE_DISK) {
        *kind = OutputKind::Special;
    } else if (folder) {
        *kind = OutputKind::Folder;
    } else if (n > 0 && n < final.size()) {
        // The file at the end of any links, named as the other file calls name it.
        final.resize(n);
        if (final.compare(0, 8, OLESTR("\\\\?\\UNC\\")) == 0)
            final.replace(0, 8, OLESTR("\\\\"));
        else if (final.compare(0, 4, OLESTR("\\\\?\\")) == 0)
            final.erase(0, 4);
        *file = OleToUtf8(final);
    }
    return S_OK;
}

OutputKind KindAt(const std::string& path, std::string* what) {
    const DWORD attributes = GetFileAttributesW(Utf8ToOle(path).c_str());
    *what = attributes & FILE_ATTRIBUTE_DIRECTORY ? "a folder" : "a link";
    if (attributes == INVALID_FILE_ATTRIBUTES ||
        !(attributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT))) {
        *what = "a regular file";
        return OutputKind::File;
    }
    return attributes & FILE_ATTRIBUTE_DIRECTORY ? OutputKind::Folder : OutputKind::Other;
}

HRESULT OpenOutput(const OutputName& output, int* fd, std::string* why) {
    // A device (the only Special here) keeps its kind; it is opened as the C library opens it.
    *fd = _wopen(Utf8ToOle(output.file).c_str(), _O_WRONLY | _O_BINARY);
    if (*fd >= 0) return S_OK;
    *why = std::strerror(errno);
    return host::HresultFromErrno(errno);
}

// Never reached: no device takes a name of the file system here, so a finished file is only
// ever renamed.
HRESULT CopyInto(const std::string&, int fd, std::string* why) {
    _close(fd);
    *why = "a device cannot take the place of a file here";
    return HRESULT_FROM_WIN32(ERROR_NOT_SUPPORTED);
}

bool IsStandardOutput(const std::string&) {
    return false;
}

HRESULT CreateUniqueFile(const std::string& prefix, std::string* path, std::string* why) {
    static const char kChars[] = "0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz";
    for (int attempt = 0; attempt < 100; ++attempt) {
        GUID g;
        if (FAILED(CoCreateGuid(&g))) {
            *why = "no random name";
            return E_FAIL;
        }
        const BYTE* bytes = reinterpret_cast<const BYTE*>(&g);
        std::string name = prefix;
        for (int i = 0; i < 6; ++i) name += kChars[bytes[i + 8] % (sizeof kChars - 1)];
        const HANDLE h = CreateFileW(Utf8ToOle(name).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                     FILE_ATTRIBUTE_NORMAL, nullptr);
        if (h != INVALID_HANDLE_VALUE) {
            CloseHandle(h);
            *path = name;
            return S_OK;
        }
        if (GetLastError() != ERROR_FILE_EXISTS) return Failed("", why);
    }
    *why = "every name tried exists";
    return HRESULT_FROM_WIN32(ERROR_FILE_EXISTS);
}

HRESULT MoveOnto(const std::string& from, const std::string& to, std::string* why) {
    // Full names: Wine's ReplaceFileW finds the replaced file's folder by its last backslash, so a
    // name without one ("out.wav", "sub/out.wav") failed there with ERROR_DIRECTORY. Windows
    // resolves relative names itself; the full name means the same file to both.
    OleString source, target;
    if (!FullPathOf(Utf8ToOle(from), &source) || !FullPathOf(Utf8ToOle(to), &target))
        return Failed("cannot rename the finished file to " + to, why);
    const DWORD old = GetFileAttributesW(target.c_str());
    if (old == INVALID_FILE_ATTRIBUTES || (old & FILE_ATTRIBUTE_DIRECTORY)) {
        if (!MoveFileExW(source.c_str(), target.c_str(), MOVEFILE_REPLACE_EXISTING))
            return Failed("cannot rename the finished file to " + to, why);
        return S_OK;
    }
    // The system's replacement keeps the replaced file's security (who may read it); a read-only
    // file is made writable for it, and the new file gets the old one's attributes.
    if ((old & FILE_ATTRIBUTE_READONLY) &&
        !SetFileAttributesW(target.c_str(), old & ~FILE_ATTRIBUTE_READONLY))
        return Failed("cannot replace the read-only " + to, why);
    if (!ReplaceFileW(target.c_str(), source.c_str(), nullptr, REPLACEFILE_IGNORE_MERGE_ERRORS,
                      nullptr, nullptr)) {
        const HRESULT hr = Failed("cannot rename the finished file to " + to, why);
        SetFileAttributesW(target.c_str(), old);
        return hr;
    }
    SetFileAttributesW(target.c_str(), old);
    return S_OK;
}

void RemoveFile(const std::string& path) {
    DeleteFileW(Utf8ToOle(path).c_str());
}

void ArmRemovalOnSignal(const std::string& path) {
    g_armed = 0;
    const OleString wide = Utf8ToOle(path);
    if (wide.size() >= kMaxPath) return;
    std::copy(wide.begin(), wide.end(), g_pending);
    g_pending[wide.size()] = L'\0';
    g_pendingUtf8 = path;
    g_armed = 1;
    static bool installed = false;
    if (!installed) {
        for (int sig : kCleanupSignals) std::signal(sig, RemovePendingAndDie);
        installed = true;
    }
}

void DisarmRemovalOnSignal(const std::string& path) {
    if (g_armed && path == g_pendingUtf8) g_armed = 0;
}

}  // namespace corvane::fx
