// The registry functions: handles, the HKEY_CLASSES_ROOT view and the Win32 results, over the
// two hive files of registry_hive.cpp.
#include "platform/win32.h"

#include <unistd.h>

#include <algorithm>
#include <condition_variable>
#include <cstdlib>
#include <mutex>
#include <new>
#include <optional>
#include <string>
#include <thread>
#include <unordered_map>
#include <vector>

#include "platform/linux/text.h"

namespace corvane::reg {
namespace {

// Which tree a handle's path is relative to: a hive's root, or the classes view (relative to
// Software\Classes of both hives).
enum class Space { Machine, User, Classes };

struct KeyRef {
    Space space = Space::Machine;
    std::vector<std::u16string> path;
};

struct HandleEntry {
    KeyRef key;
    REGSAM access = 0;
};

constexpr size_t kMaxKeyNameLength = 255;  // characters of one key name, as on Windows
// How long a single change waits for another process's lock (a transaction, most likely) before
// it gives up with ERROR_BUSY: far longer than any registration holds it.
constexpr ULONGLONG kChangeWaitMs = 30000;
const std::u16string kSoftware = u"Software";
const std::u16string kClasses = u"Classes";

struct Registry {
    std::mutex mu;
    std::string root;
    bool rootResolved = false;
    HiveFile machine, user;
    // The result of the last refresh of the machine's hive: a classes-view read that the user's
    // hive settles alone still works while it is a failure.
    LSTATUS machineStatus = ERROR_SUCCESS;
    std::unordered_map<uintptr_t, HandleEntry> handles;
    uintptr_t nextHandle = 0x1000;
    // The open transaction, if any, and the thread that owns it; other threads wait for its end.
    bool transaction = false;
    std::thread::id owner;
    std::condition_variable transactionEnded;

    bool OthersTransaction() const { return transaction && owner != std::this_thread::get_id(); }
};

Registry& R() {
    // Never destroyed: registry calls stay valid during other objects' static destruction.
    static Registry* r = new Registry;
    return *r;
}

// ---- root folder ----

bool DefaultRoot(std::string* out) {
    const char* env = std::getenv("CORVANE_REGISTRY_ROOT");
    if (env && *env) {
        *out = env;
        return true;
    }
    const char* xdg = std::getenv("XDG_DATA_HOME");
    if (xdg && *xdg == '/') {
        *out = std::string(xdg) + "/corvane/registry";
        return true;
    }
    const char* home = std::getenv("HOME");
    if (home && *home) {
        *out = std::string(home) + "/.local/share/corvane/registry";
        return true;
    }
    return false;
}

bool MakeAbsolute(std::string* path) {
    if (!path->empty() && (*path)[0] == '/') return true;
    std::vector<char> buf(4096);
    while (!getcwd(buf.data(), buf.size())) {
        if (errno != ERANGE || buf.size() > (1u << 20)) return false;
        buf.resize(buf.size() * 2);
    }
    *path = std::string(buf.data()) + "/" + *path;
    return true;
}

void UseRoot(Registry& r, std::string dir) {
    while (dir.size() > 1 && dir.back() == '/') dir.pop_back();
    r.root = std::move(dir);
    r.rootResolved = true;
    r.machine.SetPath(r.root, "machine");
    r.user.SetPath(r.root, "user");
}

LSTATUS EnsureRoot(Registry& r) {
    if (r.rootResolved) return ERROR_SUCCESS;
    std::string dir;
    if (!DefaultRoot(&dir) || !MakeAbsolute(&dir)) return ERROR_PATH_NOT_FOUND;
    UseRoot(r, std::move(dir));
    return ERROR_SUCCESS;
}

// ---- handles and paths ----

REGSAM MapAccess(REGSAM sam) {
    REGSAM a = sam & ~static_cast<REGSAM>(KEY_WOW64_RES | GENERIC_READ | GENERIC_WRITE |
                                          GENERIC_EXECUTE | GENERIC_ALL | MAXIMUM_ALLOWED);
    if (sam & GENERIC_READ) a |= KEY_READ;
    if (sam & GENERIC_WRITE) a |= KEY_WRITE;
    if (sam & GENERIC_EXECUTE) a |= KEY_EXECUTE;
    if (sam & (GENERIC_ALL | MAXIMUM_ALLOWED)) a |= KEY_ALL_ACCESS;
    return a;
}

LSTATUS Resolve(Registry& r, HKEY h, HandleEntry* out) {
    if (h == HKEY_LOCAL_MACHINE || h == HKEY_CURRENT_USER || h == HKEY_CLASSES_ROOT) {
        out->key.space = h == HKEY_LOCAL_MACHINE  ? Space::Machine
                         : h == HKEY_CURRENT_USER ? Space::User
                                                  : Space::Classes;
        out->key.path.clear();
        out->access = KEY_ALL_ACCESS;
        return ERROR_SUCCESS;
    }
    auto it = r.handles.find(reinterpret_cast<uintptr_t>(h));
    if (it == r.handles.end()) return ERROR_INVALID_HANDLE;
    *out = it->second;
    return ERROR_SUCCESS;
}

HKEY NewHandle(Registry& r, KeyRef key, REGSAM access) {
    uintptr_t id = r.nextHandle;
    r.nextHandle += 4;
    r.handles[id] = HandleEntry{std::move(key), MapAccess(access)};
    return reinterpret_cast<HKEY>(id);
}

// Appends the components of a subkey path ("a\b\c"). NULL and "" add nothing; one trailing
// backslash is accepted.
LSTATUS AppendSubKey(LPCWSTR sub, std::vector<std::u16string>* path) {
    if (!sub || !*sub) return ERROR_SUCCESS;
    std::u16string_view s(sub);
    if (s.back() == u'\\') s.remove_suffix(1);
    size_t start = 0;
    for (;;) {
        size_t end = s.find(u'\\', start);
        std::u16string_view part =
            s.substr(start, end == std::u16string_view::npos ? end : end - start);
        if (part.empty()) return ERROR_BAD_PATHNAME;
        if (part.size() > kMaxKeyNameLength) return ERROR_INVALID_PARAMETER;
        path->emplace_back(part);
        if (end == std::u16string_view::npos) return ERROR_SUCCESS;
        start = end + 1;
    }
}

// Path of a key inside its hive: classes paths gain the Software\Classes prefix.
std::vector<std::u16string> HivePath(Space space, const std::vector<std::u16string>& path) {
    if (space != Space::Classes) return path;
    std::vector<std::u16string> full{kSoftware, kClasses};
    full.insert(full.end(), path.begin(), path.end());
    return full;
}

// True when deleting the key at hivePath (with its subtree, or only below it when
// contentsOnly) would remove Software\Classes, Software or a hive root, which always exist.
bool TouchesKeptKeys(const std::vector<std::u16string>& hivePath, bool contentsOnly) {
    const size_t depth = hivePath.size();
    if (depth >= 1 && !text::EqualNoCase(hivePath[0], kSoftware)) return false;
    if (depth >= 2 && !text::EqualNoCase(hivePath[1], kClasses)) return false;
    return contentsOnly ? depth < 2 : depth <= 2;
}

// ---- reading through a view ----

// One key as seen through a handle: for the classes view the user's key (first) over the
// machine's; otherwise a single key. Pointers into the hive caches: valid until the next
// refresh or commit.
struct View {
    const Key* first = nullptr;
    const Key* second = nullptr;
    // The failure of the machine's hive when a classes view could not read it: only what first
    // holds is known then.
    LSTATUS missing = ERROR_SUCCESS;
    bool Exists() const { return first || second; }
    // ERROR_SUCCESS when the key is there; when it is not, notFound, or the unreadable hive's
    // failure when that hive might have held it.
    LSTATUS Presence(LSTATUS notFound) const {
        if (Exists()) return ERROR_SUCCESS;
        return missing != ERROR_SUCCESS ? missing : notFound;
    }
};

LSTATUS RefreshMachine(Registry& r) {
    r.machineStatus = r.machine.Refresh();
    return r.machineStatus;
}

// Brings the hives of space up to date. For the classes view an unreadable machine hive is no
// failure here: Lookup marks the view as partial instead.
LSTATUS RefreshFor(Registry& r, Space space) {
    if (space == Space::Machine) return RefreshMachine(r);
    LSTATUS st = r.user.Refresh();
    if (st == ERROR_SUCCESS && space == Space::Classes) RefreshMachine(r);
    return st;
}

View Lookup(Registry& r, Space space, const std::vector<std::u16string>& path) {
    const auto full = HivePath(space, path);
    View v;
    if (space == Space::Machine) {
        v.first = r.machine.Root().Find(full, full.size());
    } else if (space == Space::User) {
        v.first = r.user.Root().Find(full, full.size());
    } else {
        v.first = r.user.Root().Find(full, full.size());
        if (r.machineStatus == ERROR_SUCCESS) {
            v.second = r.machine.Root().Find(full, full.size());
        } else {
            v.missing = r.machineStatus;
        }
    }
    return v;
}

const Value* FindValue(const View& v, std::u16string_view name) {
    const Value* found = v.first ? v.first->FindValue(name) : nullptr;
    if (!found && v.second) found = v.second->FindValue(name);
    return found;
}

std::vector<const Value*> Values(const View& v) {
    std::vector<const Value*> out;
    if (v.first) {
        for (const auto& val : v.first->values) out.push_back(&val);
    }
    if (v.second) {
        for (const auto& val : v.second->values) {
            if (!v.first || !v.first->FindValue(val.name)) out.push_back(&val);
        }
    }
    return out;
}

// Subkeys in name order; a name in both keys is taken from the first.
std::vector<const Key*> Subkeys(const View& v) {
    std::vector<const Key*> out;
    static const std::vector<Key> kNone;
    const auto& a = v.first ? v.first->subkeys : kNone;
    const auto& b = v.second ? v.second->subkeys : kNone;
    size_t i = 0, j = 0;
    while (i < a.size() || j < b.size()) {
        int c = i == a.size() ? 1 : j == b.size() ? -1 : text::CompareNoCase(a[i].name, b[j].name);
        if (c <= 0) {
            out.push_back(&a[i++]);
            if (c == 0) ++j;
        } else {
            out.push_back(&b[j++]);
        }
    }
    return out;
}

ULONGLONG LastWrite(const View& v) {
    ULONGLONG t = v.first ? v.first->lastWrite : 0;
    if (v.second) t = std::max(t, v.second->lastWrite);
    return t;
}

void StoreFileTime(ULONGLONG t, PFILETIME ft) {
    if (!ft) return;
    ft->dwLowDateTime = static_cast<DWORD>(t);
    ft->dwHighDateTime = static_cast<DWORD>(t >> 32);
}

// Copies name with its NUL into buf of *cch characters; ERROR_MORE_DATA when it does not fit.
LSTATUS CopyName(const std::u16string& name, LPWSTR buf, LPDWORD cch) {
    if (*cch <= name.size()) return ERROR_MORE_DATA;
    std::copy(name.begin(), name.end(), buf);
    buf[name.size()] = u'\0';
    *cch = static_cast<DWORD>(name.size());
    return ERROR_SUCCESS;
}

// Reports type and data as RegQueryValueExW and RegEnumValueW do.
LSTATUS CopyData(const Value& v, LPDWORD type, LPBYTE data, LPDWORD cb) {
    if (type) *type = v.type;
    if (!cb) return ERROR_SUCCESS;
    const DWORD size = static_cast<DWORD>(v.data.size());
    if (data && *cb < size) {
        *cb = size;
        return ERROR_MORE_DATA;
    }
    if (data && size) std::memcpy(data, v.data.data(), size);
    *cb = size;
    return ERROR_SUCCESS;
}

// ---- writing ----

// A read-modify-write of one or both hives: locks them (machine first, so that writers never
// wait on each other in a cycle), re-reads them, edits copies and commits the edited ones.
class Change {
public:
    explicit Change(Registry& r) : r_(r) {}
    ~Change() {
        r_.user.Unlock();
        r_.machine.Unlock();
    }
    Change(const Change&) = delete;
    Change& operator=(const Change&) = delete;

    LSTATUS Begin(Space space) {
        LSTATUS st = ERROR_SUCCESS;
        const ULONGLONG deadline = NowMs() + kChangeWaitMs;
        if (space != Space::User) {
            st = r_.machine.Lock(deadline);
            if (st == ERROR_SUCCESS) st = RefreshMachine(r_);
        }
        if (st == ERROR_SUCCESS && space != Space::Machine) {
            st = r_.user.Lock(deadline);
            if (st == ERROR_SUCCESS) st = r_.user.Refresh();
        }
        return st;
    }

    // The editable tree of one hive (a copy of the cache, made on first use).
    Key& Edit(bool user) {
        auto& slot = user ? user_ : machine_;
        if (!slot) slot = (user ? r_.user : r_.machine).Root();
        return *slot;
    }

    // Writes the edited hives. When the second of two writes fails, the first is undone as far
    // as the file system lets us, so that the call fails as a whole.
    LSTATUS Commit() {
        Key oldUser;
        if (user_) {
            if (machine_) oldUser = r_.user.Root();
            LSTATUS st = r_.user.Commit(std::move(*user_));
            if (st != ERROR_SUCCESS) return st;
        }
        if (machine_) {
            LSTATUS st = r_.machine.Commit(std::move(*machine_));
            if (st != ERROR_SUCCESS) {
                if (user_) r_.user.Commit(std::move(oldUser));
                return st;
            }
        }
        return ERROR_SUCCESS;
    }

private:
    Registry& r_;
    std::optional<Key> machine_, user_;
};

// The hives a key of this space lives in, as (is user hive) flags.
std::vector<bool> HivesOf(Space space) {
    if (space == Space::Machine) return {false};
    if (space == Space::User) return {true};
    return {true, false};
}

bool HiveHas(Registry& r, bool user, const std::vector<std::u16string>& full) {
    const Key& root = user ? r.user.Root() : r.machine.Root();
    return root.Find(full, full.size()) != nullptr;
}

// The hive that a write to an existing key goes to: its own, or for the classes view the
// user's when the key exists there. Returns false when the key exists nowhere.
bool WriteTarget(Registry& r, Space space, const std::vector<std::u16string>& full, bool* user) {
    for (bool u : HivesOf(space)) {
        if (HiveHas(r, u, full)) {
            *user = u;
            return true;
        }
    }
    return false;
}

// Runs f under the registry mutex with the handle resolved and the root known.
// Allocation failures end the call with ERROR_NOT_ENOUGH_MEMORY and change nothing.
template <typename F>
LSTATUS WithHandle(HKEY h, F&& f) {
    Registry& r = R();
    std::unique_lock<std::mutex> lock(r.mu);
    r.transactionEnded.wait(lock, [&] { return !r.OthersTransaction(); });
    try {
        LSTATUS st = EnsureRoot(r);
        if (st != ERROR_SUCCESS) return st;
        HandleEntry e;
        st = Resolve(r, h, &e);
        if (st != ERROR_SUCCESS) return st;
        return f(r, e);
    } catch (const std::bad_alloc&) {
        return ERROR_NOT_ENOUGH_MEMORY;
    }
}

// Refreshes the hives of e's space and looks up e's key; ERROR_KEY_DELETED when it is gone.
LSTATUS ReadView(Registry& r, const HandleEntry& e, View* v) {
    LSTATUS st = RefreshFor(r, e.key.space);
    if (st != ERROR_SUCCESS) return st;
    *v = Lookup(r, e.key.space, e.key.path);
    return v->Presence(ERROR_KEY_DELETED);
}

// Runs f(r, e, view) for a read that needs the access rights `need` on the handle. Unless
// partial, f needs the whole view: a classes view without the machine's hive fails.
template <typename F>
LSTATUS WithView(HKEY h, REGSAM need, bool partial, F&& f) {
    return WithHandle(h, [&](Registry& r, const HandleEntry& e) -> LSTATUS {
        if ((e.access & need) != need) return ERROR_ACCESS_DENIED;
        View v;
        LSTATUS st = ReadView(r, e, &v);
        if (st == ERROR_SUCCESS && !partial && v.missing != ERROR_SUCCESS) st = v.missing;
        return st == ERROR_SUCCESS ? f(r, e, v) : st;
    });
}

// Runs f(r, e, target) with target the handle's key path extended by sub, once the handle's
// own key is known to exist.
template <typename F>
LSTATUS WithSubKey(HKEY h, LPCWSTR sub, F&& f) {
    return WithHandle(h, [&](Registry& r, const HandleEntry& e) -> LSTATUS {
        KeyRef target = e.key;
        LSTATUS st = AppendSubKey(sub, &target.path);
        if (st != ERROR_SUCCESS) return st;
        View v;
        st = ReadView(r, e, &v);
        return st == ERROR_SUCCESS ? f(r, e, target) : st;
    });
}

// Creates target with its missing parents unless it exists; *disposition tells which.
LSTATUS CreateIfMissing(Registry& r, const HandleEntry& e, const KeyRef& target,
                        DWORD* disposition) {
    if (Lookup(r, target.space, target.path).Exists()) return ERROR_SUCCESS;
    if (!(e.access & KEY_CREATE_SUB_KEY)) return ERROR_ACCESS_DENIED;
    Change change(r);
    LSTATUS st = change.Begin(target.space);
    if (st != ERROR_SUCCESS) return st;
    if (!Lookup(r, e.key.space, e.key.path).Exists()) return ERROR_KEY_DELETED;
    if (Lookup(r, target.space, target.path).Exists()) return ERROR_SUCCESS;  // raced
    // New keys through the classes view go to the machine's hive.
    Key* k = &change.Edit(target.space == Space::User);
    const ULONGLONG now = NowFileTime();
    for (const auto& name : HivePath(target.space, target.path)) {
        bool created;
        Key* child = &k->AddSubkey(name, now, &created);
        if (created) k->lastWrite = now;
        k = child;
    }
    st = change.Commit();
    if (st == ERROR_SUCCESS) *disposition = REG_CREATED_NEW_KEY;
    return st;
}

LSTATUS DeleteKey(HKEY hKey, LPCWSTR lpSubKey, bool tree) {
    return WithHandle(hKey, [&](Registry& r, const HandleEntry& e) -> LSTATUS {
        KeyRef target = e.key;
        LSTATUS st = AppendSubKey(lpSubKey, &target.path);
        if (st != ERROR_SUCCESS) return st;
        const bool contentsOnly = tree && !lpSubKey;
        if (contentsOnly) {
            REGSAM need = DELETE | KEY_ENUMERATE_SUB_KEYS | KEY_QUERY_VALUE;
            if ((e.access & need) != need) return ERROR_ACCESS_DENIED;
        }
        const auto full = HivePath(target.space, target.path);
        Change change(r);
        st = change.Begin(target.space);
        if (st != ERROR_SUCCESS) return st;
        if (!Lookup(r, e.key.space, e.key.path).Exists()) return ERROR_KEY_DELETED;
        // Through the classes view only the copy that the view shows goes: the user's where it
        // exists, else the machine's.
        bool user;
        if (!WriteTarget(r, target.space, full, &user)) return ERROR_FILE_NOT_FOUND;
        const Key* shown = (user ? r.user : r.machine).Root().Find(full, full.size());
        if (!tree && !shown->subkeys.empty()) return ERROR_ACCESS_DENIED;
        if (contentsOnly && !shown->values.empty() && !(e.access & KEY_SET_VALUE)) {
            return ERROR_ACCESS_DENIED;
        }
        if (TouchesKeptKeys(full, contentsOnly)) return ERROR_ACCESS_DENIED;
        const ULONGLONG now = NowFileTime();
        Key& root = change.Edit(user);
        if (contentsOnly) {
            Key* k = root.Find(full, full.size());
            k->subkeys.clear();
            k->values.clear();
            k->lastWrite = now;
        } else {
            Key* parent = root.Find(full, full.size() - 1);
            parent->RemoveSubkey(full.back());
            parent->lastWrite = now;
        }
        return change.Commit();
    });
}

}  // namespace
}  // namespace corvane::reg

using namespace corvane::reg;

LSTATUS RegCreateKeyExW(HKEY hKey, LPCWSTR lpSubKey, DWORD /*Reserved*/, LPWSTR /*lpClass*/,
                        DWORD dwOptions, REGSAM samDesired,
                        _SECURITY_ATTRIBUTES* /*lpSecurityAttributes*/, PHKEY phkResult,
                        LPDWORD lpdwDisposition) {
    if (!phkResult) return ERROR_INVALID_PARAMETER;
    *phkResult = nullptr;
    if (!lpSubKey) return ERROR_INVALID_PARAMETER;
    if (dwOptions & ~static_cast<DWORD>(REG_OPTION_VOLATILE | REG_OPTION_CREATE_LINK |
                                        REG_OPTION_BACKUP_RESTORE | REG_OPTION_OPEN_LINK)) {
        return ERROR_INVALID_PARAMETER;
    }
    if (dwOptions & (REG_OPTION_VOLATILE | REG_OPTION_CREATE_LINK | REG_OPTION_BACKUP_RESTORE)) {
        return ERROR_NOT_SUPPORTED;
    }
    return WithSubKey(hKey, lpSubKey,
                      [&](Registry& r, const HandleEntry& e, KeyRef& target) -> LSTATUS {
                          DWORD disposition = REG_OPENED_EXISTING_KEY;
                          LSTATUS st = CreateIfMissing(r, e, target, &disposition);
                          if (st != ERROR_SUCCESS) return st;
                          *phkResult = NewHandle(r, std::move(target), samDesired);
                          if (lpdwDisposition) *lpdwDisposition = disposition;
                          return ERROR_SUCCESS;
                      });
}

LSTATUS RegOpenKeyExW(HKEY hKey, LPCWSTR lpSubKey, DWORD ulOptions, REGSAM samDesired,
                      PHKEY phkResult) {
    if (!phkResult) return ERROR_INVALID_PARAMETER;
    *phkResult = nullptr;
    if (ulOptions & ~static_cast<DWORD>(REG_OPTION_OPEN_LINK)) return ERROR_INVALID_PARAMETER;
    return WithSubKey(
        hKey, lpSubKey, [&](Registry& r, const HandleEntry&, KeyRef& target) -> LSTATUS {
            LSTATUS st = Lookup(r, target.space, target.path).Presence(ERROR_FILE_NOT_FOUND);
            if (st != ERROR_SUCCESS) return st;
            *phkResult = NewHandle(r, std::move(target), samDesired);
            return ERROR_SUCCESS;
        });
}

LSTATUS RegSetValueExW(HKEY hKey, LPCWSTR lpValueName, DWORD /*Reserved*/, DWORD dwType,
                       const BYTE* lpData, DWORD cbData) {
    return WithHandle(hKey, [&](Registry& r, const HandleEntry& e) -> LSTATUS {
        if (!(e.access & KEY_SET_VALUE)) return ERROR_ACCESS_DENIED;
        if (!lpData && cbData) return ERROR_NOACCESS;
        Change change(r);
        LSTATUS st = change.Begin(e.key.space);
        if (st != ERROR_SUCCESS) return st;
        const auto full = HivePath(e.key.space, e.key.path);
        bool user;
        if (!WriteTarget(r, e.key.space, full, &user)) return ERROR_KEY_DELETED;
        Key* k = change.Edit(user).Find(full, full.size());
        const std::u16string_view name = lpValueName ? lpValueName : u"";
        Value* v = k->FindValue(name);
        if (!v) {
            k->values.push_back(Value{std::u16string(name), REG_NONE, {}});
            v = &k->values.back();
        }
        v->type = dwType;
        v->data.assign(lpData, lpData + cbData);
        k->lastWrite = NowFileTime();
        return change.Commit();
    });
}

LSTATUS RegQueryValueExW(HKEY hKey, LPCWSTR lpValueName, LPDWORD lpReserved, LPDWORD lpType,
                         LPBYTE lpData, LPDWORD lpcbData) {
    if (lpReserved || (lpData && !lpcbData)) return ERROR_INVALID_PARAMETER;
    return WithView(hKey, KEY_QUERY_VALUE, true,
                    [&](Registry&, const HandleEntry&, const View& v) -> LSTATUS {
                        const Value* val = FindValue(v, lpValueName ? lpValueName : u"");
                        if (!val) return v.missing ? v.missing : ERROR_FILE_NOT_FOUND;
                        return CopyData(*val, lpType, lpData, lpcbData);
                    });
}

LSTATUS RegDeleteValueW(HKEY hKey, LPCWSTR lpValueName) {
    return WithHandle(hKey, [&](Registry& r, const HandleEntry& e) -> LSTATUS {
        if (!(e.access & KEY_SET_VALUE)) return ERROR_ACCESS_DENIED;
        Change change(r);
        LSTATUS st = change.Begin(e.key.space);
        if (st != ERROR_SUCCESS) return st;
        const auto full = HivePath(e.key.space, e.key.path);
        const std::u16string_view name = lpValueName ? lpValueName : u"";
        if (!Lookup(r, e.key.space, e.key.path).Exists()) return ERROR_KEY_DELETED;
        // The value that the view shows: the user's copy before the machine's.
        for (bool user : HivesOf(e.key.space)) {
            const Key* k = (user ? r.user : r.machine).Root().Find(full, full.size());
            if (!k || !k->FindValue(name)) continue;
            Key* edit = change.Edit(user).Find(full, full.size());
            auto& vals = edit->values;
            vals.erase(std::find_if(vals.begin(), vals.end(), [&](const Value& v) {
                return corvane::text::EqualNoCase(v.name, name);
            }));
            edit->lastWrite = NowFileTime();
            return change.Commit();
        }
        return ERROR_FILE_NOT_FOUND;
    });
}

LSTATUS RegDeleteKeyW(HKEY hKey, LPCWSTR lpSubKey) {
    if (!lpSubKey) return ERROR_INVALID_PARAMETER;
    return DeleteKey(hKey, lpSubKey, false);
}

LSTATUS RegDeleteTreeW(HKEY hKey, LPCWSTR lpSubKey) {
    return DeleteKey(hKey, lpSubKey, true);
}

LSTATUS RegEnumKeyExW(HKEY hKey, DWORD dwIndex, LPWSTR lpName, LPDWORD lpcchName,
                      LPDWORD lpReserved, LPWSTR lpClass, LPDWORD lpcchClass,
                      PFILETIME lpftLastWriteTime) {
    if (!lpName || !lpcchName || lpReserved || (lpClass && !lpcchClass)) {
        return ERROR_INVALID_PARAMETER;
    }
    return WithView(hKey, KEY_ENUMERATE_SUB_KEYS, false,
                    [&](Registry& r, const HandleEntry& e, const View& v) -> LSTATUS {
                        const auto subkeys = Subkeys(v);
                        if (dwIndex >= subkeys.size()) return ERROR_NO_MORE_ITEMS;
                        const Key& k = *subkeys[dwIndex];
                        if (lpClass && *lpcchClass == 0) return ERROR_MORE_DATA;
                        LSTATUS st = CopyName(k.name, lpName, lpcchName);
                        if (st != ERROR_SUCCESS) return st;
                        if (lpClass) {
                            lpClass[0] = u'\0';
                            *lpcchClass = 0;
                        }
                        // The time of the key as the view shows it: for the classes view both
                        // hives' copies.
                        auto path = e.key.path;
                        path.push_back(k.name);
                        StoreFileTime(LastWrite(Lookup(r, e.key.space, path)), lpftLastWriteTime);
                        return ERROR_SUCCESS;
                    });
}

LSTATUS RegEnumValueW(HKEY hKey, DWORD dwIndex, LPWSTR lpValueName, LPDWORD lpcchValueName,
                      LPDWORD lpReserved, LPDWORD lpType, LPBYTE lpData, LPDWORD lpcbData) {
    if (!lpValueName || !lpcchValueName || lpReserved || (lpData && !lpcbData)) {
        return ERROR_INVALID_PARAMETER;
    }
    return WithView(hKey, KEY_QUERY_VALUE, false,
                    [&](Registry&, const HandleEntry&, const View& v) -> LSTATUS {
                        const auto values = Values(v);
                        if (dwIndex >= values.size()) return ERROR_NO_MORE_ITEMS;
                        const Value& val = *values[dwIndex];
                        LSTATUS st = CopyName(val.name, lpValueName, lpcchValueName);
                        if (st != ERROR_SUCCESS) return st;
                        return CopyData(val, lpType, lpData, lpcbData);
                    });
}

LSTATUS RegQueryInfoKeyW(HKEY hKey, LPWSTR lpClass, LPDWORD lpcchClass, LPDWORD lpReserved,
                         LPDWORD lpcSubKeys, LPDWORD lpcbMaxSubKeyLen, LPDWORD lpcbMaxClassLen,
                         LPDWORD lpcValues, LPDWORD lpcbMaxValueNameLen, LPDWORD lpcbMaxValueLen,
                         LPDWORD lpcbSecurityDescriptor, PFILETIME lpftLastWriteTime) {
    if (lpReserved || (lpClass && !lpcchClass)) return ERROR_INVALID_PARAMETER;
    return WithView(hKey, KEY_QUERY_VALUE, false,
                    [&](Registry&, const HandleEntry&, const View& v) -> LSTATUS {
                        if (lpClass) {
                            if (*lpcchClass == 0) return ERROR_MORE_DATA;
                            lpClass[0] = u'\0';
                        }
                        if (lpcchClass) *lpcchClass = 0;
                        const auto subkeys = Subkeys(v);
                        const auto values = Values(v);
                        DWORD maxSub = 0, maxName = 0, maxData = 0;
                        for (const Key* k : subkeys)
                            maxSub = std::max(maxSub, static_cast<DWORD>(k->name.size()));
                        for (const Value* val : values) {
                            maxName = std::max(maxName, static_cast<DWORD>(val->name.size()));
                            maxData = std::max(maxData, static_cast<DWORD>(val->data.size()));
                        }
                        if (lpcSubKeys) *lpcSubKeys = static_cast<DWORD>(subkeys.size());
                        if (lpcbMaxSubKeyLen) *lpcbMaxSubKeyLen = maxSub;
                        if (lpcbMaxClassLen) *lpcbMaxClassLen = 0;
                        if (lpcValues) *lpcValues = static_cast<DWORD>(values.size());
                        if (lpcbMaxValueNameLen) *lpcbMaxValueNameLen = maxName;
                        if (lpcbMaxValueLen) *lpcbMaxValueLen = maxData;
                        if (lpcbSecurityDescriptor) *lpcbSecurityDescriptor = 0;
                        StoreFileTime(LastWrite(v), lpftLastWriteTime);
                        return ERROR_SUCCESS;
                    });
}

LSTATUS RegCloseKey(HKEY hKey) {
    if (hKey == HKEY_LOCAL_MACHINE || hKey == HKEY_CURRENT_USER || hKey == HKEY_CLASSES_ROOT) {
        return ERROR_SUCCESS;
    }
    Registry& r = R();
    std::lock_guard<std::mutex> lock(r.mu);
    return r.handles.erase(reinterpret_cast<uintptr_t>(hKey)) ? ERROR_SUCCESS
                                                              : ERROR_INVALID_HANDLE;
}

LSTATUS CorvaneSetRegistryRoot(const char* dir) {
    Registry& r = R();
    std::unique_lock<std::mutex> lock(r.mu);
    r.transactionEnded.wait(lock, [&] { return !r.OthersTransaction(); });
    if (r.transaction) return ERROR_BUSY;
    std::string path;
    if (dir && *dir) {
        path = dir;
    } else if (!DefaultRoot(&path)) {
        return ERROR_PATH_NOT_FOUND;
    }
    if (!MakeAbsolute(&path)) return ERROR_PATH_NOT_FOUND;
    UseRoot(r, std::move(path));
    return ERROR_SUCCESS;
}

size_t CorvaneGetRegistryRoot(char* buf, size_t size) {
    Registry& r = R();
    std::lock_guard<std::mutex> lock(r.mu);
    if (EnsureRoot(r) != ERROR_SUCCESS) return 0;
    if (!buf || size <= r.root.size()) return r.root.size() + 1;
    std::memcpy(buf, r.root.c_str(), r.root.size() + 1);
    return r.root.size();
}

LSTATUS CorvaneRegistryBeginTransaction(DWORD timeoutMs) {
    Registry& r = R();
    const ULONGLONG deadline = NowMs() + timeoutMs;
    std::unique_lock<std::mutex> lock(r.mu);
    if (r.transaction && !r.OthersTransaction()) return ERROR_INVALID_FUNCTION;
    if (!r.transactionEnded.wait_for(lock, std::chrono::milliseconds(timeoutMs),
                                     [&] { return !r.transaction; })) {
        SetFailure("the registry is busy: another thread of this process has a transaction open");
        return ERROR_BUSY;
    }
    try {
        LSTATUS st = EnsureRoot(r);
        if (st != ERROR_SUCCESS) return st;
        // Machine first, as every change does, so that no two lockers wait on each other.
        st = r.machine.Lock(deadline);
        if (st != ERROR_SUCCESS) return st;
        st = r.user.Lock(deadline);
        if (st != ERROR_SUCCESS) {
            r.machine.Unlock();
            return st;
        }
    } catch (const std::bad_alloc&) {
        r.machine.Unlock();
        return ERROR_NOT_ENOUGH_MEMORY;
    }
    r.machine.BeginTransaction();
    r.user.BeginTransaction();
    r.transaction = true;
    r.owner = std::this_thread::get_id();
    return ERROR_SUCCESS;
}

LSTATUS CorvaneRegistryEndTransaction(BOOL commit) {
    Registry& r = R();
    std::lock_guard<std::mutex> lock(r.mu);
    if (!r.transaction || r.OthersTransaction()) return ERROR_INVALID_FUNCTION;
    LSTATUS st = ERROR_SUCCESS;
    if (commit) {
        // The user's hive first, as a single change writes them: its old file is put back when
        // the machine's write fails.
        bool userWritten = false;
        try {
            st = r.user.WriteTransaction();
            userWritten = st == ERROR_SUCCESS;
            if (userWritten) st = r.machine.WriteTransaction();
        } catch (const std::bad_alloc&) {
            st = ERROR_NOT_ENOUGH_MEMORY;
        }
        if (st != ERROR_SUCCESS && userWritten) {
            try {
                r.user.RevertWrite();
            } catch (const std::bad_alloc&) {
            }
        }
    }
    const bool keep = commit && st == ERROR_SUCCESS;
    r.user.EndTransaction(keep);
    r.machine.EndTransaction(keep);
    r.transaction = false;
    r.transactionEnded.notify_all();
    return st;
}
