// The helpers of the module tests that are the same on every platform: registry reads, dumps and
// writes, the module loaded once, names. server_support_<platform>.cpp holds the rest.
#include "tests/server/server_support.h"

#include <stdio.h>

#include <cstring>
#include <filesystem>
#include <sstream>

namespace corvane::testing {

namespace {

class Key {
public:
    Key(HKEY root, const OleString& path, REGSAM access = KEY_READ) {
        if (RegOpenKeyExW(root, path.c_str(), 0, access, &key_) != ERROR_SUCCESS) key_ = nullptr;
    }
    ~Key() {
        if (key_ != nullptr) RegCloseKey(key_);
    }
    Key(const Key&) = delete;
    Key& operator=(const Key&) = delete;
    HKEY Get() const { return key_; }

private:
    HKEY key_ = nullptr;
};

std::vector<OleString> EnumNames(HKEY key, bool values) {
    std::vector<OleString> names;
    for (DWORD i = 0;; ++i) {
        OLECHAR name[512];
        DWORD chars = 512;
        LSTATUS status =
            values ? RegEnumValueW(key, i, name, &chars, nullptr, nullptr, nullptr, nullptr)
                   : RegEnumKeyExW(key, i, name, &chars, nullptr, nullptr, nullptr, nullptr);
        if (status != ERROR_SUCCESS) break;
        names.emplace_back(name, chars);
    }
    return names;
}

void DumpKey(HKEY key, const std::string& path, std::ostringstream* out) {
    *out << path << "\n";
    for (const OleString& name : EnumNames(key, true)) {
        DWORD type = 0, bytes = 0;
        RegQueryValueExW(key, name.c_str(), nullptr, &type, nullptr, &bytes);
        std::vector<BYTE> data(bytes);
        RegQueryValueExW(key, name.c_str(), nullptr, &type, data.data(), &bytes);
        *out << "  [" << Narrow(name) << "] type " << type << " =";
        if (type == REG_SZ) {
            OleString s(reinterpret_cast<const OLECHAR*>(data.data()), bytes / 2);
            *out << " '" << Narrow(s.c_str()) << "'";
        } else {
            for (BYTE b : data) *out << " " << static_cast<int>(b);
        }
        *out << "\n";
    }
    for (const OleString& name : EnumNames(key, false)) {
        Key child(key, name);
        DumpKey(child.Get(), path + "\\" + Narrow(name), out);
    }
}

}  // namespace

OleString ModulePathWide() {
    return Utf8ToOle(ModulePath());
}

const ModuleExports& MainModule() {
    static ModuleExports exports = [] {
        ModuleExports e;
        LoadModule(ModulePath(), &e);
        return e;
    }();
    return exports;
}

bool CopyModuleTo(const std::string& path) {
    std::error_code ec;
    std::filesystem::copy_file(ModulePath(), path,
                               std::filesystem::copy_options::overwrite_existing, ec);
    if (ec) ADD_FAILURE() << "copy to " << path << ": " << ec.message();
    return !ec;
}

std::string ResourceBytes(HMODULE module, int id, LPCWSTR type) {
    HRSRC res = FindResourceW(module, MAKEINTRESOURCEW(id), type);
    if (res == nullptr) return "";
    const void* data = LockResource(LoadResource(module, res));
    return data ? std::string(static_cast<const char*>(data), SizeofResource(module, res)) : "";
}

HRESULT CreateRegistered(REFCLSID clsid, REFIID iid, void** out) {
    if (SystemComReadsTheTestRegistry())
        return CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, iid, out);
    if (out != nullptr) *out = nullptr;
    IClassFactory* factory = nullptr;
    HRESULT hr = MainModule().DllGetClassObject(clsid, IID_IClassFactory,
                                                reinterpret_cast<void**>(&factory));
    if (FAILED(hr)) return hr;
    hr = factory->CreateInstance(nullptr, iid, out);
    factory->Release();
    return hr;
}

std::string DumpRegistry() {
    std::ostringstream out;
    DumpKey(HKEY_LOCAL_MACHINE, "HKLM", &out);
    DumpKey(HKEY_CURRENT_USER, "HKCU", &out);
    return out.str();
}

std::string DumpSubtree(HKEY root, const OleString& path) {
    std::ostringstream out;
    Key key(root, path);
    if (!key.Get()) return "";
    for (const OleString& name : EnumNames(key.Get(), false)) {
        Key child(key.Get(), name);
        DumpKey(child.Get(), Narrow(name), &out);
    }
    return out.str();
}

bool KeyExists(HKEY root, const OleString& path) {
    return Key(root, path).Get() != nullptr;
}

std::vector<OleString> SubkeyNames(HKEY root, const OleString& path) {
    Key key(root, path);
    return key.Get() ? EnumNames(key.Get(), false) : std::vector<OleString>{};
}

std::vector<OleString> ValueNames(HKEY root, const OleString& path) {
    Key key(root, path);
    return key.Get() ? EnumNames(key.Get(), true) : std::vector<OleString>{};
}

bool ReadString(HKEY root, const OleString& path, const OLECHAR* name, OleString* out) {
    Key key(root, path);
    if (!key.Get()) return false;
    DWORD type = 0, bytes = 0;
    if (RegQueryValueExW(key.Get(), name, nullptr, &type, nullptr, &bytes) != ERROR_SUCCESS ||
        type != REG_SZ)
        return false;
    std::vector<BYTE> data(bytes);
    if (RegQueryValueExW(key.Get(), name, nullptr, &type, data.data(), &bytes) != ERROR_SUCCESS)
        return false;
    OleString s(reinterpret_cast<const OLECHAR*>(data.data()), bytes / 2);
    if (!s.empty() && s.back() == OLESTR('\0')) s.pop_back();
    *out = s;
    return true;
}

void WriteString(HKEY root, const OleString& path, const OLECHAR* name, const OleString& value) {
    HKEY key = nullptr;
    ASSERT_EQ(
        RegCreateKeyExW(root, path.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr),
        ERROR_SUCCESS);
    EXPECT_EQ(RegSetValueExW(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                             static_cast<DWORD>((value.size() + 1) * 2)),
              ERROR_SUCCESS);
    RegCloseKey(key);
}

OleString LowerCase(OleString s) {
    for (OLECHAR& c : s) {
        if (c >= OLESTR('A') && c <= OLESTR('Z'))
            c = static_cast<OLECHAR>(c - OLESTR('A') + OLESTR('a'));
    }
    return s;
}

int RunChildBody(const std::function<void()>& body) {
    int code = 0;
    try {
        body();
        code = ::testing::Test::HasFailure() ? 1 : 0;
    } catch (...) {
        code = 2;
    }
    fflush(stdout);
    fflush(stderr);
    return code;
}

std::string Narrow(const OleString& s) {
    return OleToUtf8(s);
}

std::string HrText(HRESULT hr) {
    char buf[16];
    snprintf(buf, sizeof buf, "0x%08X", static_cast<unsigned>(hr));
    return buf;
}

}  // namespace corvane::testing
