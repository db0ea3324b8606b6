#include "tools/corvane-fx/platform.h"

#include "host/sound_file.h"

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace corvane::fx {

namespace {

// The file that a fatal signal removes. The handler reads the path only while g_armed is set,
// and the path is written only while it is clear.
constexpr size_t kMaxPath = 4096;
char g_pending[kMaxPath];
volatile std::sig_atomic_t g_armed = 0;
constexpr int kCleanupSignals[] = {SIGINT, SIGTERM, SIGHUP};

extern "C" void RemovePendingAndDie(int sig) {
    if (g_armed) unlink(g_pending);
    std::signal(sig, SIG_DFL);
    std::raise(sig);
}

// A missing name here is a missing folder: the file itself is about to be made.
HRESULT FromErrno(int e) {
    return e == ENOENT ? HRESULT_FROM_WIN32(ERROR_PATH_NOT_FOUND) : host::HresultFromErrno(e);
}

// *why: what failed, then the system's words.
HRESULT Failed(const std::string& what, std::string* why) {
    const int e = errno;
    *why = what.empty() ? std::strerror(e) : what + ": " + std::strerror(e);
    return FromErrno(e);
}

}  // namespace

const char* RegistryFolderRefusal() {
    return nullptr;
}

LSTATUS UseRegistryFolder(const std::string& dir) {
    return CorvaneSetRegistryRoot(dir.c_str());
}

std::string RegistryName() {
    char root[4096];
    const size_t n = CorvaneGetRegistryRoot(root, sizeof root);
    return n > 0 && n < sizeof root ? std::string(root, n) : "the registry folder";
}

std::string RegisterCommand() {
    return "corvane-reg --user --registry-root " + RegistryName() + " path/to/libcorvane.so";
}

std::string TakeRegistryFailure() {
    std::string text(CorvaneGetRegistryFailure(nullptr, 0), '\0');
    if (text.empty()) return text;
    const size_t n = CorvaneGetRegistryFailure(&text[0], text.size());
    text.resize(n < text.size() ? n : 0);
    CorvaneClearRegistryFailure();
    return text;
}

void ClearRegistryFailure() {
    CorvaneClearRegistryFailure();
}

std::string SystemWords(DWORD error, const std::string& path) {
    // A file where a folder should be and a missing folder are one code on Windows: the folder
    // that path names, asked again, tells which it was.
    struct stat st;
    const std::string folder = path.substr(0, path.rfind('/') + 1);
    if (error == ERROR_PATH_NOT_FOUND && !folder.empty()) {
        if (stat(folder.c_str(), &st) != 0) return std::strerror(errno);
        if (!S_ISDIR(st.st_mode)) return std::strerror(ENOTDIR);
    }
    // The errors that the platform layer's file calls make of the system's, back to its words.
    static const struct {
        DWORD error;
        int e;
    } kErrno[] = {
        {ERROR_DISK_FULL, ENOSPC},           {ERROR_FILE_TOO_LARGE, EFBIG},
        {ERROR_ACCESS_DENIED, EACCES},       {ERROR_WRITE_PROTECT, EROFS},
        {ERROR_PATH_NOT_FOUND, ENOENT},      {ERROR_FILE_NOT_FOUND, ENOENT},
        {ERROR_TOO_MANY_OPEN_FILES, EMFILE}, {ERROR_FILENAME_EXCED_RANGE, ENAMETOOLONG},
        {ERROR_NOT_ENOUGH_MEMORY, ENOMEM},   {ERROR_WRITE_FAULT, EIO},
    };
    for (const auto& k : kErrno) {
        if (k.error == error) return std::strerror(k.e);
    }
    return "system error " + std::to_string(error);
}

std::vector<std::string> Utf8Arguments(int argc, char** argv) {
    return std::vector<std::string>(argv, argv + argc);
}

const char* PathSeparators() {
    return "/";
}

namespace {

// The system's limit on links in a row, past which a name is a loop.
constexpr int kMaxLinks = 40;

std::string Join(const std::string& folder, const std::string& name) {
    if (folder.empty()) return name;
    return folder.back() == '/' ? folder + name : folder + "/" + name;
}

bool IsFolder(const std::string& path) {
    struct stat st;
    return stat(path.empty() ? "." : path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

// Whether folder holds the process's own descriptors (/proc/PID/fd, also per thread).
bool IsOwnDescriptorFolder(const std::string& folder) {
    const std::string own = "/proc/" + std::to_string(getpid()) + "/";
    return folder.compare(0, own.size(), own) == 0 && folder.size() >= 3 &&
           folder.compare(folder.size() - 3, 3, "/fd") == 0;
}

// The descriptor that a name in such a folder stands for; -1 for another name.
int DescriptorNumber(const std::string& name) {
    if (name.empty() || name.size() > 9 || name.find_first_not_of("0123456789") != name.npos)
        return -1;
    return std::stoi(name);
}

// What the kernel's protected_symlinks refuses, checked whatever that switch says: in a sticky
// folder that anyone may write to, only a link of the user's or of the folder's owner is
// followed. Another user's link there may lead the output onto any file the user may write.
bool MayFollow(const std::string& folder, const struct stat& link, std::string* why) {
    struct stat dir;
    if (stat(folder.empty() ? "." : folder.c_str(), &dir) != 0) return true;
    if (!(dir.st_mode & S_ISVTX) || !(dir.st_mode & S_IWOTH) || link.st_uid == geteuid() ||
        link.st_uid == dir.st_uid)
        return true;
    *why = "it belongs to user " + std::to_string(link.st_uid) + " and lies in " +
           (folder.empty() ? std::string(".") : folder) +
           ", a sticky folder that anyone may write to, where only your own links and those of "
           "the folder's owner are followed";
    return false;
}

}  // namespace

HRESULT ResolveOutput(const std::string& target, OutputName* out, std::string* why) {
    // Walked a name at a time, as the system walks it, so that every link on the way is looked
    // at: `done` holds no link, and the names still to walk are stacked, the next one last.
    std::string done = target.compare(0, 1, "/") == 0 ? "/" : "";
    std::vector<std::string> rest;
    const auto push = [&rest](const std::string& path) {
        std::vector<std::string> names;
        for (size_t at = 0, end; at < path.size(); at = end + 1) {
            end = std::min(path.find('/', at), path.size());
            if (end > at) names.push_back(path.substr(at, end - at));
        }
        rest.insert(rest.end(), names.rbegin(), names.rend());
    };
    push(target);
    for (int links = 0; !rest.empty();) {
        const std::string name = rest.back();
        rest.pop_back();
        // "." and ".." within a real folder are taken here; after anything else they are left
        // for the system to judge when the file is made.
        const size_t last = done.rfind('/');
        const bool upward = !done.empty() && done != "/" && done.substr(last + 1) != "..";
        if ((name == "." || (name == ".." && (upward || done == "/"))) && IsFolder(done)) {
            if (name == ".." && done != "/")
                done = last == std::string::npos ? "" : last == 0 ? "/" : done.substr(0, last);
            continue;
        }
        const std::string path = Join(done, name);
        const int fd = rest.empty() && IsOwnDescriptorFolder(done) ? DescriptorNumber(name) : -1;
        if (fd >= 0) {
            const int flags = fcntl(fd, F_GETFL);
            if (flags < 0 || (flags & O_ACCMODE) == O_RDONLY) {
                *why = "descriptor " + name + (flags < 0 ? " is not open" : " is open for reading");
                return HRESULT_FROM_WIN32(ERROR_INVALID_HANDLE);
            }
            out->file = target;
            out->kind = OutputKind::Descriptor;
            out->descriptor = fd;
            return S_OK;
        }
        struct stat st;
        // Nothing there, or nothing to be looked at: making the file says what is wrong.
        if (lstat(path.c_str(), &st) != 0 || !S_ISLNK(st.st_mode)) {
            done = path;
            continue;
        }
        if (!MayFollow(done, st, why)) {
            *why = "cannot follow the link " + path + ": " + *why;
            return E_ACCESSDENIED;
        }
        char to[kMaxPath];
        const ssize_t n = links < kMaxLinks ? readlink(path.c_str(), to, sizeof to) : -1;
        if (++links > kMaxLinks) errno = ELOOP;
        if (n >= static_cast<ssize_t>(sizeof to)) errno = ENAMETOOLONG;
        if (n <= 0 || n >= static_cast<ssize_t>(sizeof to))
            return Failed("cannot follow the link " + target, why);
        // A relative target starts from the link's folder.
        if (to[0] == '/') done = "/";
        push(std::string(to, static_cast<size_t>(n)));
    }
    out->file = done;
    std::string what;
    out->kind = KindAt(done, &what);
    return S_OK;
}

OutputKind KindAt(const std::string& path, std::string* what) {
    struct stat st;
    if (lstat(path.c_str(), &st) != 0 || S_ISREG(st.st_mode)) {
        *what = "a regular file";
        return OutputKind::File;
    }
    if (S_ISDIR(st.st_mode)) {
        *what = "a folder";
        return OutputKind::Folder;
    }
    if (S_ISLNK(st.st_mode) || S_ISSOCK(st.st_mode)) {
        *what = S_ISLNK(st.st_mode) ? "a symbolic link" : "a socket";
        return OutputKind::Other;
    }
    *what = S_ISFIFO(st.st_mode) ? "a FIFO" : "a device";
    return OutputKind::Special;
}

HRESULT OpenOutput(const OutputName& output, int* fd, std::string* why) {
    *fd = -1;
    if (output.kind == OutputKind::Descriptor) {
        *fd = fcntl(output.descriptor, F_DUPFD_CLOEXEC, 0);
        return *fd < 0 ? Failed("", why) : S_OK;
    }
    std::string what;
    if (KindAt(output.file, &what) == OutputKind::File) return S_FALSE;
    // Neither made nor emptied: a regular file that took the name meanwhile goes the regular
    // way, and a link planted there is not followed.
    *fd = open(output.file.c_str(), O_WRONLY | O_NOCTTY | O_NOFOLLOW | O_CLOEXEC);
    if (*fd < 0) return errno == ENOENT ? S_FALSE : Failed("", why);
    struct stat st;
    if (fstat(*fd, &st) == 0 && S_ISREG(st.st_mode)) {
        close(*fd);
        *fd = -1;
        return S_FALSE;
    }
    return S_OK;
}

HRESULT CopyInto(const std::string& from, int fd, std::string* why) {
    const int in = open(from.c_str(), O_RDONLY | O_CLOEXEC);
    HRESULT hr = in < 0 ? Failed("cannot read " + from, why) : S_OK;
    unsigned char buffer[65536];
    while (SUCCEEDED(hr)) {
        const ssize_t n = read(in, buffer, sizeof buffer);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) hr = Failed("cannot read " + from, why);
        if (n <= 0) break;
        if (!host::WriteAll(fd, buffer, static_cast<size_t>(n))) hr = Failed("", why);
    }
    if (in >= 0) close(in);
    if (close(fd) != 0 && SUCCEEDED(hr)) hr = Failed("", why);
    return hr;
}

bool IsStandardOutput(const std::string& path) {
    struct stat file, out;
    return stat(path.c_str(), &file) == 0 && fstat(STDOUT_FILENO, &out) == 0 &&
           file.st_dev == out.st_dev && file.st_ino == out.st_ino;
}

HRESULT CreateUniqueFile(const std::string& prefix, std::string* path, std::string* why) {
    std::string pattern = prefix + "XXXXXX";
    int fd = mkstemp(&pattern[0]);
    if (fd < 0) return Failed("", why);
    // mkstemp makes the file private; the finished file gets what any new file would.
    const mode_t mask = umask(0);
    umask(mask);
    fchmod(fd, 0666 & ~mask);
    close(fd);
    *path = pattern;
    return S_OK;
}

HRESULT MoveOnto(const std::string& from, const std::string& to, std::string* why) {
    // A file that is replaced keeps who may read it: its mode and, when the process may give
    // files away (root), its owner and group. Set only now, so that a read-only mode cannot stop
    // the writing, and from the file as it is at the moment of the replacement.
    struct stat old;
    if (stat(to.c_str(), &old) == 0 && S_ISREG(old.st_mode)) {
        if (geteuid() == 0 && chown(from.c_str(), old.st_uid, old.st_gid) != 0)
            return Failed("cannot give the finished file the owner of " + to, why);
        if (chmod(from.c_str(), old.st_mode & 07777) != 0)
            return Failed("cannot give the finished file the mode of " + to, why);
    }
    if (std::rename(from.c_str(), to.c_str()) != 0)
        return Failed("cannot rename the finished file to " + to, why);
    return S_OK;
}

void RemoveFile(const std::string& path) {
    unlink(path.c_str());
}

void ArmRemovalOnSignal(const std::string& path) {
    g_armed = 0;
    if (path.size() >= kMaxPath) return;
    std::memcpy(g_pending, path.c_str(), path.size() + 1);
    g_armed = 1;
    static bool installed = false;
    if (!installed) {
        for (int sig : kCleanupSignals) {
            struct sigaction sa;
            std::memset(&sa, 0, sizeof sa);
            sa.sa_handler = RemovePendingAndDie;
            sigemptyset(&sa.sa_mask);
            sigaction(sig, &sa, nullptr);
        }
        installed = true;
    }
}

void DisarmRemovalOnSignal(const std::string& path) {
    if (g_armed && path == g_pending) g_armed = 0;
}

}  // namespace corvane::fx
