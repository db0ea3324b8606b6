#include "tools/corvane-fx/platform.h"

#include "host/sound_file.h"

#include <cerrno>
#include <csignal>
#include <cstring>
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

std::string SystemWords(DWORD error) {
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

HRESULT ResolveOutput(const std::string& target, std::string* file, OutputKind* kind,
                      std::string* why) {
    // What is not a regular file is opened by the name given, which leads there through any
    // links, the system's own such as /dev/stdout's included.
    struct stat st;
    if (stat(target.c_str(), &st) == 0 && !S_ISREG(st.st_mode)) {
        *file = target;
        *kind = S_ISDIR(st.st_mode) ? OutputKind::Folder : OutputKind::Special;
        return S_OK;
    }
    // A regular file, or none yet: the name that the links lead to is the one replaced (or
    // created), and the links stay. The system's limit on links in a row, past which a name
    // is a loop.
    constexpr int kMaxLinks = 40;
    *kind = OutputKind::File;
    std::string path = target;
    for (int links = 0;; ++links) {
        // Nothing there, or nothing to be looked at: creating the file says what is wrong.
        if (lstat(path.c_str(), &st) != 0 || !S_ISLNK(st.st_mode)) {
            *file = path;
            return S_OK;
        }
        char to[kMaxPath];
        const ssize_t n = links < kMaxLinks ? readlink(path.c_str(), to, sizeof to) : -1;
        if (links >= kMaxLinks) errno = ELOOP;
        if (n >= static_cast<ssize_t>(sizeof to)) errno = ENAMETOOLONG;
        if (n < 0 || n >= static_cast<ssize_t>(sizeof to))
            return Failed("cannot follow the link " + target, why);
        // A relative target starts from the link's folder.
        const std::string next(to, static_cast<size_t>(n));
        path = next[0] == '/' ? next : path.substr(0, path.rfind('/') + 1) + next;
    }
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
