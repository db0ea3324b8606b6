// Module handles, file names and compiled-in resource tables.
#include "platform/win32.h"

#include <dlfcn.h>
#include <limits.h>
#include <link.h>
#include <stdlib.h>
#include <sys/auxv.h>
#include <unistd.h>

#include <cstdio>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace {

// ---------------------------------------------------------------------------------------------
// Module identity

// Base of the image that contains address, or nullptr.
HMODULE BaseOf(const void* address) {
    Dl_info info{};
    if (address == nullptr || dladdr(address, &info) == 0 || info.dli_fbase == nullptr)
        return nullptr;
    return static_cast<HMODULE>(info.dli_fbase);
}

HMODULE ExecutableBase() {
    // The program headers of the executable are mapped inside its first segment.
    return BaseOf(reinterpret_cast<const void*>(getauxval(AT_PHDR)));
}

// True when h is the base of a loaded image.
bool IsModule(HMODULE h) {
    return h != nullptr && BaseOf(h) == h;
}

std::string ExecutablePath() {
    std::string buf(PATH_MAX, '\0');
    for (;;) {
        ssize_t n = readlink("/proc/self/exe", &buf[0], buf.size());
        if (n < 0) return std::string();
        if (static_cast<size_t>(n) < buf.size()) {
            buf.resize(static_cast<size_t>(n));
            return buf;
        }
        buf.resize(buf.size() * 2);
    }
}

// The file mapped at exactly base, from the kernel's map list: an absolute path with symbolic
// links resolved, whatever path the module was loaded by.
std::string MappedPath(HMODULE base) {
    FILE* maps = std::fopen("/proc/self/maps", "re");
    if (maps == nullptr) return std::string();
    std::string result;
    char* line = nullptr;
    size_t cap = 0;
    const auto want = reinterpret_cast<uintptr_t>(base);
    while (getline(&line, &cap, maps) > 0) {
        unsigned long start = 0;
        int pathAt = 0;
        if (std::sscanf(line, "%lx-%*x %*s %*x %*s %*u %n", &start, &pathAt) < 1 || start != want)
            continue;
        std::string path = line + pathAt;
        while (!path.empty() && (path.back() == '\n' || path.back() == ' ')) path.pop_back();
        static const std::string deleted = " (deleted)";
        if (!path.empty() && path[0] == '/' &&
            !(path.size() > deleted.size() &&
              path.compare(path.size() - deleted.size(), deleted.size(), deleted) == 0)) {
            result = path;
        }
        break;
    }
    free(line);
    std::fclose(maps);
    return result;
}

// Absolute path of a loaded module; empty when it cannot be found.
std::string ModulePath(HMODULE h) {
    if (h == nullptr || h == ExecutableBase()) return ExecutablePath();
    std::string path = MappedPath(h);
    if (!path.empty()) return path;
    Dl_info info{};
    if (dladdr(h, &info) == 0 || info.dli_fname == nullptr) return std::string();
    char resolved[PATH_MAX];
    return realpath(info.dli_fname, resolved) != nullptr ? std::string(resolved) : std::string();
}

struct NameSearch {
    std::string wanted;
    bool byFileName;  // compare the last path component only
    HMODULE found = nullptr;
};

int MatchModule(struct dl_phdr_info* info, size_t, void* context) {
    auto* search = static_cast<NameSearch*>(context);
    const ElfW(Phdr)* firstLoad = nullptr;
    for (int i = 0; i < info->dlpi_phnum; ++i) {
        if (info->dlpi_phdr[i].p_type == PT_LOAD) {
            firstLoad = &info->dlpi_phdr[i];
            break;
        }
    }
    if (firstLoad == nullptr) return 0;
    HMODULE base = BaseOf(reinterpret_cast<const void*>(info->dlpi_addr + firstLoad->p_vaddr));
    if (base == nullptr) return 0;
    std::string path = ModulePath(base);
    if (path.empty()) return 0;
    std::string candidate = path;
    if (search->byFileName) candidate = path.substr(path.find_last_of('/') + 1);
    if (candidate == search->wanted) {
        search->found = base;
        return 1;
    }
    return 0;
}

HMODULE FindModuleByName(LPCWSTR name) {
    std::string utf8;
    if (!corvane::text::TryToUtf8(name, &utf8) || utf8.empty()) return nullptr;
    for (char& c : utf8) {
        if (c == '\\') c = '/';
    }
    NameSearch search;
    search.byFileName = utf8.find('/') == std::string::npos;
    if (search.byFileName) {
        search.wanted = utf8;
    } else {
        char resolved[PATH_MAX];
        search.wanted = realpath(utf8.c_str(), resolved) != nullptr ? std::string(resolved) : utf8;
    }
    dl_iterate_phdr(MatchModule, &search);
    return search.found;
}

// ---------------------------------------------------------------------------------------------
// Resource tables

// A resource name or type: an id or a string compared without regard to case.
struct ResourceKey {
    bool isId = false;
    WORD id = 0;
    std::u16string text;

    static bool From(LPCWSTR key, ResourceKey* out) {
        if (IS_INTRESOURCE(key)) {
            out->isId = true;
            out->id = static_cast<WORD>(reinterpret_cast<ULONG_PTR>(key));
            return true;
        }
        std::u16string_view s(key);
        if (!s.empty() && s[0] == u'#') {
            unsigned long v = 0;
            if (s.size() < 2 || s.size() > 6) return false;
            for (size_t i = 1; i < s.size(); ++i) {
                if (s[i] < u'0' || s[i] > u'9') return false;
                v = v * 10 + (s[i] - u'0');
            }
            if (v > 0xFFFF) return false;
            out->isId = true;
            out->id = static_cast<WORD>(v);
            return true;
        }
        out->isId = false;
        out->text = corvane::text::Upcase(s);
        return true;
    }
    bool operator==(const ResourceKey& o) const {
        return isId == o.isId && (isId ? id == o.id : text == o.text);
    }
};

struct Entry {
    ResourceKey type, name;
    const void* data;
    DWORD size;
};

struct Registry {
    std::mutex mutex;
    // Entries are heap objects so that an HRSRC (their address) stays put.
    std::map<HMODULE, std::vector<std::unique_ptr<Entry>>> modules;
};

// Never destroyed: modules unregister from their own static destructors, which may run after
// this library's.
Registry& Resources() {
    static Registry* registry = new Registry;
    return *registry;
}

HMODULE Resolve(HMODULE h) {
    return h != nullptr ? h : ExecutableBase();
}

// The entry behind hResInfo when the module holds it, else nullptr with ERROR_INVALID_HANDLE.
// Entries are immutable until their module unregisters, which happens only at its unload.
const Entry* LookupOrFail(HMODULE module, HRSRC hResInfo) {
    Registry& r = Resources();
    std::lock_guard<std::mutex> lock(r.mutex);
    auto it = r.modules.find(Resolve(module));
    if (it != r.modules.end() && hResInfo != nullptr) {
        for (const auto& e : it->second) {
            if (reinterpret_cast<HRSRC>(e.get()) == hResInfo) return e.get();
        }
    }
    SetLastError(ERROR_INVALID_HANDLE);
    return nullptr;
}

}  // namespace

DWORD GetModuleFileNameW(HMODULE hModule, LPWSTR lpFilename, DWORD nSize) {
    if (lpFilename == nullptr && nSize != 0) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    if (hModule != nullptr && !IsModule(hModule)) {
        SetLastError(ERROR_MOD_NOT_FOUND);
        return 0;
    }
    std::u16string path;
    if (!corvane::text::TryToUtf16(ModulePath(hModule), &path) || path.empty()) {
        SetLastError(ERROR_MOD_NOT_FOUND);
        return 0;
    }
    if (path.size() < nSize) {
        std::copy(path.begin(), path.end(), lpFilename);
        lpFilename[path.size()] = 0;
        return static_cast<DWORD>(path.size());
    }
    if (nSize > 0) {
        std::copy(path.begin(), path.begin() + (nSize - 1), lpFilename);
        lpFilename[nSize - 1] = 0;
    }
    SetLastError(ERROR_INSUFFICIENT_BUFFER);
    return nSize;
}

HMODULE GetModuleHandleW(LPCWSTR lpModuleName) {
    HMODULE h = lpModuleName == nullptr ? ExecutableBase() : FindModuleByName(lpModuleName);
    if (h == nullptr) SetLastError(ERROR_MOD_NOT_FOUND);
    return h;
}

BOOL GetModuleHandleExW(DWORD dwFlags, LPCWSTR lpModuleName, HMODULE* phModule) {
    constexpr DWORD known = GET_MODULE_HANDLE_EX_FLAG_PIN |
                            GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT |
                            GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS;
    if (phModule == nullptr || (dwFlags & ~known) != 0) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    HMODULE h = nullptr;
    if (dwFlags & GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS) {
        h = BaseOf(lpModuleName);
    } else {
        h = lpModuleName == nullptr ? ExecutableBase() : FindModuleByName(lpModuleName);
    }
    *phModule = h;
    if (h == nullptr) {
        SetLastError(ERROR_MOD_NOT_FOUND);
        return FALSE;
    }
    return TRUE;
}

HRSRC FindResourceExW(HMODULE hModule, LPCWSTR lpType, LPCWSTR lpName, WORD) {
    ResourceKey type, name;
    if (lpType == nullptr || lpName == nullptr || !ResourceKey::From(lpType, &type)) {
        SetLastError(ERROR_RESOURCE_TYPE_NOT_FOUND);
        return nullptr;
    }
    Registry& r = Resources();
    std::lock_guard<std::mutex> lock(r.mutex);
    auto it = r.modules.find(Resolve(hModule));
    if (it == r.modules.end()) {
        SetLastError(ERROR_RESOURCE_DATA_NOT_FOUND);
        return nullptr;
    }
    bool typeSeen = false;
    const bool nameValid = ResourceKey::From(lpName, &name);
    for (const auto& e : it->second) {
        if (!(e->type == type)) continue;
        typeSeen = true;
        if (nameValid && e->name == name) return reinterpret_cast<HRSRC>(e.get());
    }
    SetLastError(typeSeen ? ERROR_RESOURCE_NAME_NOT_FOUND : ERROR_RESOURCE_TYPE_NOT_FOUND);
    return nullptr;
}

HRSRC FindResourceW(HMODULE hModule, LPCWSTR lpName, LPCWSTR lpType) {
    return FindResourceExW(hModule, lpType, lpName, 0);
}

HGLOBAL LoadResource(HMODULE hModule, HRSRC hResInfo) {
    const Entry* e = LookupOrFail(hModule, hResInfo);
    return e != nullptr ? const_cast<void*>(e->data) : nullptr;
}

LPVOID LockResource(HGLOBAL hResData) {
    return hResData;
}

DWORD SizeofResource(HMODULE hModule, HRSRC hResInfo) {
    const Entry* e = LookupOrFail(hModule, hResInfo);
    return e != nullptr ? e->size : 0;
}

BOOL FreeResource(HGLOBAL) {
    return FALSE;
}

BOOL CorvaneRegisterModuleResources(HMODULE hModule, const CorvaneResource* table, DWORD count) {
    if (table == nullptr && count != 0) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    if (!IsModule(hModule)) {
        SetLastError(ERROR_MOD_NOT_FOUND);
        return FALSE;
    }
    std::vector<std::unique_ptr<Entry>> entries;
    entries.reserve(count);
    for (DWORD i = 0; i < count; ++i) {
        auto e = std::make_unique<Entry>();
        if (table[i].type == nullptr || table[i].name == nullptr ||
            !ResourceKey::From(table[i].type, &e->type) ||
            !ResourceKey::From(table[i].name, &e->name) ||
            (table[i].data == nullptr && table[i].size != 0)) {
            SetLastError(ERROR_INVALID_PARAMETER);
            return FALSE;
        }
        e->data = table[i].data;
        e->size = table[i].size;
        entries.push_back(std::move(e));
    }
    Registry& r = Resources();
    std::lock_guard<std::mutex> lock(r.mutex);
    r.modules[hModule] = std::move(entries);
    return TRUE;
}

void CorvaneUnregisterModuleResources(HMODULE hModule) {
    Registry& r = Resources();
    std::lock_guard<std::mutex> lock(r.mutex);
    r.modules.erase(hModule);
}
