// Registry: names, values, enumeration, deletion, the classes view, persistence, concurrent
// writers in other processes and failed writes.
#include "platform/win32.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/file.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <optional>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "platform/linux/text.h"

namespace {

using corvane::OleString;
using corvane::OleStringView;

namespace fs = std::filesystem;

// Closes the key when it goes out of scope.
struct KeyHolder {
    HKEY h = nullptr;
    ~KeyHolder() {
        if (h) RegCloseKey(h);
    }
    HKEY* operator&() { return &h; }
    operator HKEY() const { return h; }
};

std::vector<BYTE> StringBytes(OleStringView s, bool withNul = true) {
    std::vector<BYTE> out((s.size() + (withNul ? 1 : 0)) * 2, 0);
    std::memcpy(out.data(), s.data(), s.size() * 2);
    return out;
}

LSTATUS SetBytes(HKEY k, const OLECHAR* name, DWORD type, const std::vector<BYTE>& data) {
    return RegSetValueExW(k, name, 0, type, data.empty() ? nullptr : data.data(),
                          static_cast<DWORD>(data.size()));
}

LSTATUS SetString(HKEY k, const OLECHAR* name, OleStringView v) {
    return SetBytes(k, name, REG_SZ, StringBytes(v));
}

// Type and bytes of a value, or the failure.
struct Read {
    LSTATUS status;
    DWORD type = 0;
    std::vector<BYTE> data;
};

Read ReadValue(HKEY k, const OLECHAR* name) {
    Read r;
    DWORD size = 0;
    r.status = RegQueryValueExW(k, name, nullptr, &r.type, nullptr, &size);
    if (r.status != ERROR_SUCCESS) return r;
    r.data.resize(size);
    r.status = RegQueryValueExW(k, name, nullptr, &r.type, r.data.data(), &size);
    r.data.resize(size);
    return r;
}

// The REG_SZ text of root\path:name, or nothing when the key or value is missing.
std::optional<OleString> ReadString(HKEY root, const OLECHAR* path, const OLECHAR* name) {
    KeyHolder k;
    if (RegOpenKeyExW(root, path, 0, KEY_READ, &k) != ERROR_SUCCESS) return std::nullopt;
    Read r = ReadValue(k, name);
    if (r.status != ERROR_SUCCESS) return std::nullopt;
    OleString s(r.data.size() / 2, OLESTR('\0'));
    std::memcpy(s.data(), r.data.data(), s.size() * 2);
    while (!s.empty() && s.back() == OLESTR('\0')) s.pop_back();
    return s;
}

bool KeyExists(HKEY root, const OLECHAR* path) {
    KeyHolder k;
    return RegOpenKeyExW(root, path, 0, KEY_READ, &k) == ERROR_SUCCESS;
}

void CreateWithString(HKEY root, const OLECHAR* path, const OLECHAR* name, OleStringView v) {
    KeyHolder k;
    ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyExW(root, path, 0, nullptr, REG_OPTION_NON_VOLATILE,
                                             KEY_ALL_ACCESS, nullptr, &k, nullptr));
    ASSERT_EQ(ERROR_SUCCESS, SetString(k, name, v));
}

// Names of the subkeys (or values) of k in enumeration order.
std::vector<OleString> EnumNames(HKEY k, bool subkeys) {
    std::vector<OleString> names;
    for (DWORD i = 0;; ++i) {
        OLECHAR buf[256];
        DWORD cch = 256;
        LSTATUS st = subkeys ? RegEnumKeyExW(k, i, buf, &cch, nullptr, nullptr, nullptr, nullptr)
                             : RegEnumValueW(k, i, buf, &cch, nullptr, nullptr, nullptr, nullptr);
        if (st == ERROR_NO_MORE_ITEMS) break;
        EXPECT_EQ(ERROR_SUCCESS, st);
        if (st != ERROR_SUCCESS) break;
        names.emplace_back(buf, cch);
    }
    return names;
}
std::vector<OleString> EnumKeys(HKEY k) {
    return EnumNames(k, true);
}
std::vector<OleString> EnumValueNames(HKEY k) {
    return EnumNames(k, false);
}

std::string FileBytes(const fs::path& p) {
    std::ifstream in(p, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

class RegistryTest : public ::testing::Test {
protected:
    void SetUp() override {
        char tmpl[] = "/tmp/corvane-registry-test-XXXXXX";
        ASSERT_NE(nullptr, mkdtemp(tmpl));
        root_ = tmpl;
        ASSERT_EQ(ERROR_SUCCESS, CorvaneSetRegistryRoot(root_.c_str()));
    }
    void TearDown() override {
        CorvaneRegistryFailNthWrite(0);
        std::error_code ec;
        fs::remove_all(root_, ec);
    }
    // Forgets every cached tree, so that the next call reads the hive files afresh.
    void Reopen() { ASSERT_EQ(ERROR_SUCCESS, CorvaneSetRegistryRoot(root_.c_str())); }
    fs::path Hive(const char* stem) const { return root_ / (std::string(stem) + ".hive"); }

    fs::path root_;
};

TEST_F(RegistryTest, KeyWrittenInLowerCaseIsFoundInAnyCaseAndKeepsItsCase) {
    KeyHolder created;
    DWORD disposition = 0;
    ASSERT_EQ(
        ERROR_SUCCESS,
        RegCreateKeyExW(HKEY_LOCAL_MACHINE, OLESTR("software\\corvane\\lowercase key"), 0, nullptr,
                        REG_OPTION_NON_VOLATILE, KEY_ALL_ACCESS, nullptr, &created, &disposition));
    EXPECT_EQ(REG_CREATED_NEW_KEY, disposition);
    ASSERT_EQ(ERROR_SUCCESS, SetString(created, OLESTR("threadingmodel"), OLESTR("Apartment")));

    for (const OLECHAR* spelling :
         {OLESTR("SOFTWARE\\CORVANE\\LOWERCASE KEY"), OLESTR("Software\\Corvane\\LowerCase Key"),
          OLESTR("software\\corvane\\lowercase key\\")}) {
        SCOPED_TRACE(corvane::text::ToUtf8(spelling));
        EXPECT_EQ(OLESTR("Apartment"),
                  ReadString(HKEY_LOCAL_MACHINE, spelling, OLESTR("ThreadingModel")));
    }
    KeyHolder again;
    ASSERT_EQ(ERROR_SUCCESS,
              RegCreateKeyExW(HKEY_LOCAL_MACHINE, OLESTR("SOFTWARE\\CORVANE\\LOWERCASE KEY"), 0,
                              nullptr, 0, KEY_READ, nullptr, &again, &disposition));
    EXPECT_EQ(REG_OPENED_EXISTING_KEY, disposition);

    KeyHolder parent;
    ASSERT_EQ(ERROR_SUCCESS,
              RegOpenKeyExW(HKEY_LOCAL_MACHINE, OLESTR("SOFTWARE\\CORVANE"), 0, KEY_READ, &parent));
    EXPECT_EQ(std::vector<OleString>{OLESTR("lowercase key")}, EnumKeys(parent));
    EXPECT_EQ(std::vector<OleString>{OLESTR("threadingmodel")}, EnumValueNames(again));

    // Setting a value under another spelling replaces it and keeps the first spelling.
    ASSERT_EQ(ERROR_SUCCESS, SetString(created, OLESTR("THREADINGMODEL"), OLESTR("Both")));
    EXPECT_EQ(std::vector<OleString>{OLESTR("threadingmodel")}, EnumValueNames(again));
    EXPECT_EQ(OLESTR("Both"), ReadString(again, nullptr, OLESTR("ThreadingModel")));
}

TEST_F(RegistryTest, ValuesOfEveryTypeSurviveAReopenByteForByte) {
    const OleString awkward = OleString(OLESTR("quote\" back\\slash\nnew\ttab ")) +
                              OLESTR("\u00e9\u4e2d\U0001F3B5") + OLECHAR(0xD800) + OLESTR("end");
    struct Case {
        const OLECHAR* name;
        DWORD type;
        std::vector<BYTE> data;
    } cases[] = {
        {OLESTR(""), REG_SZ, StringBytes(OLESTR("default value"))},
        {OLESTR("sz"), REG_SZ, StringBytes(awkward)},
        {OLESTR("sz without NUL"), REG_SZ, StringBytes(OLESTR("abc"), false)},
        {OLESTR("odd sz"), REG_SZ, {'a', 0, 'b'}},
        {OLESTR("expand"), REG_EXPAND_SZ, StringBytes(OLESTR("%HOME%\\x"))},
        {OLESTR("multi"), REG_MULTI_SZ, StringBytes(OleString(OLESTR("one\0two\0"), 8))},
        {OLESTR("binary"), REG_BINARY, {0x00, 0xFF, 0x10, 0x0A, 0x0D, 0x22, 0x5C}},
        {OLESTR("empty binary"), REG_BINARY, {}},
        {OLESTR("dword"), REG_DWORD, {0x78, 0x56, 0x34, 0x12}},
        {OLESTR("short dword"), REG_DWORD, {0x01, 0x02}},
        {OLESTR("qword"), REG_QWORD, {1, 2, 3, 4, 5, 6, 7, 0x80}},
        {OLESTR("none"), REG_NONE, {7}},
        {OLESTR("custom type"), 0x12345678, {9, 8}},
        {OLESTR("name with \\ and \" and \u00fc"), REG_SZ, StringBytes(OLESTR("x"))},
    };
    {
        KeyHolder k;
        ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyExW(HKEY_CURRENT_USER, OLESTR("Software\\Types"), 0,
                                                 nullptr, 0, KEY_ALL_ACCESS, nullptr, &k, nullptr));
        for (const auto& c : cases) ASSERT_EQ(ERROR_SUCCESS, SetBytes(k, c.name, c.type, c.data));
    }
    for (int pass = 0; pass < 2; ++pass) {
        if (pass == 1) Reopen();
        KeyHolder k;
        ASSERT_EQ(ERROR_SUCCESS,
                  RegOpenKeyExW(HKEY_CURRENT_USER, OLESTR("Software\\Types"), 0, KEY_READ, &k));
        for (const auto& c : cases) {
            SCOPED_TRACE(corvane::text::ToUtf8(c.name) + (pass ? " after reopen" : ""));
            Read r = ReadValue(k, c.name);
            ASSERT_EQ(ERROR_SUCCESS, r.status);
            EXPECT_EQ(c.type, r.type);
            EXPECT_EQ(c.data, r.data);
        }
    }
}

TEST_F(RegistryTest, QueryValueReportsSizesAndFailuresAsWindowsDoes) {
    KeyHolder k;
    ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyExW(HKEY_LOCAL_MACHINE, OLESTR("Software\\Q"), 0, nullptr,
                                             0, KEY_ALL_ACCESS, nullptr, &k, nullptr));
    ASSERT_EQ(ERROR_SUCCESS, SetString(k, OLESTR("v"), OLESTR("hello")));  // 12 bytes with the NUL

    DWORD type = 0, size = 0;
    EXPECT_EQ(ERROR_SUCCESS, RegQueryValueExW(k, OLESTR("v"), nullptr, &type, nullptr, &size));
    EXPECT_EQ(DWORD(REG_SZ), type);
    EXPECT_EQ(12u, size);

    BYTE small[4] = {0xAA, 0xAA, 0xAA, 0xAA};
    size = sizeof small;
    type = 0;
    EXPECT_EQ(ERROR_MORE_DATA, RegQueryValueExW(k, OLESTR("v"), nullptr, &type, small, &size));
    EXPECT_EQ(12u, size);
    EXPECT_EQ(DWORD(REG_SZ), type);

    size = 12;
    BYTE exact[12];
    EXPECT_EQ(ERROR_SUCCESS, RegQueryValueExW(k, OLESTR("v"), nullptr, nullptr, exact, &size));
    EXPECT_EQ(0, std::memcmp(exact, OLESTR("hello"), 12));

    DWORD reserved = 0;
    EXPECT_EQ(ERROR_FILE_NOT_FOUND,
              RegQueryValueExW(k, OLESTR("missing"), nullptr, nullptr, nullptr, &size));
    EXPECT_EQ(ERROR_FILE_NOT_FOUND, RegQueryValueExW(k, nullptr, nullptr, nullptr, nullptr, &size))
        << "a key without a default value";
    EXPECT_EQ(ERROR_INVALID_PARAMETER,
              RegQueryValueExW(k, OLESTR("v"), nullptr, nullptr, exact, nullptr));
    EXPECT_EQ(ERROR_INVALID_PARAMETER,
              RegQueryValueExW(k, OLESTR("v"), &reserved, nullptr, nullptr, &size));
    EXPECT_EQ(ERROR_NOACCESS, RegSetValueExW(k, OLESTR("w"), 0, REG_BINARY, nullptr, 4));
    EXPECT_EQ(ERROR_SUCCESS, RegSetValueExW(k, OLESTR("w"), 0, REG_BINARY, nullptr, 0));
    size = 99;
    EXPECT_EQ(ERROR_SUCCESS, RegQueryValueExW(k, OLESTR("w"), nullptr, nullptr, nullptr, &size));
    EXPECT_EQ(0u, size);
}

TEST_F(RegistryTest, EveryFunctionRejectsUnknownAndClosedHandles) {
    KeyHolder k;
    ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyExW(HKEY_LOCAL_MACHINE, OLESTR("Software\\H"), 0, nullptr,
                                             0, KEY_ALL_ACCESS, nullptr, &k, nullptr));
    HKEY closed = k.h;
    ASSERT_EQ(ERROR_SUCCESS, RegCloseKey(closed));
    k.h = nullptr;
    const HKEY bogus = reinterpret_cast<HKEY>(static_cast<uintptr_t>(0x12345670));
    for (HKEY h : {closed, bogus, static_cast<HKEY>(nullptr),
                   reinterpret_cast<HKEY>(static_cast<ULONG_PTR>(static_cast<LONG>(0x80000003)))}) {
        HKEY out = reinterpret_cast<HKEY>(1);
        OLECHAR name[64];
        DWORD cch = 64, size = 0, count = 0;
        BYTE data[8] = {};
        EXPECT_EQ(ERROR_INVALID_HANDLE, RegCreateKeyExW(h, OLESTR("x"), 0, nullptr, 0,
                                                        KEY_ALL_ACCESS, nullptr, &out, nullptr));
        EXPECT_EQ(nullptr, out);
        EXPECT_EQ(ERROR_INVALID_HANDLE, RegOpenKeyExW(h, OLESTR("x"), 0, KEY_READ, &out));
        EXPECT_EQ(ERROR_INVALID_HANDLE, RegSetValueExW(h, OLESTR("v"), 0, REG_BINARY, data, 1));
        EXPECT_EQ(ERROR_INVALID_HANDLE,
                  RegQueryValueExW(h, OLESTR("v"), nullptr, nullptr, nullptr, &size));
        EXPECT_EQ(ERROR_INVALID_HANDLE, RegDeleteValueW(h, OLESTR("v")));
        EXPECT_EQ(ERROR_INVALID_HANDLE, RegDeleteKeyW(h, OLESTR("x")));
        EXPECT_EQ(ERROR_INVALID_HANDLE, RegDeleteTreeW(h, nullptr));
        EXPECT_EQ(ERROR_INVALID_HANDLE,
                  RegEnumKeyExW(h, 0, name, &cch, nullptr, nullptr, nullptr, nullptr));
        EXPECT_EQ(ERROR_INVALID_HANDLE,
                  RegEnumValueW(h, 0, name, &cch, nullptr, nullptr, nullptr, nullptr));
        EXPECT_EQ(ERROR_INVALID_HANDLE,
                  RegQueryInfoKeyW(h, nullptr, nullptr, nullptr, &count, nullptr, nullptr, nullptr,
                                   nullptr, nullptr, nullptr, nullptr));
        EXPECT_EQ(ERROR_INVALID_HANDLE, RegCloseKey(h));
    }
    for (HKEY predefined : {HKEY_CLASSES_ROOT, HKEY_CURRENT_USER, HKEY_LOCAL_MACHINE}) {
        EXPECT_EQ(ERROR_SUCCESS, RegCloseKey(predefined));
    }
    EXPECT_TRUE(KeyExists(HKEY_LOCAL_MACHINE, OLESTR("Software\\H")))
        << "predefined keys stay usable";
}

TEST_F(RegistryTest, PredefinedKeysHaveWindowsValues) {
    // Sign-extended 32-bit values, as 64-bit Windows defines them.
    EXPECT_EQ(static_cast<uintptr_t>(static_cast<intptr_t>(INT32_MIN)),
              reinterpret_cast<uintptr_t>(HKEY_CLASSES_ROOT));
    EXPECT_EQ(reinterpret_cast<uintptr_t>(HKEY_CLASSES_ROOT) + 1,
              reinterpret_cast<uintptr_t>(HKEY_CURRENT_USER));
    EXPECT_EQ(reinterpret_cast<uintptr_t>(HKEY_CLASSES_ROOT) + 2,
              reinterpret_cast<uintptr_t>(HKEY_LOCAL_MACHINE));
    EXPECT_EQ(0x20019u, static_cast<DWORD>(KEY_READ));
    EXPECT_EQ(0x20006u, static_cast<DWORD>(KEY_WRITE));
    EXPECT_EQ(0xF003Fu, static_cast<DWORD>(KEY_ALL_ACCESS));
}

TEST_F(RegistryTest, AccessRightsRequestedAtOpenAreEnforced) {
    CreateWithString(HKEY_LOCAL_MACHINE, OLESTR("Software\\Acl"), OLESTR("v"), OLESTR("1"));
    KeyHolder readOnly, writeOnly;
    ASSERT_EQ(ERROR_SUCCESS,
              RegOpenKeyExW(HKEY_LOCAL_MACHINE, OLESTR("Software\\Acl"), 0, KEY_READ, &readOnly));
    ASSERT_EQ(ERROR_SUCCESS,
              RegOpenKeyExW(HKEY_LOCAL_MACHINE, OLESTR("Software\\Acl"), 0, KEY_WRITE, &writeOnly));
    EXPECT_EQ(ERROR_ACCESS_DENIED, SetString(readOnly, OLESTR("v"), OLESTR("2")));
    EXPECT_EQ(ERROR_ACCESS_DENIED, RegDeleteValueW(readOnly, OLESTR("v")));
    KeyHolder sub;
    EXPECT_EQ(ERROR_ACCESS_DENIED, RegCreateKeyExW(readOnly, OLESTR("new"), 0, nullptr, 0, KEY_READ,
                                                   nullptr, &sub, nullptr));
    DWORD size = 0;
    EXPECT_EQ(ERROR_ACCESS_DENIED,
              RegQueryValueExW(writeOnly, OLESTR("v"), nullptr, nullptr, nullptr, &size));
    OLECHAR name[8];
    DWORD cch = 8;
    EXPECT_EQ(ERROR_ACCESS_DENIED,
              RegEnumKeyExW(writeOnly, 0, name, &cch, nullptr, nullptr, nullptr, nullptr));
    EXPECT_EQ(ERROR_ACCESS_DENIED, RegDeleteTreeW(readOnly, nullptr));
    EXPECT_EQ(OLESTR("1"), ReadString(HKEY_LOCAL_MACHINE, OLESTR("Software\\Acl"), OLESTR("v")));
    EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, OLESTR("Software\\Acl\\new")));

    // The generic rights map to the key rights.
    KeyHolder generic;
    ASSERT_EQ(ERROR_SUCCESS, RegOpenKeyExW(HKEY_LOCAL_MACHINE, OLESTR("Software\\Acl"), 0,
                                           GENERIC_WRITE, &generic));
    EXPECT_EQ(ERROR_SUCCESS, SetString(generic, OLESTR("v"), OLESTR("3")));
}

TEST_F(RegistryTest, SubkeysEnumerateInNameOrderAndValuesInSetOrder) {
    KeyHolder k;
    ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyExW(HKEY_CURRENT_USER, OLESTR("Software\\Enum"), 0,
                                             nullptr, 0, KEY_ALL_ACCESS, nullptr, &k, nullptr));
    for (const OLECHAR* sub : {OLESTR("b"), OLESTR("A"), OLESTR("c"), OLESTR("_"), OLESTR("Ab")}) {
        KeyHolder s;
        ASSERT_EQ(ERROR_SUCCESS,
                  RegCreateKeyExW(k, sub, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &s, nullptr));
    }
    // Windows compares upper-cased names: '_' (0x5F) sorts after the letters.
    EXPECT_EQ(
        (std::vector<OleString>{OLESTR("A"), OLESTR("Ab"), OLESTR("b"), OLESTR("c"), OLESTR("_")}),
        EnumKeys(k));
    for (const OLECHAR* v : {OLESTR("zeta"), OLESTR("alpha"), OLESTR("Mid")})
        ASSERT_EQ(ERROR_SUCCESS, SetString(k, v, v));
    EXPECT_EQ((std::vector<OleString>{OLESTR("zeta"), OLESTR("alpha"), OLESTR("Mid")}),
              EnumValueNames(k));

    OLECHAR name[4];
    DWORD cch = 2;  // "Ab" needs 3 with its NUL
    EXPECT_EQ(ERROR_MORE_DATA, RegEnumKeyExW(k, 1, name, &cch, nullptr, nullptr, nullptr, nullptr));
    cch = 3;
    EXPECT_EQ(ERROR_SUCCESS, RegEnumKeyExW(k, 1, name, &cch, nullptr, nullptr, nullptr, nullptr));
    EXPECT_EQ(2u, cch);
    EXPECT_EQ(OLESTR("Ab"), OleString(name));
    cch = 4;
    EXPECT_EQ(ERROR_NO_MORE_ITEMS,
              RegEnumKeyExW(k, 5, name, &cch, nullptr, nullptr, nullptr, nullptr));

    // Value data that does not fit: name, type and needed size are reported.
    OLECHAR vname[8];
    DWORD vcch = 8, type = 0, size = 2;
    BYTE data[2];
    EXPECT_EQ(ERROR_MORE_DATA, RegEnumValueW(k, 1, vname, &vcch, nullptr, &type, data, &size));
    EXPECT_EQ(OLESTR("alpha"), OleString(vname));
    EXPECT_EQ(DWORD(REG_SZ), type);
    EXPECT_EQ(12u, size);
    vcch = 3;
    EXPECT_EQ(ERROR_MORE_DATA,
              RegEnumValueW(k, 0, vname, &vcch, nullptr, nullptr, nullptr, nullptr));
    vcch = 8;
    EXPECT_EQ(ERROR_NO_MORE_ITEMS,
              RegEnumValueW(k, 3, vname, &vcch, nullptr, nullptr, nullptr, nullptr));

    DWORD subkeys = 0, maxSub = 0, values = 0, maxName = 0, maxData = 0;
    FILETIME ft{};
    ASSERT_EQ(ERROR_SUCCESS, RegQueryInfoKeyW(k, nullptr, nullptr, nullptr, &subkeys, &maxSub,
                                              nullptr, &values, &maxName, &maxData, nullptr, &ft));
    EXPECT_EQ(5u, subkeys);
    EXPECT_EQ(2u, maxSub);
    EXPECT_EQ(3u, values);
    EXPECT_EQ(5u, maxName);
    EXPECT_EQ(12u, maxData);
    // Written just now: later than 2020-01-01 (132223104000000000 ticks).
    const ULONGLONG ticks = (ULONGLONG(ft.dwHighDateTime) << 32) | ft.dwLowDateTime;
    EXPECT_GT(ticks, 132223104000000000ULL);
}

TEST_F(RegistryTest, DeleteKeyRefusesKeysWithSubkeysAndHandlesSeeTheDeletion) {
    CreateWithString(HKEY_LOCAL_MACHINE, OLESTR("Software\\Del\\Child\\Leaf"), OLESTR("v"),
                     OLESTR("x"));
    KeyHolder child;
    ASSERT_EQ(ERROR_SUCCESS, RegOpenKeyExW(HKEY_LOCAL_MACHINE, OLESTR("Software\\Del\\Child"), 0,
                                           KEY_ALL_ACCESS, &child));
    EXPECT_EQ(ERROR_ACCESS_DENIED,
              RegDeleteKeyW(HKEY_LOCAL_MACHINE, OLESTR("Software\\Del\\Child")));
    EXPECT_TRUE(KeyExists(HKEY_LOCAL_MACHINE, OLESTR("Software\\Del\\Child\\Leaf")));
    EXPECT_EQ(ERROR_SUCCESS, RegDeleteKeyW(child, OLESTR("LEAF")));
    EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, OLESTR("Software\\Del\\Child\\Leaf")));
    EXPECT_EQ(ERROR_FILE_NOT_FOUND, RegDeleteKeyW(child, OLESTR("Leaf")));
    EXPECT_EQ(ERROR_INVALID_PARAMETER, RegDeleteKeyW(child, nullptr));
    EXPECT_EQ(ERROR_SUCCESS, RegDeleteKeyW(HKEY_LOCAL_MACHINE, OLESTR("Software\\Del\\Child")));
    EXPECT_EQ(ERROR_KEY_DELETED, SetString(child, OLESTR("v"), OLESTR("y")));
    DWORD size = 0;
    EXPECT_EQ(ERROR_KEY_DELETED,
              RegQueryValueExW(child, OLESTR("v"), nullptr, nullptr, nullptr, &size));
    KeyHolder under;
    EXPECT_EQ(ERROR_KEY_DELETED, RegCreateKeyExW(child, OLESTR("x"), 0, nullptr, 0, KEY_ALL_ACCESS,
                                                 nullptr, &under, nullptr));
    EXPECT_TRUE(KeyExists(HKEY_LOCAL_MACHINE, OLESTR("Software\\Del")));
}

TEST_F(RegistryTest, DeleteTreeRemovesASubtreeOrAKeysContents) {
    CreateWithString(HKEY_CURRENT_USER, OLESTR("Software\\T\\Gone\\A\\B"), OLESTR("v"),
                     OLESTR("1"));
    CreateWithString(HKEY_CURRENT_USER, OLESTR("Software\\T\\Gone"), OLESTR("v"), OLESTR("1"));
    CreateWithString(HKEY_CURRENT_USER, OLESTR("Software\\T\\Kept"), OLESTR("v"), OLESTR("2"));
    EXPECT_EQ(ERROR_SUCCESS, RegDeleteTreeW(HKEY_CURRENT_USER, OLESTR("software\\t\\gone")));
    EXPECT_FALSE(KeyExists(HKEY_CURRENT_USER, OLESTR("Software\\T\\Gone")));
    EXPECT_EQ(OLESTR("2"), ReadString(HKEY_CURRENT_USER, OLESTR("Software\\T\\Kept"), OLESTR("v")));
    EXPECT_EQ(ERROR_FILE_NOT_FOUND, RegDeleteTreeW(HKEY_CURRENT_USER, OLESTR("Software\\T\\Gone")));

    // NULL: every subkey and value of the key goes, the key stays.
    CreateWithString(HKEY_CURRENT_USER, OLESTR("Software\\T"), OLESTR("own"), OLESTR("3"));
    {
        KeyHolder t;
        ASSERT_EQ(ERROR_SUCCESS,
                  RegOpenKeyExW(HKEY_CURRENT_USER, OLESTR("Software\\T"), 0, KEY_ALL_ACCESS, &t));
        EXPECT_EQ(ERROR_SUCCESS, RegDeleteTreeW(t, nullptr));
        EXPECT_TRUE(EnumKeys(t).empty());
        EXPECT_TRUE(EnumValueNames(t).empty());
    }
    Reopen();
    EXPECT_TRUE(KeyExists(HKEY_CURRENT_USER, OLESTR("Software\\T")));
    EXPECT_FALSE(KeyExists(HKEY_CURRENT_USER, OLESTR("Software\\T\\Kept")));
}

TEST_F(RegistryTest, TheHiveSkeletonCannotBeDeleted) {
    CreateWithString(HKEY_LOCAL_MACHINE, OLESTR("Software\\Classes\\X"), OLESTR("v"), OLESTR("1"));
    EXPECT_EQ(ERROR_ACCESS_DENIED, RegDeleteTreeW(HKEY_LOCAL_MACHINE, OLESTR("Software")));
    EXPECT_EQ(ERROR_ACCESS_DENIED, RegDeleteTreeW(HKEY_LOCAL_MACHINE, OLESTR("Software\\Classes")));
    EXPECT_EQ(ERROR_ACCESS_DENIED, RegDeleteTreeW(HKEY_LOCAL_MACHINE, nullptr));
    EXPECT_EQ(ERROR_ACCESS_DENIED, RegDeleteKeyW(HKEY_CLASSES_ROOT, OLESTR("")));
    EXPECT_TRUE(KeyExists(HKEY_CLASSES_ROOT, OLESTR("X")));
    // The contents of the classes key may go.
    KeyHolder classes;
    ASSERT_EQ(ERROR_SUCCESS, RegOpenKeyExW(HKEY_LOCAL_MACHINE, OLESTR("Software\\Classes"), 0,
                                           KEY_ALL_ACCESS, &classes));
    EXPECT_EQ(ERROR_SUCCESS, RegDeleteTreeW(classes, nullptr));
    EXPECT_FALSE(KeyExists(HKEY_CLASSES_ROOT, OLESTR("X")));
}

TEST_F(RegistryTest, DeleteValueRemovesOnlyThatValue) {
    CreateWithString(HKEY_LOCAL_MACHINE, OLESTR("Software\\V"), OLESTR("a"), OLESTR("1"));
    CreateWithString(HKEY_LOCAL_MACHINE, OLESTR("Software\\V"), OLESTR("b"), OLESTR("2"));
    KeyHolder k;
    ASSERT_EQ(ERROR_SUCCESS,
              RegOpenKeyExW(HKEY_LOCAL_MACHINE, OLESTR("Software\\V"), 0, KEY_ALL_ACCESS, &k));
    EXPECT_EQ(ERROR_SUCCESS, RegDeleteValueW(k, OLESTR("A")));
    EXPECT_EQ(ERROR_FILE_NOT_FOUND, RegDeleteValueW(k, OLESTR("a")));
    EXPECT_EQ(ERROR_FILE_NOT_FOUND, RegDeleteValueW(k, nullptr));
    EXPECT_EQ(std::vector<OleString>{OLESTR("b")}, EnumValueNames(k));
}

TEST_F(RegistryTest, SubkeyPathsAreChecked) {
    KeyHolder k;
    struct Case {
        const OLECHAR* path;
        LSTATUS expected;
    } cases[] = {
        {OLESTR("\\Software\\Lead"), ERROR_BAD_PATHNAME},
        {OLESTR("Software\\\\Double"), ERROR_BAD_PATHNAME},
        {OLESTR("Software\\Trail\\"), ERROR_SUCCESS},
        {OLESTR("Software\\Ok"), ERROR_SUCCESS},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(corvane::text::ToUtf8(c.path));
        KeyHolder out;
        EXPECT_EQ(c.expected, RegCreateKeyExW(HKEY_LOCAL_MACHINE, c.path, 0, nullptr, 0,
                                              KEY_ALL_ACCESS, nullptr, &out, nullptr));
    }
    const OleString longName = OLESTR("Software\\") + OleString(256, OLESTR('n'));
    EXPECT_EQ(ERROR_INVALID_PARAMETER,
              RegCreateKeyExW(HKEY_LOCAL_MACHINE, longName.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS,
                              nullptr, &k, nullptr));
    EXPECT_EQ(ERROR_SUCCESS,
              RegCreateKeyExW(HKEY_LOCAL_MACHINE, longName.substr(0, 9 + 255).c_str(), 0, nullptr,
                              0, KEY_ALL_ACCESS, nullptr, &k, nullptr));
    EXPECT_EQ(ERROR_INVALID_PARAMETER, RegCreateKeyExW(HKEY_LOCAL_MACHINE, nullptr, 0, nullptr, 0,
                                                       KEY_ALL_ACCESS, nullptr, &k, nullptr));
    EXPECT_EQ(ERROR_NOT_SUPPORTED,
              RegCreateKeyExW(HKEY_LOCAL_MACHINE, OLESTR("Software\\Volatile"), 0, nullptr,
                              REG_OPTION_VOLATILE, KEY_ALL_ACCESS, nullptr, &k, nullptr));
    EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, OLESTR("Software\\Volatile")));
}

TEST_F(RegistryTest, ClassesRootShowsTheUsersClassesOverTheMachines) {
    CreateWithString(HKEY_LOCAL_MACHINE, OLESTR("Software\\Classes\\CLSID\\{A}"), OLESTR(""),
                     OLESTR("machine A"));
    CreateWithString(HKEY_LOCAL_MACHINE, OLESTR("Software\\Classes\\CLSID\\{A}"), OLESTR("m"),
                     OLESTR("only machine"));
    CreateWithString(HKEY_LOCAL_MACHINE, OLESTR("Software\\Classes\\CLSID\\{C}"), OLESTR(""),
                     OLESTR("machine C"));
    CreateWithString(HKEY_CURRENT_USER, OLESTR("Software\\Classes\\CLSID\\{a}"), OLESTR(""),
                     OLESTR("user A"));
    CreateWithString(HKEY_CURRENT_USER, OLESTR("Software\\Classes\\CLSID\\{B}"), OLESTR(""),
                     OLESTR("user B"));

    EXPECT_EQ(OLESTR("user A"), ReadString(HKEY_CLASSES_ROOT, OLESTR("CLSID\\{A}"), OLESTR("")));
    EXPECT_EQ(OLESTR("only machine"),
              ReadString(HKEY_CLASSES_ROOT, OLESTR("clsid\\{a}"), OLESTR("m")));
    EXPECT_EQ(OLESTR("user B"), ReadString(HKEY_CLASSES_ROOT, OLESTR("CLSID\\{B}"), OLESTR("")));
    EXPECT_EQ(OLESTR("machine C"), ReadString(HKEY_CLASSES_ROOT, OLESTR("CLSID\\{C}"), OLESTR("")));

    KeyHolder clsid;
    ASSERT_EQ(ERROR_SUCCESS,
              RegOpenKeyExW(HKEY_CLASSES_ROOT, OLESTR("CLSID"), 0, KEY_READ, &clsid));
    EXPECT_EQ((std::vector<OleString>{OLESTR("{a}"), OLESTR("{B}"), OLESTR("{C}")}),
              EnumKeys(clsid));
    KeyHolder a;
    ASSERT_EQ(ERROR_SUCCESS, RegOpenKeyExW(clsid, OLESTR("{A}"), 0, KEY_READ, &a));
    EXPECT_EQ((std::vector<OleString>{OLESTR(""), OLESTR("m")}), EnumValueNames(a));
    DWORD subkeys = 0, values = 0;
    ASSERT_EQ(ERROR_SUCCESS,
              RegQueryInfoKeyW(clsid, nullptr, nullptr, nullptr, &subkeys, nullptr, nullptr,
                               &values, nullptr, nullptr, nullptr, nullptr));
    EXPECT_EQ(3u, subkeys);
    EXPECT_EQ(0u, values);
}

TEST_F(RegistryTest, WritesThroughClassesRootGoWhereWindowsSendsThem) {
    CreateWithString(HKEY_LOCAL_MACHINE, OLESTR("Software\\Classes\\MachineOnly"), OLESTR(""),
                     OLESTR("m"));
    CreateWithString(HKEY_LOCAL_MACHINE, OLESTR("Software\\Classes\\Both"), OLESTR(""),
                     OLESTR("m"));
    CreateWithString(HKEY_CURRENT_USER, OLESTR("Software\\Classes\\Both"), OLESTR(""), OLESTR("u"));
    CreateWithString(HKEY_CURRENT_USER, OLESTR("Software\\Classes\\UserOnly"), OLESTR(""),
                     OLESTR("u"));

    struct Case {
        const OLECHAR* key;
        bool toUser;
    } cases[] = {
        {OLESTR("MachineOnly"), false}, {OLESTR("Both"), true}, {OLESTR("UserOnly"), true}};
    for (const auto& c : cases) {
        SCOPED_TRACE(corvane::text::ToUtf8(c.key));
        KeyHolder k;
        ASSERT_EQ(ERROR_SUCCESS, RegOpenKeyExW(HKEY_CLASSES_ROOT, c.key, 0, KEY_ALL_ACCESS, &k));
        ASSERT_EQ(ERROR_SUCCESS, SetString(k, OLESTR("written"), OLESTR("w")));
        const OleString path = OleString(OLESTR("Software\\Classes\\")) + c.key;
        EXPECT_EQ(c.toUser,
                  ReadString(HKEY_CURRENT_USER, path.c_str(), OLESTR("written")).has_value());
        EXPECT_EQ(!c.toUser,
                  ReadString(HKEY_LOCAL_MACHINE, path.c_str(), OLESTR("written")).has_value());
    }

    // A new key through the classes view is created in the machine's hive, even below a key
    // that only the user has.
    CreateWithString(HKEY_CLASSES_ROOT, OLESTR("UserOnly\\NewChild"), OLESTR(""), OLESTR("n"));
    EXPECT_TRUE(KeyExists(HKEY_LOCAL_MACHINE, OLESTR("Software\\Classes\\UserOnly\\NewChild")));
    EXPECT_FALSE(KeyExists(HKEY_CURRENT_USER, OLESTR("Software\\Classes\\UserOnly\\NewChild")));

    // A deletion through the view takes the copy that it shows, the user's first; the machine's
    // then shows through until it is deleted in turn.
    CreateWithString(HKEY_LOCAL_MACHINE, OLESTR("Software\\Classes\\Both"), OLESTR("written"),
                     OLESTR("m"));
    {
        KeyHolder both;
        ASSERT_EQ(ERROR_SUCCESS,
                  RegOpenKeyExW(HKEY_CLASSES_ROOT, OLESTR("Both"), 0, KEY_ALL_ACCESS, &both));
        EXPECT_EQ(ERROR_SUCCESS, RegDeleteValueW(both, OLESTR("written")));
        EXPECT_EQ(OLESTR("m"), ReadString(HKEY_CLASSES_ROOT, OLESTR("Both"), OLESTR("written")));
    }
    EXPECT_EQ(ERROR_SUCCESS, RegDeleteTreeW(HKEY_CLASSES_ROOT, OLESTR("Both")));
    EXPECT_FALSE(KeyExists(HKEY_CURRENT_USER, OLESTR("Software\\Classes\\Both")));
    EXPECT_EQ(OLESTR("m"), ReadString(HKEY_CLASSES_ROOT, OLESTR("Both"), OLESTR("")));
    EXPECT_EQ(ERROR_SUCCESS, RegDeleteTreeW(HKEY_CLASSES_ROOT, OLESTR("Both")));
    EXPECT_FALSE(KeyExists(HKEY_CLASSES_ROOT, OLESTR("Both")));
    EXPECT_EQ(ERROR_SUCCESS, RegDeleteKeyW(HKEY_CLASSES_ROOT, OLESTR("UserOnly\\NewChild")));
    EXPECT_FALSE(KeyExists(HKEY_CLASSES_ROOT, OLESTR("UserOnly\\NewChild")));
    EXPECT_TRUE(KeyExists(HKEY_LOCAL_MACHINE, OLESTR("Software\\Classes\\UserOnly")))
        << "the parent created on the way stays";

    // Writes straight to one hive never touch the other.
    CreateWithString(HKEY_CURRENT_USER, OLESTR("Software\\Classes\\MachineOnly"), OLESTR("u"),
                     OLESTR("1"));
    EXPECT_FALSE(
        ReadString(HKEY_LOCAL_MACHINE, OLESTR("Software\\Classes\\MachineOnly"), OLESTR("u")));
    EXPECT_EQ(OLESTR("1"), ReadString(HKEY_CLASSES_ROOT, OLESTR("MachineOnly"), OLESTR("u")));
}

TEST_F(RegistryTest, ChangesPersistAcrossAReopenAndAFreshProcess) {
    CreateWithString(HKEY_LOCAL_MACHINE, OLESTR("Software\\Persist"), OLESTR("parent"),
                     OLESTR("p"));
    Reopen();
    EXPECT_EQ(OLESTR("p"),
              ReadString(HKEY_LOCAL_MACHINE, OLESTR("Software\\Persist"), OLESTR("parent")));

    // A child process reads the parent's value and writes one of its own; it reports failures
    // through its exit status.
    pid_t pid = fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
        int rc = ReadString(HKEY_LOCAL_MACHINE, OLESTR("Software\\Persist"), OLESTR("parent")) ==
                         OLESTR("p")
                     ? 0
                     : 1;
        HKEY k = nullptr;
        if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, OLESTR("Software\\Persist"), 0, KEY_SET_VALUE, &k) ||
            SetString(k, OLESTR("child"), OLESTR("c"))) {
            rc |= 2;
        }
        _exit(rc);
    }
    int status = 0;
    ASSERT_EQ(pid, waitpid(pid, &status, 0));
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(0, WEXITSTATUS(status));
    // Without a reopen: the cached tree notices the newer file.
    EXPECT_EQ(OLESTR("c"),
              ReadString(HKEY_LOCAL_MACHINE, OLESTR("Software\\Persist"), OLESTR("child")));

    // Another root is another registry; returning finds everything again.
    const fs::path other = root_ / "other";
    ASSERT_EQ(ERROR_SUCCESS, CorvaneSetRegistryRoot(other.c_str()));
    EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, OLESTR("Software\\Persist")));
    Reopen();
    EXPECT_EQ(OLESTR("c"),
              ReadString(HKEY_LOCAL_MACHINE, OLESTR("Software\\Persist"), OLESTR("child")));
}

TEST_F(RegistryTest, TwoProcessesWritingAtOnceLoseNothing) {
    constexpr int kPerChild = 200;
    CreateWithString(HKEY_CURRENT_USER, OLESTR("Software\\Race"), OLESTR("seed"), OLESTR("0"));
    pid_t children[2];
    for (int c = 0; c < 2; ++c) {
        children[c] = fork();
        ASSERT_GE(children[c], 0);
        if (children[c] == 0) {
            HKEY k = nullptr;
            if (RegOpenKeyExW(HKEY_CURRENT_USER, OLESTR("Software\\Race"), 0, KEY_SET_VALUE, &k))
                _exit(1);
            for (int i = 0; i < kPerChild; ++i) {
                const OleString name =
                    corvane::text::ToUtf16("child" + std::to_string(c) + "-" + std::to_string(i));
                const DWORD data = static_cast<DWORD>(c * 1000 + i);
                if (RegSetValueExW(k, name.c_str(), 0, REG_DWORD,
                                   reinterpret_cast<const BYTE*>(&data), 4)) {
                    _exit(2);
                }
            }
            _exit(0);
        }
    }
    for (pid_t pid : children) {
        int status = 0;
        ASSERT_EQ(pid, waitpid(pid, &status, 0));
        ASSERT_TRUE(WIFEXITED(status));
        EXPECT_EQ(0, WEXITSTATUS(status));
    }
    KeyHolder k;
    ASSERT_EQ(ERROR_SUCCESS,
              RegOpenKeyExW(HKEY_CURRENT_USER, OLESTR("Software\\Race"), 0, KEY_READ, &k));
    DWORD values = 0;
    ASSERT_EQ(ERROR_SUCCESS,
              RegQueryInfoKeyW(k, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, &values,
                               nullptr, nullptr, nullptr, nullptr));
    EXPECT_EQ(DWORD(2 * kPerChild + 1), values);
    int missing = 0;
    for (int c = 0; c < 2; ++c) {
        for (int i = 0; i < kPerChild; ++i) {
            const OleString name =
                corvane::text::ToUtf16("child" + std::to_string(c) + "-" + std::to_string(i));
            Read r = ReadValue(k, name.c_str());
            DWORD got = 0;
            if (r.status == ERROR_SUCCESS && r.data.size() == 4)
                std::memcpy(&got, r.data.data(), 4);
            if (r.status != ERROR_SUCCESS || got != static_cast<DWORD>(c * 1000 + i)) ++missing;
        }
    }
    EXPECT_EQ(0, missing);
}

TEST_F(RegistryTest, ThreadsWritingAtOnceLoseNothing) {
    CreateWithString(HKEY_LOCAL_MACHINE, OLESTR("Software\\Threads"), OLESTR("seed"), OLESTR("0"));
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([t] {
            KeyHolder k;
            ASSERT_EQ(ERROR_SUCCESS, RegOpenKeyExW(HKEY_LOCAL_MACHINE, OLESTR("Software\\Threads"),
                                                   0, KEY_ALL_ACCESS, &k));
            for (int i = 0; i < 25; ++i) {
                const OleString name =
                    corvane::text::ToUtf16("t" + std::to_string(t) + "-" + std::to_string(i));
                ASSERT_EQ(ERROR_SUCCESS, SetString(k, name.c_str(), name));
            }
        });
    }
    for (auto& th : threads) th.join();
    Reopen();
    KeyHolder k;
    ASSERT_EQ(ERROR_SUCCESS,
              RegOpenKeyExW(HKEY_LOCAL_MACHINE, OLESTR("Software\\Threads"), 0, KEY_READ, &k));
    EXPECT_EQ(101u, EnumValueNames(k).size());
}

TEST_F(RegistryTest, AFailedWriteLeavesTheHiveFileAndTheKeysUnchanged) {
    CreateWithString(HKEY_LOCAL_MACHINE, OLESTR("Software\\Safe"), OLESTR("kept"),
                     OLESTR("before"));
    const std::string before = FileBytes(Hive("machine"));
    ASSERT_FALSE(before.empty());

    struct Step {
        const char* what;
        std::function<LSTATUS()> run;
        std::function<bool()> unchanged;
    } steps[] = {
        {"set value",
         [] {
             KeyHolder k;
             RegOpenKeyExW(HKEY_LOCAL_MACHINE, OLESTR("Software\\Safe"), 0, KEY_ALL_ACCESS, &k);
             return SetString(k, OLESTR("kept"), OLESTR("after"));
         },
         [] {
             return ReadString(HKEY_LOCAL_MACHINE, OLESTR("Software\\Safe"), OLESTR("kept")) ==
                    OLESTR("before");
         }},
        {"create key",
         [] {
             KeyHolder k;
             return RegCreateKeyExW(HKEY_LOCAL_MACHINE, OLESTR("Software\\Safe\\New"), 0, nullptr,
                                    0, KEY_ALL_ACCESS, nullptr, &k, nullptr);
         },
         [] { return !KeyExists(HKEY_LOCAL_MACHINE, OLESTR("Software\\Safe\\New")); }},
        {"delete tree", [] { return RegDeleteTreeW(HKEY_LOCAL_MACHINE, OLESTR("Software\\Safe")); },
         [] { return KeyExists(HKEY_LOCAL_MACHINE, OLESTR("Software\\Safe")); }},
    };
    for (const auto& step : steps) {
        SCOPED_TRACE(step.what);
        CorvaneRegistryFailNthWrite(1);
        EXPECT_EQ(ERROR_CANTWRITE, step.run());
        EXPECT_EQ(before, FileBytes(Hive("machine")));
        EXPECT_TRUE(step.unchanged()) << "in this process";
        Reopen();
        EXPECT_TRUE(step.unchanged()) << "read from the file";
    }
    // No temporary file is left behind.
    for (const auto& entry : fs::directory_iterator(root_)) {
        EXPECT_EQ(std::string::npos, entry.path().filename().string().find(".tmp")) << entry.path();
    }
    // The failure is counted: the third write from now fails, the ones before succeed.
    CorvaneRegistryFailNthWrite(3);
    CreateWithString(HKEY_LOCAL_MACHINE, OLESTR("Software\\Safe"), OLESTR("one"), OLESTR("1"));
    CreateWithString(HKEY_LOCAL_MACHINE, OLESTR("Software\\Safe"), OLESTR("two"), OLESTR("2"));
    KeyHolder k;
    ASSERT_EQ(ERROR_SUCCESS,
              RegOpenKeyExW(HKEY_LOCAL_MACHINE, OLESTR("Software\\Safe"), 0, KEY_ALL_ACCESS, &k));
    EXPECT_EQ(ERROR_CANTWRITE, SetString(k, OLESTR("three"), OLESTR("3")));
    EXPECT_EQ(ERROR_SUCCESS, SetString(k, OLESTR("four"), OLESTR("4")));
    EXPECT_EQ(
        (std::vector<OleString>{OLESTR("kept"), OLESTR("one"), OLESTR("two"), OLESTR("four")}),
        EnumValueNames(k));
}

TEST_F(RegistryTest, AFailedSecondHiveWriteUndoesTheFirst) {
    CreateWithString(HKEY_LOCAL_MACHINE, OLESTR("Software\\Classes\\Shared"), OLESTR(""),
                     OLESTR("m"));
    CreateWithString(HKEY_CURRENT_USER, OLESTR("Software\\Classes\\Shared"), OLESTR(""),
                     OLESTR("u"));
    ASSERT_EQ(ERROR_SUCCESS, CorvaneRegistryBeginTransaction(1000));
    for (HKEY hive : {HKEY_CURRENT_USER, HKEY_LOCAL_MACHINE})
        ASSERT_EQ(ERROR_SUCCESS, RegDeleteTreeW(hive, OLESTR("Software\\Classes\\Shared")));
    CorvaneRegistryFailNthWrite(2);  // the user's hive is written first, then the machine's
    EXPECT_EQ(ERROR_CANTWRITE, CorvaneRegistryEndTransaction(TRUE));
    Reopen();
    EXPECT_EQ(OLESTR("u"),
              ReadString(HKEY_CURRENT_USER, OLESTR("Software\\Classes\\Shared"), OLESTR("")));
    EXPECT_EQ(OLESTR("m"),
              ReadString(HKEY_LOCAL_MACHINE, OLESTR("Software\\Classes\\Shared"), OLESTR("")));
}

TEST_F(RegistryTest, ADamagedHiveIsReportedAndNeverOverwritten) {
    CreateWithString(HKEY_LOCAL_MACHINE, OLESTR("Software\\Damaged"), OLESTR("v"), OLESTR("1"));
    const std::string good = FileBytes(Hive("machine"));
    for (const std::string& damaged :
         {good.substr(0, good.size() / 2), good.substr(0, good.size() - 4),
          std::string("not a hive\n"), good + "garbage\n"}) {
        {
            std::ofstream out(Hive("machine"), std::ios::binary | std::ios::trunc);
            out << damaged;
        }
        Reopen();
        DWORD size = 0;
        KeyHolder k;
        EXPECT_EQ(ERROR_BADDB,
                  RegOpenKeyExW(HKEY_LOCAL_MACHINE, OLESTR("Software\\Damaged"), 0, KEY_READ, &k));
        EXPECT_EQ(ERROR_BADDB, RegCreateKeyExW(HKEY_LOCAL_MACHINE, OLESTR("Software\\Other"), 0,
                                               nullptr, 0, KEY_ALL_ACCESS, nullptr, &k, nullptr));
        EXPECT_EQ(ERROR_BADDB, RegQueryValueExW(HKEY_CLASSES_ROOT, OLESTR("x"), nullptr, nullptr,
                                                nullptr, &size));
        EXPECT_EQ(damaged, FileBytes(Hive("machine")));
        // The user's hive is unaffected.
        CreateWithString(HKEY_CURRENT_USER, OLESTR("Software\\Fine"), OLESTR("v"), OLESTR("1"));
    }
}

TEST_F(RegistryTest, TheHiveFileIsReadableText) {
    CreateWithString(HKEY_LOCAL_MACHINE, OLESTR("Software\\Classes\\CLSID\\{X}\\InprocServer32"),
                     OLESTR("ThreadingModel"), OLESTR("Apartment"));
    const std::string text = FileBytes(Hive("machine"));
    EXPECT_NE(std::string::npos, text.find("\"InprocServer32\"")) << text;
    EXPECT_NE(std::string::npos, text.find("\"ThreadingModel\"")) << text;
    EXPECT_NE(std::string::npos, text.find("Apartment")) << text;
    EXPECT_FALSE(fs::exists(Hive("user"))) << "nothing was written for the user";
}

TEST(RegistryRoot, DefaultsFollowTheEnvironment) {
    struct Saved {
        const char* name;
        std::optional<std::string> value;
    } saved[] = {{"CORVANE_REGISTRY_ROOT", {}}, {"XDG_DATA_HOME", {}}, {"HOME", {}}};
    for (auto& s : saved) {
        if (const char* v = std::getenv(s.name)) s.value = v;
    }
    auto root = [] {
        char buf[512];
        size_t n = CorvaneGetRegistryRoot(buf, sizeof buf);
        return n < sizeof buf ? std::string(buf) : std::string("<too long>");
    };
    setenv("HOME", "/home/someone", 1);
    setenv("XDG_DATA_HOME", "/xdg/data", 1);
    setenv("CORVANE_REGISTRY_ROOT", "/explicit/root/", 1);
    ASSERT_EQ(ERROR_SUCCESS, CorvaneSetRegistryRoot(nullptr));
    EXPECT_EQ("/explicit/root", root());
    unsetenv("CORVANE_REGISTRY_ROOT");
    ASSERT_EQ(ERROR_SUCCESS, CorvaneSetRegistryRoot(""));
    EXPECT_EQ("/xdg/data/corvane/registry", root());
    unsetenv("XDG_DATA_HOME");
    ASSERT_EQ(ERROR_SUCCESS, CorvaneSetRegistryRoot(nullptr));
    EXPECT_EQ("/home/someone/.local/share/corvane/registry", root());
    unsetenv("HOME");
    EXPECT_EQ(ERROR_PATH_NOT_FOUND, CorvaneSetRegistryRoot(nullptr));
    ASSERT_EQ(ERROR_SUCCESS, CorvaneSetRegistryRoot("relative/dir"));
    char cwd[4096];
    ASSERT_NE(nullptr, getcwd(cwd, sizeof cwd));
    EXPECT_EQ(std::string(cwd) + "/relative/dir", root());
    EXPECT_EQ(root().size() + 1, CorvaneGetRegistryRoot(nullptr, 0));
    char tiny[4] = "abc";
    EXPECT_EQ(root().size() + 1, CorvaneGetRegistryRoot(tiny, sizeof tiny));
    EXPECT_STREQ("abc", tiny);
    for (auto& s : saved) {
        if (s.value) {
            setenv(s.name, s.value->c_str(), 1);
        } else {
            unsetenv(s.name);
        }
    }
}

// ---- transactions, damaged hives and unusable folders ----

std::string RegistryFailure() {
    char buf[2048];
    const size_t n = CorvaneGetRegistryFailure(buf, sizeof buf);
    return n > 0 && n < sizeof buf ? std::string(buf) : std::string();
}

TEST_F(RegistryTest, ATransactionReachesTheFilesWholeOrNotAtAll) {
    CreateWithString(HKEY_LOCAL_MACHINE, OLESTR("Software\\Kept"), OLESTR("v"), OLESTR("1"));
    const std::string machineBefore = FileBytes(Hive("machine"));
    for (BOOL commit : {FALSE, TRUE}) {
        SCOPED_TRACE(commit ? "commit" : "discard");
        ASSERT_EQ(ERROR_SUCCESS, CorvaneRegistryBeginTransaction(1000));
        EXPECT_EQ(ERROR_SUCCESS, RegDeleteTreeW(HKEY_LOCAL_MACHINE, OLESTR("Software\\Kept")));
        CreateWithString(HKEY_LOCAL_MACHINE, OLESTR("Software\\New"), OLESTR("v"), OLESTR("m"));
        CreateWithString(HKEY_CURRENT_USER, OLESTR("Software\\New"), OLESTR("v"), OLESTR("u"));
        // This thread sees its changes; the files, and so other processes, do not yet.
        EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, OLESTR("Software\\Kept")));
        EXPECT_EQ(OLESTR("u"), ReadString(HKEY_CURRENT_USER, OLESTR("Software\\New"), OLESTR("v")));
        EXPECT_EQ(machineBefore, FileBytes(Hive("machine")));
        EXPECT_FALSE(fs::exists(Hive("user")));
        EXPECT_EQ(ERROR_SUCCESS, CorvaneRegistryEndTransaction(commit));
        for (bool fromFile : {false, true}) {
            if (fromFile) Reopen();
            EXPECT_EQ(!commit, KeyExists(HKEY_LOCAL_MACHINE, OLESTR("Software\\Kept")));
            EXPECT_EQ(bool(commit), KeyExists(HKEY_LOCAL_MACHINE, OLESTR("Software\\New")));
            EXPECT_EQ(bool(commit), KeyExists(HKEY_CURRENT_USER, OLESTR("Software\\New")));
        }
        if (!commit) {
            EXPECT_EQ(machineBefore, FileBytes(Hive("machine")));
        }
    }
}

TEST_F(RegistryTest, ATransactionWaitsForAnotherHolderThenReportsBusy) {
    CreateWithString(HKEY_LOCAL_MACHINE, OLESTR("Software\\Before"), OLESTR("v"), OLESTR("1"));
    // Another open file description of the lock: to the registry, another process.
    const int fd = open((root_ / "machine.lock").c_str(), O_RDWR);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(0, flock(fd, LOCK_EX));
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(ERROR_BUSY, CorvaneRegistryBeginTransaction(200));
    EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(200));
    EXPECT_EQ("the registry is busy: another process keeps the machine hive " +
                  Hive("machine").string() + " locked",
              RegistryFailure());
    // Nothing was left held: a transaction gets through once the holder lets go.
    std::thread release([fd] {
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        flock(fd, LOCK_UN);
    });
    EXPECT_EQ(ERROR_SUCCESS, CorvaneRegistryBeginTransaction(5000));
    release.join();
    close(fd);
    EXPECT_EQ(ERROR_SUCCESS, CorvaneRegistryEndTransaction(TRUE));
}

TEST_F(RegistryTest, OtherThreadsWaitForATransactionAndMisuseIsRefused) {
    EXPECT_EQ(ERROR_INVALID_FUNCTION, CorvaneRegistryEndTransaction(TRUE));
    ASSERT_EQ(ERROR_SUCCESS, CorvaneRegistryBeginTransaction(1000));
    EXPECT_EQ(ERROR_INVALID_FUNCTION, CorvaneRegistryBeginTransaction(1000));
    EXPECT_EQ(ERROR_BUSY, CorvaneSetRegistryRoot(root_.c_str()));
    std::atomic<bool> written{false};
    std::thread other([&] {
        CreateWithString(HKEY_LOCAL_MACHINE, OLESTR("Software\\Other"), OLESTR("v"), OLESTR("o"));
        written = true;
    });
    CreateWithString(HKEY_LOCAL_MACHINE, OLESTR("Software\\Mine"), OLESTR("v"), OLESTR("m"));
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    EXPECT_FALSE(written) << "another thread's write waits for the transaction";
    EXPECT_EQ(ERROR_SUCCESS, CorvaneRegistryEndTransaction(TRUE));
    other.join();
    Reopen();
    EXPECT_TRUE(KeyExists(HKEY_LOCAL_MACHINE, OLESTR("Software\\Mine")));
    EXPECT_TRUE(KeyExists(HKEY_LOCAL_MACHINE, OLESTR("Software\\Other")));
}

TEST_F(RegistryTest, ADamagedHiveIsNamedAndTheOtherHiveStaysUsable) {
    struct Case {
        const char* hive;
        HKEY broken, fine;
        bool classesUsable;  // the user's hive alone still answers through the classes view
    } cases[] = {{"machine", HKEY_LOCAL_MACHINE, HKEY_CURRENT_USER, true},
                 {"user", HKEY_CURRENT_USER, HKEY_LOCAL_MACHINE, false}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.hive);
        const fs::path dir = root_ / c.hive;
        ASSERT_EQ(ERROR_SUCCESS, CorvaneSetRegistryRoot(dir.c_str()));
        CreateWithString(c.fine, OLESTR("Software\\Classes\\Mine"), OLESTR("v"), OLESTR("fine"));
        CreateWithString(c.broken, OLESTR("Software\\Classes\\Theirs"), OLESTR("v"), OLESTR("x"));
        const fs::path hive = dir / (std::string(c.hive) + ".hive");
        std::string damaged = FileBytes(hive);
        damaged.insert(damaged.find('\n') + 1, "junk\n");
        std::ofstream(hive, std::ios::binary | std::ios::trunc) << damaged;
        ASSERT_EQ(ERROR_SUCCESS, CorvaneSetRegistryRoot(dir.c_str()));

        CorvaneClearRegistryFailure();
        KeyHolder k;
        EXPECT_EQ(ERROR_BADDB, RegOpenKeyExW(c.broken, OLESTR("Software"), 0, KEY_READ, &k));
        EXPECT_EQ("the " + std::string(c.hive) + " hive " + hive.string() + " is damaged (line 2)",
                  RegistryFailure());
        // The other hive takes changes, in a transaction too, and the damaged file stays.
        ASSERT_EQ(ERROR_SUCCESS, CorvaneRegistryBeginTransaction(1000));
        CreateWithString(c.fine, OLESTR("Software\\Classes\\Mine"), OLESTR("w"), OLESTR("tx"));
        EXPECT_EQ(ERROR_SUCCESS, CorvaneRegistryEndTransaction(TRUE));
        EXPECT_EQ(damaged, FileBytes(hive));
        // Through the classes view only what the user's hive settles alone.
        KeyHolder view;
        EXPECT_EQ(c.classesUsable ? ERROR_SUCCESS : ERROR_BADDB,
                  RegOpenKeyExW(HKEY_CLASSES_ROOT, OLESTR("Mine"), 0, KEY_READ, &view));
        if (c.classesUsable) {
            EXPECT_EQ(ERROR_SUCCESS, ReadValue(view, OLESTR("v")).status);
            EXPECT_EQ(ERROR_BADDB, ReadValue(view, OLESTR("absent")).status);
            DWORD values = 0;
            EXPECT_EQ(ERROR_BADDB,
                      RegQueryInfoKeyW(view, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
                                       &values, nullptr, nullptr, nullptr, nullptr));
        }
        EXPECT_EQ(ERROR_BADDB, RegOpenKeyExW(HKEY_CLASSES_ROOT, OLESTR("Theirs"), 0, KEY_READ, &k));
    }
}

TEST_F(RegistryTest, AnUnusableFolderIsNamedWithTheSystemsWords) {
    const fs::path file = root_ / "file";
    std::ofstream(file) << "x";
    for (const fs::path& dir : {file, file / "sub"}) {
        SCOPED_TRACE(dir.string());
        ASSERT_EQ(ERROR_SUCCESS, CorvaneSetRegistryRoot(dir.c_str()));
        CorvaneClearRegistryFailure();
        KeyHolder k;
        EXPECT_EQ(ERROR_PATH_NOT_FOUND,
                  RegCreateKeyExW(HKEY_CURRENT_USER, OLESTR("Software\\X"), 0, nullptr, 0,
                                  KEY_ALL_ACCESS, nullptr, &k, nullptr));
        std::string text = RegistryFailure();
        EXPECT_NE(std::string::npos, text.find(dir.string() + ": Not a directory")) << text;
        CorvaneClearRegistryFailure();
        EXPECT_EQ(ERROR_PATH_NOT_FOUND, CorvaneRegistryBeginTransaction(0));
        EXPECT_EQ(text, RegistryFailure());
    }
}

}  // namespace
