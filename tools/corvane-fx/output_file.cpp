#include "tools/corvane-fx/output_file.h"

#include "host/sound_file.h"

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace corvane::fx {

namespace {

// The temporary file that a fatal signal removes. The handler reads the path only while
// g_armed is set, and the path is written only while it is clear.
constexpr size_t kMaxPath = 4096;
char g_pending[kMaxPath];
volatile std::sig_atomic_t g_armed = 0;
constexpr int kCleanupSignals[] = {SIGINT, SIGTERM, SIGHUP};

extern "C" void RemovePendingAndDie(int sig) {
    if (g_armed) unlink(g_pending);
    std::signal(sig, SIG_DFL);
    std::raise(sig);
}

void Arm(const std::string& path) {
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

// Only the file that is armed: another object's disarming must not leave that one unguarded.
void Disarm(const std::string& path) {
    if (g_armed && path == g_pending) g_armed = 0;
}

// A missing name here is a missing folder: the file itself is about to be made.
HRESULT FromErrno(int e) {
    return e == ENOENT ? HRESULT_FROM_WIN32(ERROR_PATH_NOT_FOUND) : host::HresultFromErrno(e);
}

}  // namespace

TemporaryOutput::~TemporaryOutput() {
    Discard();
}

HRESULT TemporaryOutput::Create(const std::string& target, std::string* error) {
    Discard();
    if (target.empty() || target.back() == '/') {
        *error = "'" + target + "' is not a file name";
        return E_INVALIDARG;
    }
    const size_t slash = target.rfind('/');
    const std::string dir =
        slash == std::string::npos ? std::string() : target.substr(0, slash + 1);
    const std::string base = slash == std::string::npos ? target : target.substr(slash + 1);
    std::string pattern = dir + "." + base + ".XXXXXX";
    std::vector<char> buf(pattern.begin(), pattern.end());
    buf.push_back('\0');
    int fd = mkstemp(buf.data());
    if (fd < 0) {
        const int e = errno;
        *error = "cannot create a file in " +
                 (dir.empty() ? std::string("the current folder") : dir) + ": " + std::strerror(e);
        return FromErrno(e);
    }
    // mkstemp makes the file private; the finished file gets what any new file would.
    const mode_t mask = umask(0);
    umask(mask);
    fchmod(fd, 0666 & ~mask);
    close(fd);
    target_ = target;
    temp_ = buf.data();
    Arm(temp_);
    return S_OK;
}

HRESULT TemporaryOutput::Commit(std::string* error) {
    if (temp_.empty()) {
        *error = "nothing to commit";
        return E_UNEXPECTED;
    }
    // A file that is replaced keeps who may read it: its mode and, when the process may give
    // files away (root), its owner and group. Set only now, so that a read-only mode cannot stop
    // the writing, and from the file as it is at the moment of the replacement.
    struct stat old;
    if (stat(target_.c_str(), &old) == 0 && S_ISREG(old.st_mode)) {
        if (geteuid() == 0 && chown(temp_.c_str(), old.st_uid, old.st_gid) != 0) {
            const int e = errno;
            *error =
                "cannot give the finished file the owner of " + target_ + ": " + std::strerror(e);
            Discard();
            return FromErrno(e);
        }
        if (chmod(temp_.c_str(), old.st_mode & 07777) != 0) {
            const int e = errno;
            *error =
                "cannot give the finished file the mode of " + target_ + ": " + std::strerror(e);
            Discard();
            return FromErrno(e);
        }
    }
    if (std::rename(temp_.c_str(), target_.c_str()) != 0) {
        const int e = errno;
        *error = "cannot rename the finished file to " + target_ + ": " + std::strerror(e);
        Discard();
        return FromErrno(e);
    }
    Disarm(temp_);
    temp_.clear();
    return S_OK;
}

void TemporaryOutput::Discard() {
    if (temp_.empty()) return;
    Disarm(temp_);
    unlink(temp_.c_str());
    temp_.clear();
}

}  // namespace corvane::fx
