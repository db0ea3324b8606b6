// The hive tree, its text file format and the file's atomic replacement under a lock.
//
// Hive file format (UTF-8 text, one record per line, '\n' line ends):
//
//   corvane-registry-hive 1 <stamp: 16 hex digits>
//   key <last write: decimal FILETIME ticks> "<name>" "<name>" ...
//   value "<name>" <type: decimal> <data>
//   ...
//   end
//
// The first key line has no names: it is the hive's root. Every other key line gives the full
// path of a key whose parent was listed before it; the value lines after a key line belong to
// that key, in their enumeration order. Keys are written parent first, subkeys in name order.
// <data> is one of
//   str "<text>"      the UTF-16 code units of a string type (REG_SZ, REG_EXPAND_SZ, REG_LINK,
//                     REG_MULTI_SZ) with an even byte count, terminators included as \0;
//   dword 0x<8 hex>   REG_DWORD of exactly 4 bytes;
//   qword 0x<16 hex>  REG_QWORD of exactly 8 bytes;
//   hex:<hex pairs>   any other data, byte for byte (possibly empty).
// Quoted text is UTF-8 with the escapes \\ \" \0 \n \r \t and \uXXXX (other control characters
// and unpaired surrogates). The stamp is random per write: a reader that already holds the
// tree of that stamp need not read further than the first line. "end" marks a complete file.
#include "platform/win32.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/random.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <string>

#include "platform/linux/text.h"

namespace corvane::reg {
namespace {

constexpr std::string_view kMagic = "corvane-registry-hive 1 ";
constexpr ULONGLONG kUnixEpochTicks = 116444736000000000ULL;  // 1970-01-01 in FILETIME ticks

std::atomic<unsigned> g_failCountdown{0};  // see CorvaneRegistryFailNthWrite
thread_local std::string t_failure;        // see CorvaneGetRegistryFailure

// Between two attempts at a lock that another process holds.
constexpr unsigned kLockPollMinMs = 1, kLockPollMaxMs = 8;

// Counts one hive write; true when this one must fail.
bool ConsumeInjectedWriteFailure() {
    unsigned cur = g_failCountdown.load();
    while (cur != 0) {
        if (g_failCountdown.compare_exchange_weak(cur, cur - 1)) return cur == 1;
    }
    return false;
}

// Position of the first subkey whose name does not sort before n.
template <typename Vec>
auto LowerBound(Vec& subkeys, std::u16string_view n) {
    size_t lo = 0, hi = subkeys.size();
    while (lo < hi) {
        size_t mid = (lo + hi) / 2;
        if (text::CompareNoCase(subkeys[mid].name, n) < 0) {
            lo = mid + 1;
        } else {
            hi = mid;
        }
    }
    return subkeys.begin() + static_cast<ptrdiff_t>(lo);
}

template <typename K>
K* FindSubkeyIn(K& key, std::u16string_view n) {
    auto it = LowerBound(key.subkeys, n);
    if (it != key.subkeys.end() && text::EqualNoCase(it->name, n)) return &*it;
    return nullptr;
}

template <typename K>
auto* FindValueIn(K& key, std::u16string_view n) {
    for (auto& v : key.values) {
        if (text::EqualNoCase(v.name, n)) return &v;
    }
    return static_cast<decltype(&key.values[0])>(nullptr);
}

// ---- writing ----

void AppendHex(std::string& out, ULONGLONG v, int digits) {
    static const char kDigits[] = "0123456789abcdef";
    for (int i = digits - 1; i >= 0; --i) out.push_back(kDigits[(v >> (4 * i)) & 15]);
}

// The one-letter escapes of quoted text: \\ \" \0 \n \r \t.
constexpr std::pair<char16_t, char> kEscapes[] = {{u'\\', '\\'}, {u'"', '"'},  {u'\0', '0'},
                                                  {u'\n', 'n'},  {u'\r', 'r'}, {u'\t', 't'}};
constexpr char16_t kNotEscape = 0xFFFF;

char EscapeLetter(char16_t c) {
    for (const auto& [unit, letter] : kEscapes) {
        if (unit == c) return letter;
    }
    return 0;
}

char16_t EscapedUnit(char letter) {
    for (const auto& [unit, l] : kEscapes) {
        if (l == letter) return unit;
    }
    return kNotEscape;
}

void AppendQuoted(std::string& out, std::u16string_view s) {
    out.push_back('"');
    for (size_t i = 0; i < s.size(); ++i) {
        char16_t c = s[i];
        if (char e = EscapeLetter(c)) {
            out.push_back('\\');
            out.push_back(e);
            continue;
        }
        bool high = c >= 0xD800 && c <= 0xDBFF;
        bool low = c >= 0xDC00 && c <= 0xDFFF;
        if (high && i + 1 < s.size() && s[i + 1] >= 0xDC00 && s[i + 1] <= 0xDFFF) {
            out += text::ToUtf8(s.substr(i, 2));
            ++i;
        } else if (c < 0x20 || c == 0x7F || high || low) {
            out += "\\u";
            AppendHex(out, c, 4);
        } else if (c < 0x80) {
            out.push_back(static_cast<char>(c));
        } else {
            out += text::ToUtf8(s.substr(i, 1));
        }
    }
    out.push_back('"');
}

bool IsStringType(DWORD type) {
    return type == REG_SZ || type == REG_EXPAND_SZ || type == REG_LINK || type == REG_MULTI_SZ;
}

void AppendValue(std::string& out, const Value& v) {
    out += "value ";
    AppendQuoted(out, v.name);
    out += ' ';
    out += std::to_string(v.type);
    const size_t n = v.data.size();
    if (IsStringType(v.type) && n % 2 == 0) {
        std::u16string units(n / 2, u'\0');
        if (n) std::memcpy(units.data(), v.data.data(), n);
        out += " str ";
        AppendQuoted(out, units);
    } else if ((v.type == REG_DWORD && n == 4) || (v.type == REG_QWORD && n == 8)) {
        ULONGLONG x = 0;
        for (size_t i = 0; i < n; ++i) x |= static_cast<ULONGLONG>(v.data[i]) << (8 * i);
        out += n == 4 ? " dword 0x" : " qword 0x";
        AppendHex(out, x, static_cast<int>(2 * n));
    } else {
        out += " hex:";
        for (BYTE b : v.data) AppendHex(out, b, 2);
    }
    out.push_back('\n');
}

void AppendKey(std::string& out, const Key& key, std::vector<const std::u16string*>& path) {
    out += "key ";
    out += std::to_string(key.lastWrite);
    for (const auto* name : path) {
        out.push_back(' ');
        AppendQuoted(out, *name);
    }
    out.push_back('\n');
    for (const auto& v : key.values) AppendValue(out, v);
    for (const auto& sub : key.subkeys) {
        path.push_back(&sub.name);
        AppendKey(out, sub, path);
        path.pop_back();
    }
}

// ---- reading ----

class LineReader {
public:
    explicit LineReader(std::string_view line) : s_(line) {}
    bool AtEnd() const { return pos_ >= s_.size(); }
    bool Space() {
        if (pos_ < s_.size() && s_[pos_] == ' ') {
            ++pos_;
            return true;
        }
        return false;
    }
    // A bare word up to the next space or the end.
    std::string_view Word() {
        size_t start = pos_;
        while (pos_ < s_.size() && s_[pos_] != ' ') ++pos_;
        return s_.substr(start, pos_ - start);
    }
    bool Quoted(std::u16string* out);

private:
    std::string_view s_;
    size_t pos_ = 0;
};

int HexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

bool ParseHex(std::string_view digits, ULONGLONG* out) {
    if (digits.empty() || digits.size() > 16) return false;
    ULONGLONG v = 0;
    for (char c : digits) {
        int d = HexDigit(c);
        if (d < 0) return false;
        v = (v << 4) | static_cast<ULONGLONG>(d);
    }
    *out = v;
    return true;
}

bool ParseDecimal(std::string_view digits, ULONGLONG* out) {
    if (digits.empty() || digits.size() > 20) return false;
    ULONGLONG v = 0;
    for (char c : digits) {
        if (c < '0' || c > '9') return false;
        ULONGLONG next = v * 10 + static_cast<ULONGLONG>(c - '0');
        if (next / 10 != v) return false;
        v = next;
    }
    *out = v;
    return true;
}

bool LineReader::Quoted(std::u16string* out) {
    out->clear();
    if (pos_ >= s_.size() || s_[pos_] != '"') return false;
    ++pos_;
    while (pos_ < s_.size()) {
        unsigned char c = static_cast<unsigned char>(s_[pos_]);
        if (c == '"') {
            ++pos_;
            return true;
        }
        if (c >= 0x80) {
            size_t start = pos_;
            while (pos_ < s_.size() && static_cast<unsigned char>(s_[pos_]) >= 0x80) ++pos_;
            std::u16string run;
            if (!text::TryToUtf16(s_.substr(start, pos_ - start), &run)) return false;
            *out += run;
            continue;
        }
        if (c < 0x20 || c == 0x7F) return false;
        ++pos_;
        if (c != '\\') {
            out->push_back(c);
            continue;
        }
        if (pos_ >= s_.size()) return false;
        char e = s_[pos_++];
        if (char16_t c16 = EscapedUnit(e); c16 != kNotEscape) {
            out->push_back(c16);
            continue;
        }
        ULONGLONG v;
        if (e != 'u' || pos_ + 4 > s_.size() || !ParseHex(s_.substr(pos_, 4), &v)) return false;
        pos_ += 4;
        out->push_back(static_cast<char16_t>(v));
    }
    return false;  // no closing quote
}

bool ParseValueLine(LineReader& r, Value* v) {
    ULONGLONG type;
    if (!r.Space() || !r.Quoted(&v->name) || !r.Space() || !ParseDecimal(r.Word(), &type) ||
        type > 0xFFFFFFFFULL || !r.Space()) {
        return false;
    }
    v->type = static_cast<DWORD>(type);
    std::string_view form = r.Word();
    if (form == "str") {
        std::u16string units;
        if (!r.Space() || !r.Quoted(&units) || !IsStringType(v->type)) return false;
        v->data.resize(units.size() * 2);
        if (!units.empty()) std::memcpy(v->data.data(), units.data(), v->data.size());
    } else if (form == "dword" || form == "qword") {
        const size_t n = form == "dword" ? 4 : 8;
        std::string_view word;
        ULONGLONG x;
        if (!r.Space() || (word = r.Word()).size() != 2 + 2 * n || word.substr(0, 2) != "0x" ||
            !ParseHex(word.substr(2), &x) || v->type != (n == 4 ? REG_DWORD : REG_QWORD)) {
            return false;
        }
        v->data.resize(n);
        for (size_t i = 0; i < n; ++i) v->data[i] = static_cast<BYTE>(x >> (8 * i));
    } else if (form.substr(0, 4) == "hex:") {
        std::string_view digits = form.substr(4);
        if (digits.size() % 2 != 0) return false;
        v->data.resize(digits.size() / 2);
        for (size_t i = 0; i < v->data.size(); ++i) {
            int hi = HexDigit(digits[2 * i]), lo = HexDigit(digits[2 * i + 1]);
            if (hi < 0 || lo < 0) return false;
            v->data[i] = static_cast<BYTE>(hi * 16 + lo);
        }
    } else {
        return false;
    }
    return r.AtEnd();
}

bool ParseHeader(std::string_view line, ULONGLONG* stamp) {
    if (line.size() != kMagic.size() + 16 || line.substr(0, kMagic.size()) != kMagic) return false;
    return ParseHex(line.substr(kMagic.size()), stamp);
}

void EnsureSkeleton(Key& root) {
    bool created;
    root.AddSubkey(u"Software", 0, &created).AddSubkey(u"Classes", 0, &created);
}

LSTATUS ErrnoStatus(int err, LSTATUS fallback) {
    switch (err) {
        case EACCES:
        case EPERM:
        case EROFS:
            return ERROR_ACCESS_DENIED;
        case ENOSPC:
        case EDQUOT:
            return ERROR_DISK_FULL;
        case ENOMEM:
            return ERROR_NOT_ENOUGH_MEMORY;
        default:
            return fallback;
    }
}

ULONGLONG RandomStamp() {
    ULONGLONG v = 0;
    if (getrandom(&v, sizeof v, 0) != static_cast<ssize_t>(sizeof v)) {
        // Only uniqueness matters for a stamp; fall back to time, process and a counter.
        static std::atomic<ULONGLONG> counter{0};
        v = NowFileTime() ^ (static_cast<ULONGLONG>(getpid()) << 40) ^
            (++counter * 0x9E3779B97F4A7C15ULL);
    }
    return v ? v : 1;
}

LSTATUS MakeDirs(const std::string& dir) {
    for (size_t pos = 1; pos <= dir.size(); ++pos) {
        if (pos != dir.size() && dir[pos] != '/') continue;
        std::string part = dir.substr(0, pos);
        if (mkdir(part.c_str(), 0777) != 0 && errno != EEXIST) {
            const int err = errno;
            SetFailure("cannot create the registry folder " + dir + ": " + std::strerror(err));
            return ErrnoStatus(err, ERROR_PATH_NOT_FOUND);
        }
    }
    // An existing file of that name passes mkdir's EEXIST above.
    struct stat info;
    const int err = stat(dir.c_str(), &info) != 0 ? errno : S_ISDIR(info.st_mode) ? 0 : ENOTDIR;
    if (err != 0) {
        SetFailure("cannot use the registry folder " + dir + ": " + std::strerror(err));
        return ErrnoStatus(err, ERROR_PATH_NOT_FOUND);
    }
    return ERROR_SUCCESS;
}

bool WriteAll(int fd, const char* p, size_t n) {
    while (n > 0) {
        ssize_t w = write(fd, p, n);
        if (w < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        p += w;
        n -= static_cast<size_t>(w);
    }
    return true;
}

bool ReadAll(int fd, std::string* out) {
    out->clear();
    char buf[65536];
    for (;;) {
        ssize_t r = read(fd, buf, sizeof buf);
        if (r < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        if (r == 0) return true;
        out->append(buf, static_cast<size_t>(r));
    }
}

}  // namespace

// ---- Key ----

Key* Key::FindSubkey(std::u16string_view n) {
    return FindSubkeyIn(*this, n);
}
const Key* Key::FindSubkey(std::u16string_view n) const {
    return FindSubkeyIn(*this, n);
}
Value* Key::FindValue(std::u16string_view n) {
    return FindValueIn(*this, n);
}
const Value* Key::FindValue(std::u16string_view n) const {
    return FindValueIn(*this, n);
}

Key& Key::AddSubkey(std::u16string_view n, ULONGLONG now, bool* created) {
    auto it = LowerBound(subkeys, n);
    if (it != subkeys.end() && text::EqualNoCase(it->name, n)) {
        *created = false;
        return *it;
    }
    Key k;
    k.name = std::u16string(n);
    k.lastWrite = now;
    *created = true;
    return *subkeys.insert(it, std::move(k));
}

bool Key::RemoveSubkey(std::u16string_view n) {
    auto it = LowerBound(subkeys, n);
    if (it == subkeys.end() || !text::EqualNoCase(it->name, n)) return false;
    subkeys.erase(it);
    return true;
}

Key* Key::Find(const std::vector<std::u16string>& path, size_t count) {
    Key* k = this;
    for (size_t i = 0; i < count && k; ++i) k = k->FindSubkey(path[i]);
    return k;
}

const Key* Key::Find(const std::vector<std::u16string>& path, size_t count) const {
    const Key* k = this;
    for (size_t i = 0; i < count && k; ++i) k = k->FindSubkey(path[i]);
    return k;
}

ULONGLONG NowFileTime() {
    auto ns = std::chrono::duration_cast<std::chrono::nanoseconds>(
                  std::chrono::system_clock::now().time_since_epoch())
                  .count();
    return kUnixEpochTicks + static_cast<ULONGLONG>(ns / 100);
}

std::string Serialize(const Key& root, ULONGLONG stamp) {
    std::string out(kMagic);
    AppendHex(out, stamp, 16);
    out.push_back('\n');
    std::vector<const std::u16string*> path;
    AppendKey(out, root, path);
    out += "end\n";
    return out;
}

namespace {

LSTATUS ParseLines(std::string_view text, Key* root, ULONGLONG* stamp, size_t* lineNo) {
    Key tree;
    ULONGLONG st = 0;
    Key* current = nullptr;
    bool header = false, ended = false, rootSeen = false;
    size_t pos = 0;
    while (pos < text.size()) {
        ++*lineNo;
        size_t eol = text.find('\n', pos);
        if (eol == std::string_view::npos || ended) return ERROR_BADDB;  // torn or trailing
        std::string_view line = text.substr(pos, eol - pos);
        pos = eol + 1;
        if (!header) {
            if (!ParseHeader(line, &st)) return ERROR_BADDB;
            header = true;
            continue;
        }
        LineReader r(line);
        std::string_view word = r.Word();
        if (word == "end" && r.AtEnd()) {
            ended = true;
        } else if (word == "key") {
            ULONGLONG when;
            if (!r.Space() || !ParseDecimal(r.Word(), &when)) return ERROR_BADDB;
            std::vector<std::u16string> path;
            while (!r.AtEnd()) {
                std::u16string name;
                if (!r.Space() || !r.Quoted(&name) || name.empty() ||
                    name.find(u'\\') != std::u16string::npos) {
                    return ERROR_BADDB;
                }
                path.push_back(std::move(name));
            }
            if (path.empty()) {
                if (rootSeen) return ERROR_BADDB;
                rootSeen = true;
                current = &tree;
            } else {
                Key* parent = rootSeen ? tree.Find(path, path.size() - 1) : nullptr;
                bool created;
                if (!parent) return ERROR_BADDB;
                current = &parent->AddSubkey(path.back(), when, &created);
                if (!created) return ERROR_BADDB;
            }
            current->lastWrite = when;
        } else if (word == "value") {
            Value v;
            if (!current || !ParseValueLine(r, &v) || current->FindValue(v.name))
                return ERROR_BADDB;
            current->values.push_back(std::move(v));
        } else {
            return ERROR_BADDB;
        }
    }
    ++*lineNo;  // a missing end is wrong after the last line
    if (!ended || !rootSeen) return ERROR_BADDB;
    *root = std::move(tree);
    *stamp = st;
    return ERROR_SUCCESS;
}

}  // namespace

LSTATUS Parse(std::string_view text, Key* root, ULONGLONG* stamp, size_t* badLine) {
    size_t lineNo = 0;
    LSTATUS status = ParseLines(text, root, stamp, &lineNo);
    if (status != ERROR_SUCCESS && badLine) *badLine = std::max<size_t>(lineNo, 1);
    return status;
}

// ---- HiveFile ----

void SetFailure(std::string text) {
    t_failure = std::move(text);
}

ULONGLONG NowMs() {
    return static_cast<ULONGLONG>(std::chrono::duration_cast<std::chrono::milliseconds>(
                                      std::chrono::steady_clock::now().time_since_epoch())
                                      .count());
}

void HiveFile::SetPath(std::string dir, std::string label) {
    Unlock();
    dir_ = std::move(dir);
    label_ = std::move(label);
    hivePath_ = dir_ + "/" + label_ + ".hive";
    lockPath_ = dir_ + "/" + label_ + ".lock";
    Forget();
}

void HiveFile::Forget() {
    root_ = Key();
    stamp_ = 0;
    loaded_ = false;
}

LSTATUS HiveFile::Refresh() {
    if (inTransaction_ && changed_) return ERROR_SUCCESS;
    const std::string what = "the " + label_ + " hive " + hivePath_;
    int fd = open(hivePath_.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        if (errno != ENOENT && errno != ENOTDIR) {
            SetFailure("cannot read " + what + ": " + std::strerror(errno));
            return ErrnoStatus(errno, ERROR_CANTREAD);
        }
        if (!loaded_ || stamp_ != 0) {
            root_ = Key();
            EnsureSkeleton(root_);
            stamp_ = 0;
            loaded_ = true;
        }
        return ERROR_SUCCESS;
    }
    // The header alone tells whether the cached tree is this file's.
    char head[128];
    ssize_t n;
    do {
        n = pread(fd, head, sizeof head, 0);
    } while (n < 0 && errno == EINTR);
    if (n < 0) {
        const int err = errno;
        close(fd);
        SetFailure("cannot read " + what + ": " + std::strerror(err));
        return ErrnoStatus(err, ERROR_CANTREAD);
    }
    std::string_view headView(head, static_cast<size_t>(n));
    size_t eol = headView.find('\n');
    ULONGLONG stamp = 0;
    if (eol == std::string_view::npos || !ParseHeader(headView.substr(0, eol), &stamp)) {
        close(fd);
        SetFailure(what + " is damaged (line 1)");
        return ERROR_BADDB;
    }
    if (loaded_ && stamp == stamp_) {
        close(fd);
        return ERROR_SUCCESS;
    }
    std::string content;
    bool ok = ReadAll(fd, &content);
    int err = errno;
    close(fd);
    if (!ok) {
        SetFailure("cannot read " + what + ": " + std::strerror(err));
        return ErrnoStatus(err, ERROR_CANTREAD);
    }
    Key tree;
    size_t badLine = 0;
    LSTATUS st = Parse(content, &tree, &stamp, &badLine);
    if (st != ERROR_SUCCESS) {
        SetFailure(what + " is damaged (line " + std::to_string(badLine) + ")");
        return st;
    }
    EnsureSkeleton(tree);
    root_ = std::move(tree);
    stamp_ = stamp;
    loaded_ = true;
    return ERROR_SUCCESS;
}

LSTATUS HiveFile::Lock(ULONGLONG deadlineMs) {
    if (lockFd_ >= 0) return ERROR_SUCCESS;
    LSTATUS st = MakeDirs(dir_);
    if (st != ERROR_SUCCESS) return st;
    // A fresh open per lock: flock belongs to the open file description, which a forked
    // child would otherwise share with its parent.
    int fd = open(lockPath_.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0666);
    if (fd < 0) {
        const int err = errno;
        SetFailure("cannot open the lock file " + lockPath_ + " of the " + label_ +
                   " hive: " + std::strerror(err));
        return ErrnoStatus(err, ERROR_CANTOPEN);
    }
    // Polled rather than blocking, so that the wait has a bound; the pause grows so that many
    // waiting processes do not keep the holder from the processor.
    unsigned pauseMs = kLockPollMinMs;
    while (flock(fd, LOCK_EX | LOCK_NB) != 0) {
        const int err = errno;
        if (err == EINTR) continue;
        if (err != EWOULDBLOCK) {
            close(fd);
            SetFailure("cannot lock the " + label_ + " hive " + lockPath_ + ": " +
                       std::strerror(err));
            return ErrnoStatus(err, ERROR_CANTOPEN);
        }
        if (NowMs() > deadlineMs) {  // strictly: the clock counts whole milliseconds
            close(fd);
            SetFailure("the registry is busy: another process keeps the " + label_ + " hive " +
                       hivePath_ + " locked");
            return ERROR_BUSY;
        }
        usleep(pauseMs * 1000);
        pauseMs = std::min(pauseMs * 2, kLockPollMaxMs);
    }
    lockFd_ = fd;
    return ERROR_SUCCESS;
}

void HiveFile::Unlock() {
    if (lockFd_ < 0 || inTransaction_) return;
    flock(lockFd_, LOCK_UN);
    close(lockFd_);
    lockFd_ = -1;
}

LSTATUS HiveFile::Commit(Key newRoot) {
    if (lockFd_ < 0) return ERROR_CANTWRITE;
    if (inTransaction_) {
        if (ConsumeInjectedWriteFailure()) {
            SetFailure("cannot write the " + label_ + " hive " + hivePath_ + ": injected failure");
            return ERROR_CANTWRITE;
        }
        if (!changed_) before_ = root_;
        root_ = std::move(newRoot);
        EnsureSkeleton(root_);
        changed_ = true;
        return ERROR_SUCCESS;
    }
    LSTATUS st = WriteFile(newRoot);
    if (st != ERROR_SUCCESS) return st;
    root_ = std::move(newRoot);
    EnsureSkeleton(root_);
    return ERROR_SUCCESS;
}

LSTATUS HiveFile::WriteFile(const Key& tree) {
    const ULONGLONG stamp = RandomStamp();
    const std::string content = Serialize(tree, stamp);
    char suffix[17] = {};
    std::snprintf(suffix, sizeof suffix, "%016llx", static_cast<unsigned long long>(RandomStamp()));
    const std::string tmp = hivePath_ + ".tmp." + std::to_string(getpid()) + "." + suffix;
    const std::string what = "cannot write the " + label_ + " hive " + hivePath_ + ": ";
    int fd = open(tmp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd < 0) {
        const int err = errno;
        SetFailure(what + std::strerror(err));
        return ErrnoStatus(err, ERROR_CANTWRITE);
    }
    LSTATUS st = ERROR_SUCCESS;
    int err = 0;
    if (ConsumeInjectedWriteFailure()) {
        WriteAll(fd, content.data(), content.size() / 2);
        st = ERROR_CANTWRITE;
        SetFailure(what + "injected failure");
    } else if (!WriteAll(fd, content.data(), content.size()) || fsync(fd) != 0) {
        err = errno;
        st = ErrnoStatus(err, ERROR_CANTWRITE);
    }
    if (close(fd) != 0 && st == ERROR_SUCCESS) {
        err = errno;
        st = ErrnoStatus(err, ERROR_CANTWRITE);
    }
    if (st == ERROR_SUCCESS && rename(tmp.c_str(), hivePath_.c_str()) != 0) {
        err = errno;
        st = ErrnoStatus(err, ERROR_CANTWRITE);
    }
    if (st != ERROR_SUCCESS) {
        if (err != 0) SetFailure(what + std::strerror(err));
        unlink(tmp.c_str());
        return st;
    }
    // Make the rename itself durable; the data is already safe in either file.
    int dfd = open(dir_.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dfd >= 0) {
        fsync(dfd);
        close(dfd);
    }
    stamp_ = stamp;
    loaded_ = true;
    return ERROR_SUCCESS;
}

void HiveFile::BeginTransaction() {
    inTransaction_ = true;
    changed_ = false;
    written_ = false;
}

LSTATUS HiveFile::WriteTransaction() {
    if (!changed_) return ERROR_SUCCESS;
    if (ConsumeInjectedWriteFailure()) {
        SetFailure("cannot write the " + label_ + " hive " + hivePath_ + ": injected failure");
        return ERROR_CANTWRITE;
    }
    LSTATUS st = WriteFile(root_);
    written_ = st == ERROR_SUCCESS;
    return st;
}

void HiveFile::RevertWrite() {
    // Best effort: a hive that cannot be put back keeps the transaction's tree, whole.
    if (written_ && WriteFile(before_) == ERROR_SUCCESS) written_ = false;
}

void HiveFile::EndTransaction(bool keep) {
    if (changed_ && !keep && !written_) root_ = std::move(before_);
    before_ = Key();
    inTransaction_ = false;
    changed_ = false;
    written_ = false;
    Unlock();
}

}  // namespace corvane::reg

EXTERN_C size_t CorvaneGetRegistryFailure(char* buf, size_t size) {
    const std::string& text = corvane::reg::t_failure;
    if (text.empty()) return 0;
    if (!buf || size <= text.size()) return text.size() + 1;
    std::memcpy(buf, text.c_str(), text.size() + 1);
    return text.size();
}

EXTERN_C void CorvaneClearRegistryFailure(void) {
    corvane::reg::t_failure.clear();
}

EXTERN_C void CorvaneRegistryFailNthWrite(unsigned n) {
    corvane::reg::g_failCountdown.store(n);
}
