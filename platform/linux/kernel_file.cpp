// Files: CreateFileW and friends over POSIX descriptors, with Windows' dispositions, sharing
// modes, delete-on-close and error codes.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <map>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

#include "platform/linux/kernel_handles.h"
#include "platform/win32.h"

namespace {

using corvane::kernel::Handles;
using corvane::kernel::KernelObject;

// Access as the sharing rules see it.
constexpr DWORD kRead = 1, kWrite = 2, kAppend = 4, kDelete = 8;

struct FileObject : KernelObject {
    int fd = -1;
    DWORD access = 0;  // kRead | kWrite | kAppend | kDelete
    DWORD share = 0;   // FILE_SHARE_*
    bool deleteOnClose = false;
    bool directory = false;
    dev_t dev = 0;
    ino_t ino = 0;
    std::string path;  // absolute, for delete-on-close

    ~FileObject() override {
        if (fd >= 0) ::close(fd);
    }
    bool CanRead() const { return access & kRead; }
    bool CanWrite() const { return access & (kWrite | kAppend); }
};

// The open files of the process by inode: the basis of the sharing checks and of
// delete-on-close, which must wait for the last handle.
struct OpenFile {
    std::vector<const FileObject*> handles;
    bool deletePending = false;
    std::string deletePath;
};

class OpenFiles {
public:
    std::mutex mutex;
    std::map<std::pair<dev_t, ino_t>, OpenFile> files;

    // Removes the name when it still denotes that inode (it may have been replaced meanwhile).
    static void UnlinkIfSame(const std::string& path, dev_t dev, ino_t ino) {
        struct stat st;
        if (::lstat(path.c_str(), &st) == 0 && st.st_dev == dev && st.st_ino == ino)
            ::unlink(path.c_str());
    }

    // At process exit the handles close as on Windows: pending deletions happen.
    void DeleteOnExit() {
        std::lock_guard<std::mutex> lock(mutex);
        for (auto& [key, file] : files) {
            for (const FileObject* f : file.handles) {
                if (f->deleteOnClose) {
                    UnlinkIfSame(f->path, key.first, key.second);
                    break;
                }
            }
        }
    }
};

OpenFiles& Registry() {
    static OpenFiles* registry = new OpenFiles;  // outlives static destructors that close files
    return *registry;
}

struct ExitCleanup {
    ~ExitCleanup() { Registry().DeleteOnExit(); }
} g_exitCleanup;

BOOL Fail(DWORD error) {
    SetLastError(error);
    return FALSE;
}

DWORD ErrorFromErrno(int e) {
    switch (e) {
        case ENOENT:
            return ERROR_FILE_NOT_FOUND;
        case ENOTDIR:
            return ERROR_PATH_NOT_FOUND;
        case EACCES:
        case EPERM:
        case EISDIR:
            return ERROR_ACCESS_DENIED;
        case EROFS:
            return ERROR_WRITE_PROTECT;
        case EEXIST:
            return ERROR_FILE_EXISTS;
        case EMFILE:
        case ENFILE:
            return ERROR_TOO_MANY_OPEN_FILES;
        case ENOSPC:
        case EDQUOT:
            return ERROR_DISK_FULL;
        case EFBIG:
            return ERROR_FILE_TOO_LARGE;
        case ENAMETOOLONG:
            return ERROR_FILENAME_EXCED_RANGE;
        case ENOMEM:
            return ERROR_NOT_ENOUGH_MEMORY;
        case EINVAL:
            return ERROR_INVALID_PARAMETER;
        case EBADF:
            return ERROR_INVALID_HANDLE;
        case ELOOP:
            return ERROR_CANT_RESOLVE_FILENAME;
        case EBUSY:
        case ETXTBSY:
            return ERROR_SHARING_VIOLATION;
        default:
            return ERROR_GEN_FAILURE;
    }
}

// ENOENT means a missing file, or a missing folder on the way to it.
DWORD ErrorForPath(int e, const std::string& path) {
    if (e != ENOENT) return ErrorFromErrno(e);
    size_t slash = path.find_last_of('/');
    if (slash == std::string::npos || slash == 0) return ERROR_FILE_NOT_FOUND;
    struct stat st;
    std::string parent = path.substr(0, slash);
    return ::stat(parent.c_str(), &st) == 0 && S_ISDIR(st.st_mode) ? ERROR_FILE_NOT_FOUND
                                                                   : ERROR_PATH_NOT_FOUND;
}

// Converts a wide path; '\\' separates folders as on Windows. Sets the last error on failure.
bool ToNativePath(LPCWSTR name, std::string* out) {
    if (!name) return Fail(ERROR_INVALID_PARAMETER);
    if (!*name) return Fail(ERROR_PATH_NOT_FOUND);
    try {
        if (!corvane::text::TryToUtf8(std::u16string_view(name, corvane::text::Length(name)), out))
            return Fail(ERROR_INVALID_NAME);
    } catch (const std::bad_alloc&) {
        return Fail(ERROR_NOT_ENOUGH_MEMORY);
    }
    for (char& c : *out)
        if (c == '\\') c = '/';
    return true;
}

std::string Absolute(const std::string& path) {
    if (!path.empty() && path[0] == '/') return path;
    char* cwd = ::getcwd(nullptr, 0);
    if (!cwd) return path;
    std::string full = std::string(cwd) + "/" + path;
    std::free(cwd);
    return full;
}

DWORD AccessBits(DWORD desired, bool deleteOnClose) {
    DWORD bits = 0;
    if (desired & (GENERIC_READ | GENERIC_ALL | GENERIC_EXECUTE | FILE_READ_DATA)) bits |= kRead;
    if (desired & (GENERIC_WRITE | GENERIC_ALL | FILE_WRITE_DATA)) bits |= kWrite;
    if (desired & FILE_APPEND_DATA) bits |= kAppend;
    if ((desired & (DELETE | GENERIC_ALL)) || deleteOnClose) bits |= kDelete;
    return bits;
}

// Whether a new handle (access, share) may join the existing handles of a file. Handles
// without data or delete access take no part in sharing, on either side.
bool SharingAllows(const OpenFile& file, DWORD access, DWORD share) {
    if (access == 0) return true;
    const auto permits = [](DWORD a, DWORD s) {
        if ((a & kRead) && !(s & FILE_SHARE_READ)) return false;
        if ((a & (kWrite | kAppend)) && !(s & FILE_SHARE_WRITE)) return false;
        if ((a & kDelete) && !(s & FILE_SHARE_DELETE)) return false;
        return true;
    };
    for (const FileObject* other : file.handles) {
        if (other->access == 0) continue;
        if (!permits(access, other->share) || !permits(other->access, share)) return false;
    }
    return true;
}

int OpenMode(DWORD access) {
    bool read = access & kRead, write = access & (kWrite | kAppend);
    int mode = read && write ? O_RDWR : write ? O_WRONLY : O_RDONLY;
    if ((access & kAppend) && !(access & kWrite)) mode |= O_APPEND;
    return mode;
}

// Opens or creates the file as the disposition says. *existed tells whether it was there.
int OpenForDisposition(const std::string& path, int mode, DWORD disposition, mode_t perms,
                       bool* existed) {
    const int common = mode | O_CLOEXEC | O_NONBLOCK;  // a FIFO must not block the open
    for (int attempt = 0; attempt < 16; ++attempt) {
        if (disposition != OPEN_EXISTING && disposition != TRUNCATE_EXISTING) {
            int fd = ::open(path.c_str(), common | O_CREAT | O_EXCL, perms);
            if (fd >= 0 || errno != EEXIST || disposition == CREATE_NEW) {
                *existed = fd < 0;
                return fd;
            }
        }
        int fd = ::open(path.c_str(), common);
        if (fd >= 0 || errno != ENOENT || disposition == OPEN_EXISTING ||
            disposition == TRUNCATE_EXISTING) {
            *existed = fd >= 0;
            return fd;
        }
        // The file vanished between the two opens: start again.
    }
    errno = EBUSY;
    return -1;
}

std::shared_ptr<FileObject> FindFile(HANDLE h) {
    return Handles().Find<FileObject>(h);
}

// Handle lookup for the I/O calls: sets ERROR_INVALID_HANDLE when it is not a file.
std::shared_ptr<FileObject> FileOrFail(HANDLE h) {
    auto file = FindFile(h);
    if (!file) SetLastError(ERROR_INVALID_HANDLE);
    return file;
}

// Unregisters a closed handle; performs a pending deletion when it was the last handle.
void Forget(const FileObject& f) {
    OpenFiles& reg = Registry();
    std::lock_guard<std::mutex> lock(reg.mutex);
    auto it = reg.files.find({f.dev, f.ino});
    if (it == reg.files.end()) return;
    OpenFile& open = it->second;
    for (auto h = open.handles.begin(); h != open.handles.end(); ++h) {
        if (*h == &f) {
            open.handles.erase(h);
            break;
        }
    }
    if (f.deleteOnClose && !open.deletePending) {
        open.deletePending = true;
        open.deletePath = f.path;
    }
    if (open.handles.empty()) {
        if (open.deletePending) OpenFiles::UnlinkIfSame(open.deletePath, f.dev, f.ino);
        reg.files.erase(it);
    }
}

bool CurrentPosition(int fd, LONGLONG* pos) {
    off_t p = ::lseek(fd, 0, SEEK_CUR);
    if (p < 0) return Fail(ErrorFromErrno(errno));
    *pos = p;
    return true;
}

// The position a move would reach; ERROR_NEGATIVE_SEEK below 0.
bool TargetPosition(const FileObject& file, LONGLONG distance, DWORD moveMethod, LONGLONG* target) {
    LONGLONG base = 0;
    switch (moveMethod) {
        case FILE_BEGIN:
            break;
        case FILE_CURRENT:
            if (!CurrentPosition(file.fd, &base)) return false;
            break;
        case FILE_END: {
            struct stat st;
            if (::fstat(file.fd, &st) != 0) return Fail(ErrorFromErrno(errno));
            base = st.st_size;
            break;
        }
        default:
            return Fail(ERROR_INVALID_PARAMETER);
    }
    if (__builtin_add_overflow(base, distance, target)) return Fail(ERROR_INVALID_PARAMETER);
    if (*target < 0) return Fail(ERROR_NEGATIVE_SEEK);
    return true;
}

// What a CreateFileW call asks for, in the terms of this layer.
struct CreateRequest {
    std::string path;
    DWORD access = 0;  // kRead | kWrite | kAppend | kDelete
    DWORD share = 0;   // FILE_SHARE_*
    DWORD disposition = 0;
    bool deleteOnClose = false;
    bool backup = false;    // FILE_FLAG_BACKUP_SEMANTICS: a directory may be opened
    bool truncate = false;  // the file's data goes, whatever access was asked for
    mode_t perms = 0666;    // of a file the call creates
};

// Refuses, as Windows does before it touches the file system, the arguments it does not accept.
// Sets the last error on failure.
bool ReadCreateRequest(LPCWSTR fileName, DWORD desiredAccess, DWORD shareMode, DWORD disposition,
                       DWORD flagsAndAttributes, HANDLE templateFile, CreateRequest* r) {
    if (disposition < CREATE_NEW || disposition > TRUNCATE_EXISTING ||
        (shareMode & ~static_cast<DWORD>(FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE)))
        return Fail(ERROR_INVALID_PARAMETER);
    if (templateFile || (flagsAndAttributes & FILE_FLAG_OVERLAPPED))
        return Fail(ERROR_NOT_SUPPORTED);
    r->deleteOnClose = (flagsAndAttributes & FILE_FLAG_DELETE_ON_CLOSE) != 0;
    r->access = AccessBits(desiredAccess, r->deleteOnClose);
    if (disposition == TRUNCATE_EXISTING && !(r->access & kWrite))
        return Fail(ERROR_INVALID_PARAMETER);
    r->share = shareMode;
    r->disposition = disposition;
    r->truncate = disposition == CREATE_ALWAYS || disposition == TRUNCATE_EXISTING;
    r->backup = (flagsAndAttributes & FILE_FLAG_BACKUP_SEMANTICS) != 0;
    // A temporary file is its creator's alone, as one in a user's temporary folder is on Windows.
    r->perms = (flagsAndAttributes & FILE_ATTRIBUTE_READONLY)    ? 0444
               : (flagsAndAttributes & FILE_ATTRIBUTE_TEMPORARY) ? 0600
                                                                 : 0666;
    return ToNativePath(fileName, &r->path);
}

// Opens or creates the file as asked; a directory only with backup semantics. -1 and errno on
// failure; *existed tells whether the file was there before.
int OpenRequested(const CreateRequest& r, bool* existed) {
    int mode = OpenMode(r.access);
    // Truncation needs a writable descriptor even when the caller asked only to read.
    if (r.truncate && (mode & O_ACCMODE) == O_RDONLY) mode = (mode & ~O_ACCMODE) | O_RDWR;
    int fd = OpenForDisposition(r.path, mode, r.disposition, r.perms, existed);
    if (fd < 0 && errno == EISDIR && r.backup) {
        *existed = true;
        fd = ::open(r.path.c_str(), O_RDONLY | O_CLOEXEC);
    }
    return fd;
}

// Admits an opened file among the process's open files, under the sharing rules, truncating it
// when asked, and gives it a handle. Called with reg's lock held. ERROR_SUCCESS, or the error
// (the file is then closed and nothing is registered).
DWORD Admit(OpenFiles& reg, std::shared_ptr<FileObject> file, const CreateRequest& r, bool existed,
            HANDLE* handle) {
    struct stat st;
    if (::fstat(file->fd, &st) != 0) return ErrorFromErrno(errno);
    file->directory = S_ISDIR(st.st_mode);
    if (file->directory && !r.backup) return ERROR_ACCESS_DENIED;
    ::fcntl(file->fd, F_SETFL, ::fcntl(file->fd, F_GETFL) & ~O_NONBLOCK);
    file->dev = st.st_dev;
    file->ino = st.st_ino;

    auto key = std::make_pair(st.st_dev, st.st_ino);
    auto known = reg.files.find(key);
    if (known != reg.files.end()) {
        if (known->second.deletePending) return ERROR_ACCESS_DENIED;
        // Truncating writes the file, whatever access the caller asked for.
        DWORD effective = r.access | (r.truncate && existed ? kWrite : 0);
        if (!SharingAllows(known->second, effective, r.share)) return ERROR_SHARING_VIOLATION;
    }
    if (r.truncate && existed && !file->directory && ::ftruncate(file->fd, 0) != 0)
        return ErrorFromErrno(errno);
    OpenFile& open = reg.files[key];
    open.handles.push_back(file.get());
    *handle = Handles().Insert(std::move(file));
    if (!*handle) {
        open.handles.pop_back();
        if (open.handles.empty()) reg.files.erase(key);
        return ERROR_NOT_ENOUGH_MEMORY;
    }
    return ERROR_SUCCESS;
}

}  // namespace

HANDLE CreateFileW(LPCWSTR fileName, DWORD desiredAccess, DWORD shareMode, LPSECURITY_ATTRIBUTES,
                   DWORD creationDisposition, DWORD flagsAndAttributes, HANDLE templateFile) {
    try {
        CreateRequest r;
        if (!ReadCreateRequest(fileName, desiredAccess, shareMode, creationDisposition,
                               flagsAndAttributes, templateFile, &r))
            return INVALID_HANDLE_VALUE;
        auto file = std::make_shared<FileObject>();
        file->access = r.access;
        file->share = r.share;
        file->deleteOnClose = r.deleteOnClose;
        file->path = Absolute(r.path);

        OpenFiles& reg = Registry();
        std::lock_guard<std::mutex> lock(reg.mutex);
        bool existed = false;
        file->fd = OpenRequested(r, &existed);  // closed by the object from here on
        if (file->fd < 0) {
            SetLastError(ErrorForPath(errno, r.path));
            return INVALID_HANDLE_VALUE;
        }
        HANDLE handle = nullptr;
        const DWORD error = Admit(reg, std::move(file), r, existed, &handle);
        if (error != ERROR_SUCCESS) {
            // A failed call leaves behind no file that it created.
            if (!existed) ::unlink(r.path.c_str());
            SetLastError(error);
            return INVALID_HANDLE_VALUE;
        }
        const bool reportsExisting =
            creationDisposition == CREATE_ALWAYS || creationDisposition == OPEN_ALWAYS;
        SetLastError(reportsExisting && existed ? ERROR_ALREADY_EXISTS : ERROR_SUCCESS);
        return handle;
    } catch (const std::bad_alloc&) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return INVALID_HANDLE_VALUE;
    }
}

namespace {

// ReadFile and WriteFile: moves count bytes, looping over short transfers, from the handle's
// position or the OVERLAPPED offset. Reading stops early only at the end of the file.
BOOL Transfer(HANDLE h, BYTE* buffer, DWORD count, LPDWORD moved, LPOVERLAPPED overlapped,
              bool write) {
    if (moved) *moved = 0;
    auto file = FileOrFail(h);
    if (!file) return FALSE;
    if (file->directory) return Fail(ERROR_INVALID_FUNCTION);
    if (!(write ? file->CanWrite() : file->CanRead())) return Fail(ERROR_ACCESS_DENIED);
    if (overlapped && overlapped->hEvent) return Fail(ERROR_NOT_SUPPORTED);
    if (!buffer && count > 0) return Fail(ERROR_NOACCESS);
    const off_t offset =
        overlapped ? static_cast<off_t>((static_cast<ULONGLONG>(overlapped->OffsetHigh) << 32) |
                                        overlapped->Offset)
                   : 0;
    DWORD done = 0;
    while (done < count) {
        ssize_t n;
        if (write) {
            n = overlapped ? ::pwrite(file->fd, buffer + done, count - done, offset + done)
                           : ::write(file->fd, buffer + done, count - done);
            if (n == 0) errno = ENOSPC;
        } else {
            n = overlapped ? ::pread(file->fd, buffer + done, count - done, offset + done)
                           : ::read(file->fd, buffer + done, count - done);
            if (n == 0) break;
        }
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) {
            if (moved) *moved = done;
            DWORD fault = write ? ERROR_WRITE_FAULT : ERROR_READ_FAULT;
            return Fail(errno == EIO ? fault : ErrorFromErrno(errno));
        }
        done += static_cast<DWORD>(n);
    }
    if (moved) *moved = done;
    if (overlapped) {
        overlapped->Internal = 0;
        overlapped->InternalHigh = done;
        ::lseek(file->fd, offset + done, SEEK_SET);
        if (!write && done == 0 && count > 0) return Fail(ERROR_HANDLE_EOF);
    }
    return TRUE;
}

}  // namespace

BOOL ReadFile(HANDLE h, LPVOID buffer, DWORD toRead, LPDWORD read, LPOVERLAPPED overlapped) {
    return Transfer(h, static_cast<BYTE*>(buffer), toRead, read, overlapped, false);
}

BOOL WriteFile(HANDLE h, LPCVOID buffer, DWORD toWrite, LPDWORD written, LPOVERLAPPED overlapped) {
    // Transfer only reads from the buffer when writing.
    return Transfer(h, static_cast<BYTE*>(const_cast<void*>(buffer)), toWrite, written, overlapped,
                    true);
}

BOOL SetFilePointerEx(HANDLE h, LARGE_INTEGER distance, PLARGE_INTEGER newPosition,
                      DWORD moveMethod) {
    auto file = FileOrFail(h);
    LONGLONG target;
    if (!file || !TargetPosition(*file, distance.QuadPart, moveMethod, &target)) return FALSE;
    if (::lseek(file->fd, static_cast<off_t>(target), SEEK_SET) < 0)
        return Fail(ErrorFromErrno(errno));
    if (newPosition) newPosition->QuadPart = target;
    return TRUE;
}

DWORD SetFilePointer(HANDLE h, LONG distance, LONG* distanceHigh, DWORD moveMethod) {
    const LONGLONG move =
        distanceHigh ? static_cast<LONGLONG>(
                           (static_cast<ULONGLONG>(static_cast<DWORD>(*distanceHigh)) << 32) |
                           static_cast<DWORD>(distance))
                     : distance;
    auto file = FileOrFail(h);
    LONGLONG target;
    if (!file || !TargetPosition(*file, move, moveMethod, &target)) return INVALID_SET_FILE_POINTER;
    // Without a high part the result must fit 32 bits.
    if (!distanceHigh && target > 0xFFFFFFFFLL) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return INVALID_SET_FILE_POINTER;
    }
    if (::lseek(file->fd, static_cast<off_t>(target), SEEK_SET) < 0) {
        SetLastError(ErrorFromErrno(errno));
        return INVALID_SET_FILE_POINTER;
    }
    LARGE_INTEGER pos;
    pos.QuadPart = target;
    if (distanceHigh) *distanceHigh = pos.HighPart;
    if (pos.LowPart == INVALID_SET_FILE_POINTER) SetLastError(NO_ERROR);
    return pos.LowPart;
}

BOOL GetFileSizeEx(HANDLE h, PLARGE_INTEGER size) {
    auto file = FileOrFail(h);
    if (!file) return FALSE;
    if (!size) return Fail(ERROR_INVALID_PARAMETER);
    struct stat st;
    if (::fstat(file->fd, &st) != 0) return Fail(ErrorFromErrno(errno));
    size->QuadPart = file->directory ? 0 : st.st_size;
    return TRUE;
}

DWORD GetFileSize(HANDLE h, LPDWORD sizeHigh) {
    LARGE_INTEGER size;
    if (!GetFileSizeEx(h, &size)) return INVALID_FILE_SIZE;
    if (sizeHigh) *sizeHigh = static_cast<DWORD>(size.HighPart);
    if (size.LowPart == INVALID_FILE_SIZE) SetLastError(NO_ERROR);
    return size.LowPart;
}

BOOL SetEndOfFile(HANDLE h) {
    auto file = FileOrFail(h);
    if (!file) return FALSE;
    if (file->directory || !file->CanWrite()) return Fail(ERROR_ACCESS_DENIED);
    LONGLONG pos;
    if (!CurrentPosition(file->fd, &pos)) return FALSE;
    if (::ftruncate(file->fd, static_cast<off_t>(pos)) != 0) return Fail(ErrorFromErrno(errno));
    return TRUE;
}

BOOL CloseHandle(HANDLE h) {
    auto file = Handles().Remove<FileObject>(h);
    if (!file) return Fail(ERROR_INVALID_HANDLE);
    Forget(*file);
    return TRUE;  // the descriptor closes with the last user of the object
}

BOOL DeleteFileW(LPCWSTR fileName) {
    std::string path;
    if (!ToNativePath(fileName, &path)) return FALSE;
    OpenFiles& reg = Registry();
    std::lock_guard<std::mutex> lock(reg.mutex);
    struct stat st;
    if (::lstat(path.c_str(), &st) != 0) return Fail(ErrorForPath(errno, path));
    if (S_ISDIR(st.st_mode)) return Fail(ERROR_ACCESS_DENIED);
    auto known = reg.files.find({st.st_dev, st.st_ino});
    if (known != reg.files.end()) {
        if (known->second.deletePending) return Fail(ERROR_ACCESS_DENIED);
        for (const FileObject* f : known->second.handles)
            if (f->access != 0 && !(f->share & FILE_SHARE_DELETE))
                return Fail(ERROR_SHARING_VIOLATION);
    }
    if (::unlink(path.c_str()) != 0) return Fail(ErrorForPath(errno, path));
    return TRUE;
}

DWORD GetFileAttributesW(LPCWSTR fileName) {
    std::string path;
    if (!ToNativePath(fileName, &path)) return INVALID_FILE_ATTRIBUTES;
    struct stat st;
    if (::stat(path.c_str(), &st) != 0) {
        SetLastError(ErrorForPath(errno, path));
        return INVALID_FILE_ATTRIBUTES;
    }
    return S_ISDIR(st.st_mode) ? FILE_ATTRIBUTE_DIRECTORY : FILE_ATTRIBUTE_NORMAL;
}

DWORD GetTempPathW(DWORD bufferLength, LPWSTR buffer) {
    const char* env = std::getenv("TMPDIR");
    std::u16string path;
    try {
        if (!env || !*env || !corvane::text::TryToUtf16(env, &path)) path = u"/tmp";
        if (path.back() != u'/') path.push_back(u'/');
    } catch (const std::bad_alloc&) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return 0;
    }
    const DWORD length = static_cast<DWORD>(path.size());
    if (bufferLength <= length) return length + 1;
    if (!buffer) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    std::memcpy(buffer, path.data(), length * sizeof(WCHAR));
    buffer[length] = 0;
    return length;
}
