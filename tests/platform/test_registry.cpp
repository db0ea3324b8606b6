// Registry: names, values, enumeration, deletion, the classes view, persistence, concurrent
// writers in other processes and failed writes.
#include "platform/win32.h"

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

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

std::vector<BYTE> StringBytes(std::u16string_view s, bool withNul = true) {
    std::vector<BYTE> out((s.size() + (withNul ? 1 : 0)) * 2, 0);
    std::memcpy(out.data(), s.data(), s.size() * 2);
    return out;
}

LSTATUS SetBytes(HKEY k, const char16_t* name, DWORD type, const std::vector<BYTE>& data) {
    return RegSetValueExW(k, name, 0, type, data.empty() ? nullptr : data.data(),
                          static_cast<DWORD>(data.size()));
}

LSTATUS SetString(HKEY k, const char16_t* name, std::u16string_view v) {
    return SetBytes(k, name, REG_SZ, StringBytes(v));
}

// Type and bytes of a value, or the failure.
struct Read {
    LSTATUS status;
    DWORD type = 0;
    std::vector<BYTE> data;
};

Read ReadValue(HKEY k, const char16_t* name) {
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
std::optional<std::u16string> ReadString(HKEY root, const char16_t* path, const char16_t* name) {
    KeyHolder k;
    if (RegOpenKeyExW(root, path, 0, KEY_READ, &k) != ERROR_SUCCESS) return std::nullopt;
    Read r = ReadValue(k, name);
    if (r.status != ERROR_SUCCESS) return std::nullopt;
    std::u16string s(r.data.size() / 2, u'\0');
    std::memcpy(s.data(), r.data.data(), s.size() * 2);
    while (!s.empty() && s.back() == u'\0') s.pop_back();
    return s;
}

bool KeyExists(HKEY root, const char16_t* path) {
    KeyHolder k;
    return RegOpenKeyExW(root, path, 0, KEY_READ, &k) == ERROR_SUCCESS;
}

void CreateWithString(HKEY root, const char16_t* path, const char16_t* name,
                      std::u16string_view v) {
    KeyHolder k;
    ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyExW(root, path, 0, nullptr, REG_OPTION_NON_VOLATILE,
                                             KEY_ALL_ACCESS, nullptr, &k, nullptr));
    ASSERT_EQ(ERROR_SUCCESS, SetString(k, name, v));
}

// Names of the subkeys (or values) of k in enumeration order.
std::vector<std::u16string> EnumNames(HKEY k, bool subkeys) {
    std::vector<std::u16string> names;
    for (DWORD i = 0;; ++i) {
        char16_t buf[256];
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
std::vector<std::u16string> EnumKeys(HKEY k) {
    return EnumNames(k, true);
}
std::vector<std::u16string> EnumValueNames(HKEY k) {
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
        RegCreateKeyExW(HKEY_LOCAL_MACHINE, u"software\\corvane\\lowercase key", 0, nullptr,
                        REG_OPTION_NON_VOLATILE, KEY_ALL_ACCESS, nullptr, &created, &disposition));
    EXPECT_EQ(REG_CREATED_NEW_KEY, disposition);
    ASSERT_EQ(ERROR_SUCCESS, SetString(created, u"threadingmodel", u"Apartment"));

    for (const char16_t* spelling :
         {u"SOFTWARE\\CORVANE\\LOWERCASE KEY", u"Software\\Corvane\\LowerCase Key",
          u"software\\corvane\\lowercase key\\"}) {
        SCOPED_TRACE(corvane::text::ToUtf8(spelling));
        EXPECT_EQ(u"Apartment", ReadString(HKEY_LOCAL_MACHINE, spelling, u"ThreadingModel"));
    }
    KeyHolder again;
    ASSERT_EQ(ERROR_SUCCESS,
              RegCreateKeyExW(HKEY_LOCAL_MACHINE, u"SOFTWARE\\CORVANE\\LOWERCASE KEY", 0, nullptr,
                              0, KEY_READ, nullptr, &again, &disposition));
    EXPECT_EQ(REG_OPENED_EXISTING_KEY, disposition);

    KeyHolder parent;
    ASSERT_EQ(ERROR_SUCCESS,
              RegOpenKeyExW(HKEY_LOCAL_MACHINE, u"SOFTWARE\\CORVANE", 0, KEY_READ, &parent));
    EXPECT_EQ(std::vector<std::u16string>{u"lowercase key"}, EnumKeys(parent));
    EXPECT_EQ(std::vector<std::u16string>{u"threadingmodel"}, EnumValueNames(again));

    // Setting a value under another spelling replaces it and keeps the first spelling.
    ASSERT_EQ(ERROR_SUCCESS, SetString(created, u"THREADINGMODEL", u"Both"));
    EXPECT_EQ(std::vector<std::u16string>{u"threadingmodel"}, EnumValueNames(again));
    EXPECT_EQ(u"Both", ReadString(again, nullptr, u"ThreadingModel"));
}

TEST_F(RegistryTest, ValuesOfEveryTypeSurviveAReopenByteForByte) {
    const std::u16string awkward = std::u16string(u"quote\" back\\slash\nnew\ttab ") +
                                   u"\u00e9\u4e2d\U0001F3B5" + char16_t(0xD800) + u"end";
    struct Case {
        const char16_t* name;
        DWORD type;
        std::vector<BYTE> data;
    } cases[] = {
        {u"", REG_SZ, StringBytes(u"default value")},
        {u"sz", REG_SZ, StringBytes(awkward)},
        {u"sz without NUL", REG_SZ, StringBytes(u"abc", false)},
        {u"odd sz", REG_SZ, {'a', 0, 'b'}},
        {u"expand", REG_EXPAND_SZ, StringBytes(u"%HOME%\\x")},
        {u"multi", REG_MULTI_SZ, StringBytes(std::u16string(u"one\0two\0", 8))},
        {u"binary", REG_BINARY, {0x00, 0xFF, 0x10, 0x0A, 0x0D, 0x22, 0x5C}},
        {u"empty binary", REG_BINARY, {}},
        {u"dword", REG_DWORD, {0x78, 0x56, 0x34, 0x12}},
        {u"short dword", REG_DWORD, {0x01, 0x02}},
        {u"qword", REG_QWORD, {1, 2, 3, 4, 5, 6, 7, 0x80}},
        {u"none", REG_NONE, {7}},
        {u"custom type", 0x12345678, {9, 8}},
        {u"name with \\ and \" and \u00fc", REG_SZ, StringBytes(u"x")},
    };
    {
        KeyHolder k;
        ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyExW(HKEY_CURRENT_USER, u"Software\\Types", 0, nullptr,
                                                 0, KEY_ALL_ACCESS, nullptr, &k, nullptr));
        for (const auto& c : cases) ASSERT_EQ(ERROR_SUCCESS, SetBytes(k, c.name, c.type, c.data));
    }
    for (int pass = 0; pass < 2; ++pass) {
        if (pass == 1) Reopen();
        KeyHolder k;
        ASSERT_EQ(ERROR_SUCCESS,
                  RegOpenKeyExW(HKEY_CURRENT_USER, u"Software\\Types", 0, KEY_READ, &k));
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
    ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyExW(HKEY_LOCAL_MACHINE, u"Software\\Q", 0, nullptr, 0,
                                             KEY_ALL_ACCESS, nullptr, &k, nullptr));
    ASSERT_EQ(ERROR_SUCCESS, SetString(k, u"v", u"hello"));  // 12 bytes with the NUL

    DWORD type = 0, size = 0;
    EXPECT_EQ(ERROR_SUCCESS, RegQueryValueExW(k, u"v", nullptr, &type, nullptr, &size));
    EXPECT_EQ(DWORD(REG_SZ), type);
    EXPECT_EQ(12u, size);

    BYTE small[4] = {0xAA, 0xAA, 0xAA, 0xAA};
    size = sizeof small;
    type = 0;
    EXPECT_EQ(ERROR_MORE_DATA, RegQueryValueExW(k, u"v", nullptr, &type, small, &size));
    EXPECT_EQ(12u, size);
    EXPECT_EQ(DWORD(REG_SZ), type);

    size = 12;
    BYTE exact[12];
    EXPECT_EQ(ERROR_SUCCESS, RegQueryValueExW(k, u"v", nullptr, nullptr, exact, &size));
    EXPECT_EQ(0, std::memcmp(exact, u"hello", 12));

    DWORD reserved = 0;
    EXPECT_EQ(ERROR_FILE_NOT_FOUND,
              RegQueryValueExW(k, u"missing", nullptr, nullptr, nullptr, &size));
    EXPECT_EQ(ERROR_FILE_NOT_FOUND, RegQueryValueExW(k, nullptr, nullptr, nullptr, nullptr, &size))
        << "a key without a default value";
    EXPECT_EQ(ERROR_INVALID_PARAMETER, RegQueryValueExW(k, u"v", nullptr, nullptr, exact, nullptr));
    EXPECT_EQ(ERROR_INVALID_PARAMETER,
              RegQueryValueExW(k, u"v", &reserved, nullptr, nullptr, &size));
    EXPECT_EQ(ERROR_NOACCESS, RegSetValueExW(k, u"w", 0, REG_BINARY, nullptr, 4));
    EXPECT_EQ(ERROR_SUCCESS, RegSetValueExW(k, u"w", 0, REG_BINARY, nullptr, 0));
    size = 99;
    EXPECT_EQ(ERROR_SUCCESS, RegQueryValueExW(k, u"w", nullptr, nullptr, nullptr, &size));
    EXPECT_EQ(0u, size);
}

TEST_F(RegistryTest, EveryFunctionRejectsUnknownAndClosedHandles) {
    KeyHolder k;
    ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyExW(HKEY_LOCAL_MACHINE, u"Software\\H", 0, nullptr, 0,
                                             KEY_ALL_ACCESS, nullptr, &k, nullptr));
    HKEY closed = k.h;
    ASSERT_EQ(ERROR_SUCCESS, RegCloseKey(closed));
    k.h = nullptr;
    const HKEY bogus = reinterpret_cast<HKEY>(static_cast<uintptr_t>(0x12345670));
    for (HKEY h : {closed, bogus, static_cast<HKEY>(nullptr),
                   reinterpret_cast<HKEY>(static_cast<ULONG_PTR>(static_cast<LONG>(0x80000003)))}) {
        HKEY out = reinterpret_cast<HKEY>(1);
        char16_t name[64];
        DWORD cch = 64, size = 0, count = 0;
        BYTE data[8] = {};
        EXPECT_EQ(ERROR_INVALID_HANDLE,
                  RegCreateKeyExW(h, u"x", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &out, nullptr));
        EXPECT_EQ(nullptr, out);
        EXPECT_EQ(ERROR_INVALID_HANDLE, RegOpenKeyExW(h, u"x", 0, KEY_READ, &out));
        EXPECT_EQ(ERROR_INVALID_HANDLE, RegSetValueExW(h, u"v", 0, REG_BINARY, data, 1));
        EXPECT_EQ(ERROR_INVALID_HANDLE,
                  RegQueryValueExW(h, u"v", nullptr, nullptr, nullptr, &size));
        EXPECT_EQ(ERROR_INVALID_HANDLE, RegDeleteValueW(h, u"v"));
        EXPECT_EQ(ERROR_INVALID_HANDLE, RegDeleteKeyW(h, u"x"));
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
    EXPECT_TRUE(KeyExists(HKEY_LOCAL_MACHINE, u"Software\\H")) << "predefined keys stay usable";
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
    CreateWithString(HKEY_LOCAL_MACHINE, u"Software\\Acl", u"v", u"1");
    KeyHolder readOnly, writeOnly;
    ASSERT_EQ(ERROR_SUCCESS,
              RegOpenKeyExW(HKEY_LOCAL_MACHINE, u"Software\\Acl", 0, KEY_READ, &readOnly));
    ASSERT_EQ(ERROR_SUCCESS,
              RegOpenKeyExW(HKEY_LOCAL_MACHINE, u"Software\\Acl", 0, KEY_WRITE, &writeOnly));
    EXPECT_EQ(ERROR_ACCESS_DENIED, SetString(readOnly, u"v", u"2"));
    EXPECT_EQ(ERROR_ACCESS_DENIED, RegDeleteValueW(readOnly, u"v"));
    KeyHolder sub;
    EXPECT_EQ(ERROR_ACCESS_DENIED,
              RegCreateKeyExW(readOnly, u"new", 0, nullptr, 0, KEY_READ, nullptr, &sub, nullptr));
    DWORD size = 0;
    EXPECT_EQ(ERROR_ACCESS_DENIED,
              RegQueryValueExW(writeOnly, u"v", nullptr, nullptr, nullptr, &size));
    char16_t name[8];
    DWORD cch = 8;
    EXPECT_EQ(ERROR_ACCESS_DENIED,
              RegEnumKeyExW(writeOnly, 0, name, &cch, nullptr, nullptr, nullptr, nullptr));
    EXPECT_EQ(ERROR_ACCESS_DENIED, RegDeleteTreeW(readOnly, nullptr));
    EXPECT_EQ(u"1", ReadString(HKEY_LOCAL_MACHINE, u"Software\\Acl", u"v"));
    EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, u"Software\\Acl\\new"));

    // The generic rights map to the key rights.
    KeyHolder generic;
    ASSERT_EQ(ERROR_SUCCESS,
              RegOpenKeyExW(HKEY_LOCAL_MACHINE, u"Software\\Acl", 0, GENERIC_WRITE, &generic));
    EXPECT_EQ(ERROR_SUCCESS, SetString(generic, u"v", u"3"));
}

TEST_F(RegistryTest, SubkeysEnumerateInNameOrderAndValuesInSetOrder) {
    KeyHolder k;
    ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyExW(HKEY_CURRENT_USER, u"Software\\Enum", 0, nullptr, 0,
                                             KEY_ALL_ACCESS, nullptr, &k, nullptr));
    for (const char16_t* sub : {u"b", u"A", u"c", u"_", u"Ab"}) {
        KeyHolder s;
        ASSERT_EQ(ERROR_SUCCESS,
                  RegCreateKeyExW(k, sub, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &s, nullptr));
    }
    // Windows compares upper-cased names: '_' (0x5F) sorts after the letters.
    EXPECT_EQ((std::vector<std::u16string>{u"A", u"Ab", u"b", u"c", u"_"}), EnumKeys(k));
    for (const char16_t* v : {u"zeta", u"alpha", u"Mid"})
        ASSERT_EQ(ERROR_SUCCESS, SetString(k, v, v));
    EXPECT_EQ((std::vector<std::u16string>{u"zeta", u"alpha", u"Mid"}), EnumValueNames(k));

    char16_t name[4];
    DWORD cch = 2;  // "Ab" needs 3 with its NUL
    EXPECT_EQ(ERROR_MORE_DATA, RegEnumKeyExW(k, 1, name, &cch, nullptr, nullptr, nullptr, nullptr));
    cch = 3;
    EXPECT_EQ(ERROR_SUCCESS, RegEnumKeyExW(k, 1, name, &cch, nullptr, nullptr, nullptr, nullptr));
    EXPECT_EQ(2u, cch);
    EXPECT_EQ(u"Ab", std::u16string(name));
    cch = 4;
    EXPECT_EQ(ERROR_NO_MORE_ITEMS,
              RegEnumKeyExW(k, 5, name, &cch, nullptr, nullptr, nullptr, nullptr));

    // Value data that does not fit: name, type and needed size are reported.
    char16_t vname[8];
    DWORD vcch = 8, type = 0, size = 2;
    BYTE data[2];
    EXPECT_EQ(ERROR_MORE_DATA, RegEnumValueW(k, 1, vname, &vcch, nullptr, &type, data, &size));
    EXPECT_EQ(u"alpha", std::u16string(vname));
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
    CreateWithString(HKEY_LOCAL_MACHINE, u"Software\\Del\\Child\\Leaf", u"v", u"x");
    KeyHolder child;
    ASSERT_EQ(ERROR_SUCCESS, RegOpenKeyExW(HKEY_LOCAL_MACHINE, u"Software\\Del\\Child", 0,
                                           KEY_ALL_ACCESS, &child));
    EXPECT_EQ(ERROR_ACCESS_DENIED, RegDeleteKeyW(HKEY_LOCAL_MACHINE, u"Software\\Del\\Child"));
    EXPECT_TRUE(KeyExists(HKEY_LOCAL_MACHINE, u"Software\\Del\\Child\\Leaf"));
    EXPECT_EQ(ERROR_SUCCESS, RegDeleteKeyW(child, u"LEAF"));
    EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, u"Software\\Del\\Child\\Leaf"));
    EXPECT_EQ(ERROR_FILE_NOT_FOUND, RegDeleteKeyW(child, u"Leaf"));
    EXPECT_EQ(ERROR_INVALID_PARAMETER, RegDeleteKeyW(child, nullptr));
    EXPECT_EQ(ERROR_SUCCESS, RegDeleteKeyW(HKEY_LOCAL_MACHINE, u"Software\\Del\\Child"));
    EXPECT_EQ(ERROR_KEY_DELETED, SetString(child, u"v", u"y"));
    DWORD size = 0;
    EXPECT_EQ(ERROR_KEY_DELETED, RegQueryValueExW(child, u"v", nullptr, nullptr, nullptr, &size));
    KeyHolder under;
    EXPECT_EQ(ERROR_KEY_DELETED, RegCreateKeyExW(child, u"x", 0, nullptr, 0, KEY_ALL_ACCESS,
                                                 nullptr, &under, nullptr));
    EXPECT_TRUE(KeyExists(HKEY_LOCAL_MACHINE, u"Software\\Del"));
}

TEST_F(RegistryTest, DeleteTreeRemovesASubtreeOrAKeysContents) {
    CreateWithString(HKEY_CURRENT_USER, u"Software\\T\\Gone\\A\\B", u"v", u"1");
    CreateWithString(HKEY_CURRENT_USER, u"Software\\T\\Gone", u"v", u"1");
    CreateWithString(HKEY_CURRENT_USER, u"Software\\T\\Kept", u"v", u"2");
    EXPECT_EQ(ERROR_SUCCESS, RegDeleteTreeW(HKEY_CURRENT_USER, u"software\\t\\gone"));
    EXPECT_FALSE(KeyExists(HKEY_CURRENT_USER, u"Software\\T\\Gone"));
    EXPECT_EQ(u"2", ReadString(HKEY_CURRENT_USER, u"Software\\T\\Kept", u"v"));
    EXPECT_EQ(ERROR_FILE_NOT_FOUND, RegDeleteTreeW(HKEY_CURRENT_USER, u"Software\\T\\Gone"));

    // NULL: every subkey and value of the key goes, the key stays.
    CreateWithString(HKEY_CURRENT_USER, u"Software\\T", u"own", u"3");
    {
        KeyHolder t;
        ASSERT_EQ(ERROR_SUCCESS,
                  RegOpenKeyExW(HKEY_CURRENT_USER, u"Software\\T", 0, KEY_ALL_ACCESS, &t));
        EXPECT_EQ(ERROR_SUCCESS, RegDeleteTreeW(t, nullptr));
        EXPECT_TRUE(EnumKeys(t).empty());
        EXPECT_TRUE(EnumValueNames(t).empty());
    }
    Reopen();
    EXPECT_TRUE(KeyExists(HKEY_CURRENT_USER, u"Software\\T"));
    EXPECT_FALSE(KeyExists(HKEY_CURRENT_USER, u"Software\\T\\Kept"));
}

TEST_F(RegistryTest, TheHiveSkeletonCannotBeDeleted) {
    CreateWithString(HKEY_LOCAL_MACHINE, u"Software\\Classes\\X", u"v", u"1");
    EXPECT_EQ(ERROR_ACCESS_DENIED, RegDeleteTreeW(HKEY_LOCAL_MACHINE, u"Software"));
    EXPECT_EQ(ERROR_ACCESS_DENIED, RegDeleteTreeW(HKEY_LOCAL_MACHINE, u"Software\\Classes"));
    EXPECT_EQ(ERROR_ACCESS_DENIED, RegDeleteTreeW(HKEY_LOCAL_MACHINE, nullptr));
    EXPECT_EQ(ERROR_ACCESS_DENIED, RegDeleteKeyW(HKEY_CLASSES_ROOT, u""));
    EXPECT_TRUE(KeyExists(HKEY_CLASSES_ROOT, u"X"));
    // The contents of the classes key may go.
    KeyHolder classes;
    ASSERT_EQ(ERROR_SUCCESS,
              RegOpenKeyExW(HKEY_LOCAL_MACHINE, u"Software\\Classes", 0, KEY_ALL_ACCESS, &classes));
    EXPECT_EQ(ERROR_SUCCESS, RegDeleteTreeW(classes, nullptr));
    EXPECT_FALSE(KeyExists(HKEY_CLASSES_ROOT, u"X"));
}

TEST_F(RegistryTest, DeleteValueRemovesOnlyThatValue) {
    CreateWithString(HKEY_LOCAL_MACHINE, u"Software\\V", u"a", u"1");
    CreateWithString(HKEY_LOCAL_MACHINE, u"Software\\V", u"b", u"2");
    KeyHolder k;
    ASSERT_EQ(ERROR_SUCCESS,
              RegOpenKeyExW(HKEY_LOCAL_MACHINE, u"Software\\V", 0, KEY_ALL_ACCESS, &k));
    EXPECT_EQ(ERROR_SUCCESS, RegDeleteValueW(k, u"A"));
    EXPECT_EQ(ERROR_FILE_NOT_FOUND, RegDeleteValueW(k, u"a"));
    EXPECT_EQ(ERROR_FILE_NOT_FOUND, RegDeleteValueW(k, nullptr));
    EXPECT_EQ(std::vector<std::u16string>{u"b"}, EnumValueNames(k));
}

TEST_F(RegistryTest, SubkeyPathsAreChecked) {
    KeyHolder k;
    struct Case {
        const char16_t* path;
        LSTATUS expected;
    } cases[] = {
        {u"\\Software\\Lead", ERROR_BAD_PATHNAME},
        {u"Software\\\\Double", ERROR_BAD_PATHNAME},
        {u"Software\\Trail\\", ERROR_SUCCESS},
        {u"Software\\Ok", ERROR_SUCCESS},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(corvane::text::ToUtf8(c.path));
        KeyHolder out;
        EXPECT_EQ(c.expected, RegCreateKeyExW(HKEY_LOCAL_MACHINE, c.path, 0, nullptr, 0,
                                              KEY_ALL_ACCESS, nullptr, &out, nullptr));
    }
    const std::u16string longName = u"Software\\" + std::u16string(256, u'n');
    EXPECT_EQ(ERROR_INVALID_PARAMETER,
              RegCreateKeyExW(HKEY_LOCAL_MACHINE, longName.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS,
                              nullptr, &k, nullptr));
    EXPECT_EQ(ERROR_SUCCESS,
              RegCreateKeyExW(HKEY_LOCAL_MACHINE, longName.substr(0, 9 + 255).c_str(), 0, nullptr,
                              0, KEY_ALL_ACCESS, nullptr, &k, nullptr));
    EXPECT_EQ(ERROR_INVALID_PARAMETER, RegCreateKeyExW(HKEY_LOCAL_MACHINE, nullptr, 0, nullptr, 0,
                                                       KEY_ALL_ACCESS, nullptr, &k, nullptr));
    EXPECT_EQ(ERROR_NOT_SUPPORTED,
              RegCreateKeyExW(HKEY_LOCAL_MACHINE, u"Software\\Volatile", 0, nullptr,
                              REG_OPTION_VOLATILE, KEY_ALL_ACCESS, nullptr, &k, nullptr));
    EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, u"Software\\Volatile"));
}

TEST_F(RegistryTest, ClassesRootShowsTheUsersClassesOverTheMachines) {
    CreateWithString(HKEY_LOCAL_MACHINE, u"Software\\Classes\\CLSID\\{A}", u"", u"machine A");
    CreateWithString(HKEY_LOCAL_MACHINE, u"Software\\Classes\\CLSID\\{A}", u"m", u"only machine");
    CreateWithString(HKEY_LOCAL_MACHINE, u"Software\\Classes\\CLSID\\{C}", u"", u"machine C");
    CreateWithString(HKEY_CURRENT_USER, u"Software\\Classes\\CLSID\\{a}", u"", u"user A");
    CreateWithString(HKEY_CURRENT_USER, u"Software\\Classes\\CLSID\\{B}", u"", u"user B");

    EXPECT_EQ(u"user A", ReadString(HKEY_CLASSES_ROOT, u"CLSID\\{A}", u""));
    EXPECT_EQ(u"only machine", ReadString(HKEY_CLASSES_ROOT, u"clsid\\{a}", u"m"));
    EXPECT_EQ(u"user B", ReadString(HKEY_CLASSES_ROOT, u"CLSID\\{B}", u""));
    EXPECT_EQ(u"machine C", ReadString(HKEY_CLASSES_ROOT, u"CLSID\\{C}", u""));

    KeyHolder clsid;
    ASSERT_EQ(ERROR_SUCCESS, RegOpenKeyExW(HKEY_CLASSES_ROOT, u"CLSID", 0, KEY_READ, &clsid));
    EXPECT_EQ((std::vector<std::u16string>{u"{a}", u"{B}", u"{C}"}), EnumKeys(clsid));
    KeyHolder a;
    ASSERT_EQ(ERROR_SUCCESS, RegOpenKeyExW(clsid, u"{A}", 0, KEY_READ, &a));
    EXPECT_EQ((std::vector<std::u16string>{u"", u"m"}), EnumValueNames(a));
    DWORD subkeys = 0, values = 0;
    ASSERT_EQ(ERROR_SUCCESS,
              RegQueryInfoKeyW(clsid, nullptr, nullptr, nullptr, &subkeys, nullptr, nullptr,
                               &values, nullptr, nullptr, nullptr, nullptr));
    EXPECT_EQ(3u, subkeys);
    EXPECT_EQ(0u, values);
}

TEST_F(RegistryTest, WritesThroughClassesRootGoWhereWindowsSendsThem) {
    CreateWithString(HKEY_LOCAL_MACHINE, u"Software\\Classes\\MachineOnly", u"", u"m");
    CreateWithString(HKEY_LOCAL_MACHINE, u"Software\\Classes\\Both", u"", u"m");
    CreateWithString(HKEY_CURRENT_USER, u"Software\\Classes\\Both", u"", u"u");
    CreateWithString(HKEY_CURRENT_USER, u"Software\\Classes\\UserOnly", u"", u"u");

    struct Case {
        const char16_t* key;
        bool toUser;
    } cases[] = {{u"MachineOnly", false}, {u"Both", true}, {u"UserOnly", true}};
    for (const auto& c : cases) {
        SCOPED_TRACE(corvane::text::ToUtf8(c.key));
        KeyHolder k;
        ASSERT_EQ(ERROR_SUCCESS, RegOpenKeyExW(HKEY_CLASSES_ROOT, c.key, 0, KEY_ALL_ACCESS, &k));
        ASSERT_EQ(ERROR_SUCCESS, SetString(k, u"written", u"w"));
        const std::u16string path = std::u16string(u"Software\\Classes\\") + c.key;
        EXPECT_EQ(c.toUser, ReadString(HKEY_CURRENT_USER, path.c_str(), u"written").has_value());
        EXPECT_EQ(!c.toUser, ReadString(HKEY_LOCAL_MACHINE, path.c_str(), u"written").has_value());
    }

    // A new key through the classes view is created in the machine's hive, even below a key
    // that only the user has.
    CreateWithString(HKEY_CLASSES_ROOT, u"UserOnly\\NewChild", u"", u"n");
    EXPECT_TRUE(KeyExists(HKEY_LOCAL_MACHINE, u"Software\\Classes\\UserOnly\\NewChild"));
    EXPECT_FALSE(KeyExists(HKEY_CURRENT_USER, u"Software\\Classes\\UserOnly\\NewChild"));

    // Deletions through the view take the key out of both hives.
    EXPECT_EQ(ERROR_SUCCESS, RegDeleteTreeW(HKEY_CLASSES_ROOT, u"Both"));
    EXPECT_FALSE(KeyExists(HKEY_CLASSES_ROOT, u"Both"));
    EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, u"Software\\Classes\\Both"));
    EXPECT_FALSE(KeyExists(HKEY_CURRENT_USER, u"Software\\Classes\\Both"));
    EXPECT_EQ(ERROR_SUCCESS, RegDeleteKeyW(HKEY_CLASSES_ROOT, u"UserOnly\\NewChild"));
    EXPECT_FALSE(KeyExists(HKEY_CLASSES_ROOT, u"UserOnly\\NewChild"));
    EXPECT_TRUE(KeyExists(HKEY_LOCAL_MACHINE, u"Software\\Classes\\UserOnly"))
        << "the parent created on the way stays";

    // Writes straight to one hive never touch the other.
    CreateWithString(HKEY_CURRENT_USER, u"Software\\Classes\\MachineOnly", u"u", u"1");
    EXPECT_FALSE(ReadString(HKEY_LOCAL_MACHINE, u"Software\\Classes\\MachineOnly", u"u"));
    EXPECT_EQ(u"1", ReadString(HKEY_CLASSES_ROOT, u"MachineOnly", u"u"));
}

TEST_F(RegistryTest, ChangesPersistAcrossAReopenAndAFreshProcess) {
    CreateWithString(HKEY_LOCAL_MACHINE, u"Software\\Persist", u"parent", u"p");
    Reopen();
    EXPECT_EQ(u"p", ReadString(HKEY_LOCAL_MACHINE, u"Software\\Persist", u"parent"));

    // A child process reads the parent's value and writes one of its own; it reports failures
    // through its exit status.
    pid_t pid = fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
        int rc = ReadString(HKEY_LOCAL_MACHINE, u"Software\\Persist", u"parent") == u"p" ? 0 : 1;
        HKEY k = nullptr;
        if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, u"Software\\Persist", 0, KEY_SET_VALUE, &k) ||
            SetString(k, u"child", u"c")) {
            rc |= 2;
        }
        _exit(rc);
    }
    int status = 0;
    ASSERT_EQ(pid, waitpid(pid, &status, 0));
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(0, WEXITSTATUS(status));
    // Without a reopen: the cached tree notices the newer file.
    EXPECT_EQ(u"c", ReadString(HKEY_LOCAL_MACHINE, u"Software\\Persist", u"child"));

    // Another root is another registry; returning finds everything again.
    const fs::path other = root_ / "other";
    ASSERT_EQ(ERROR_SUCCESS, CorvaneSetRegistryRoot(other.c_str()));
    EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, u"Software\\Persist"));
    Reopen();
    EXPECT_EQ(u"c", ReadString(HKEY_LOCAL_MACHINE, u"Software\\Persist", u"child"));
}

TEST_F(RegistryTest, TwoProcessesWritingAtOnceLoseNothing) {
    constexpr int kPerChild = 200;
    CreateWithString(HKEY_CURRENT_USER, u"Software\\Race", u"seed", u"0");
    pid_t children[2];
    for (int c = 0; c < 2; ++c) {
        children[c] = fork();
        ASSERT_GE(children[c], 0);
        if (children[c] == 0) {
            HKEY k = nullptr;
            if (RegOpenKeyExW(HKEY_CURRENT_USER, u"Software\\Race", 0, KEY_SET_VALUE, &k)) _exit(1);
            for (int i = 0; i < kPerChild; ++i) {
                const std::u16string name =
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
    ASSERT_EQ(ERROR_SUCCESS, RegOpenKeyExW(HKEY_CURRENT_USER, u"Software\\Race", 0, KEY_READ, &k));
    DWORD values = 0;
    ASSERT_EQ(ERROR_SUCCESS,
              RegQueryInfoKeyW(k, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, &values,
                               nullptr, nullptr, nullptr, nullptr));
    EXPECT_EQ(DWORD(2 * kPerChild + 1), values);
    int missing = 0;
    for (int c = 0; c < 2; ++c) {
        for (int i = 0; i < kPerChild; ++i) {
            const std::u16string name =
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
    CreateWithString(HKEY_LOCAL_MACHINE, u"Software\\Threads", u"seed", u"0");
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([t] {
            KeyHolder k;
            ASSERT_EQ(ERROR_SUCCESS, RegOpenKeyExW(HKEY_LOCAL_MACHINE, u"Software\\Threads", 0,
                                                   KEY_ALL_ACCESS, &k));
            for (int i = 0; i < 25; ++i) {
                const std::u16string name =
                    corvane::text::ToUtf16("t" + std::to_string(t) + "-" + std::to_string(i));
                ASSERT_EQ(ERROR_SUCCESS, SetString(k, name.c_str(), name));
            }
        });
    }
    for (auto& th : threads) th.join();
    Reopen();
    KeyHolder k;
    ASSERT_EQ(ERROR_SUCCESS,
              RegOpenKeyExW(HKEY_LOCAL_MACHINE, u"Software\\Threads", 0, KEY_READ, &k));
    EXPECT_EQ(101u, EnumValueNames(k).size());
}

TEST_F(RegistryTest, AFailedWriteLeavesTheHiveFileAndTheKeysUnchanged) {
    CreateWithString(HKEY_LOCAL_MACHINE, u"Software\\Safe", u"kept", u"before");
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
             RegOpenKeyExW(HKEY_LOCAL_MACHINE, u"Software\\Safe", 0, KEY_ALL_ACCESS, &k);
             return SetString(k, u"kept", u"after");
         },
         [] { return ReadString(HKEY_LOCAL_MACHINE, u"Software\\Safe", u"kept") == u"before"; }},
        {"create key",
         [] {
             KeyHolder k;
             return RegCreateKeyExW(HKEY_LOCAL_MACHINE, u"Software\\Safe\\New", 0, nullptr, 0,
                                    KEY_ALL_ACCESS, nullptr, &k, nullptr);
         },
         [] { return !KeyExists(HKEY_LOCAL_MACHINE, u"Software\\Safe\\New"); }},
        {"delete tree", [] { return RegDeleteTreeW(HKEY_LOCAL_MACHINE, u"Software\\Safe"); },
         [] { return KeyExists(HKEY_LOCAL_MACHINE, u"Software\\Safe"); }},
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
    CreateWithString(HKEY_LOCAL_MACHINE, u"Software\\Safe", u"one", u"1");
    CreateWithString(HKEY_LOCAL_MACHINE, u"Software\\Safe", u"two", u"2");
    KeyHolder k;
    ASSERT_EQ(ERROR_SUCCESS,
              RegOpenKeyExW(HKEY_LOCAL_MACHINE, u"Software\\Safe", 0, KEY_ALL_ACCESS, &k));
    EXPECT_EQ(ERROR_CANTWRITE, SetString(k, u"three", u"3"));
    EXPECT_EQ(ERROR_SUCCESS, SetString(k, u"four", u"4"));
    EXPECT_EQ((std::vector<std::u16string>{u"kept", u"one", u"two", u"four"}), EnumValueNames(k));
}

TEST_F(RegistryTest, AFailedSecondHiveWriteUndoesTheFirst) {
    CreateWithString(HKEY_LOCAL_MACHINE, u"Software\\Classes\\Shared", u"", u"m");
    CreateWithString(HKEY_CURRENT_USER, u"Software\\Classes\\Shared", u"", u"u");
    CorvaneRegistryFailNthWrite(2);  // the user's hive is written first, then the machine's
    EXPECT_EQ(ERROR_CANTWRITE, RegDeleteTreeW(HKEY_CLASSES_ROOT, u"Shared"));
    Reopen();
    EXPECT_EQ(u"u", ReadString(HKEY_CURRENT_USER, u"Software\\Classes\\Shared", u""));
    EXPECT_EQ(u"m", ReadString(HKEY_LOCAL_MACHINE, u"Software\\Classes\\Shared", u""));
}

TEST_F(RegistryTest, ADamagedHiveIsReportedAndNeverOverwritten) {
    CreateWithString(HKEY_LOCAL_MACHINE, u"Software\\Damaged", u"v", u"1");
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
                  RegOpenKeyExW(HKEY_LOCAL_MACHINE, u"Software\\Damaged", 0, KEY_READ, &k));
        EXPECT_EQ(ERROR_BADDB, RegCreateKeyExW(HKEY_LOCAL_MACHINE, u"Software\\Other", 0, nullptr,
                                               0, KEY_ALL_ACCESS, nullptr, &k, nullptr));
        EXPECT_EQ(ERROR_BADDB,
                  RegQueryValueExW(HKEY_CLASSES_ROOT, u"x", nullptr, nullptr, nullptr, &size));
        EXPECT_EQ(damaged, FileBytes(Hive("machine")));
        // The user's hive is unaffected.
        CreateWithString(HKEY_CURRENT_USER, u"Software\\Fine", u"v", u"1");
    }
}

TEST_F(RegistryTest, TheHiveFileIsReadableText) {
    CreateWithString(HKEY_LOCAL_MACHINE, u"Software\\Classes\\CLSID\\{X}\\InprocServer32",
                     u"ThreadingModel", u"Apartment");
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

}  // namespace
