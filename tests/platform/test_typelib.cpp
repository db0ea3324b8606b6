// Type libraries: corvane's own, read back from a module's resources, and their registration.
#include "platform/win32.h"
#include "platform/linux/com.h"

#include "corvane/corvane.h"

#include <gtest/gtest.h>

#include <dlfcn.h>
#include <limits.h>
#include <stdlib.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <string>
#include <vector>

namespace {

using corvane::OleString;

OleString Wide(const std::string& s) {
    return corvane::text::ToUtf16(s);
}

OleString ModulePath() {
    char buf[PATH_MAX];
    return realpath(CORVANE_TEST_RESOURCE_MODULE, buf) != nullptr ? Wide(buf) : OleString();
}

OleString Take(BSTR s) {
    OleString r = s != nullptr ? OleString(s) : OleString();
    SysFreeString(s);
    return r;
}

using corvane::GuidText;

// The library's documented content, written out independently of the list it is generated from:
// the order of the type descriptions, with each name's GUID taken from the header.
struct Expected {
    const OLECHAR* name;
    TYPEKIND kind;
    const GUID* guid;
    const OLECHAR* help;
    WORD functions;
};
#define COCLASS(n) \
    { u## #n, TKIND_COCLASS, &CLSID_##n, OLESTR(""), 0 }
#define CLASS_ITF(n) \
    { u## #n, TKIND_INTERFACE, &IID_##n, OLESTR(""), 0 }
const Expected kExpected[] = {
    COCLASS(BandFilter5),
    {OLESTR("IMediaSource"), TKIND_INTERFACE, &IID_IMediaSource, OLESTR("IMediaSource Interface"),
     44},
    {OLESTR("IMediaBaseFilter"), TKIND_INTERFACE, &IID_IMediaBaseFilter,
     OLESTR("IMediaBaseFilter Interface"), 12},
    CLASS_ITF(IBandFilter5),
    COCLASS(DelayFilter5),
    CLASS_ITF(IDelayFilter5),
    COCLASS(EchoFilter5),
    CLASS_ITF(IEchoFilter5),
    COCLASS(EqualizeFilter5),
    CLASS_ITF(IEqualizeFilter5),
    COCLASS(FlangerFilter5),
    CLASS_ITF(IFlangerFilter5),
    COCLASS(InvertFilter5),
    CLASS_ITF(IInvertFilter5),
    COCLASS(PitchShiftFilter5),
    CLASS_ITF(IPitchShiftFilter5),
    COCLASS(ReverbFilter5),
    CLASS_ITF(IReverbFilter5),
    COCLASS(ReverseFilter5),
    CLASS_ITF(IReverseFilter5),
    COCLASS(SilenceFilter5),
    CLASS_ITF(ISilenceFilter5),
    COCLASS(StretchFilter5),
    CLASS_ITF(IStretchFilter5),
    COCLASS(VibratoFilter5),
    CLASS_ITF(IVibratoFilter5),
    COCLASS(VolumeFilter5),
    {OLESTR("IVolumeFilter5"), TKIND_INTERFACE, &IID_IVolumeFilter5, OLESTR(""), 2},
    COCLASS(WahWahFilter5),
    CLASS_ITF(IWahWahFilter5),
    COCLASS(AudioFilter5),
    CLASS_ITF(IAudioFilter5),
    COCLASS(MedianFilter5),
    CLASS_ITF(IMedianFilter5),
    COCLASS(AudioFilterNB5),
    CLASS_ITF(IAudioFilterNB5),
};
#undef COCLASS
#undef CLASS_ITF

class TypeLibTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_EQ(LoadTypeLibEx(ModulePath().c_str(), REGKIND_NONE, &lib_), S_OK);
        ASSERT_NE(lib_, nullptr);
    }
    void TearDown() override {
        if (lib_ != nullptr) {
            EXPECT_EQ(lib_->Release(), 0u) << "a type info or the library leaked a reference";
        }
    }
    ITypeInfo* Info(UINT i) {
        ITypeInfo* info = nullptr;
        EXPECT_EQ(lib_->GetTypeInfo(i, &info), S_OK);
        return info;
    }
    ITypeLib* lib_ = nullptr;
};

TEST_F(TypeLibTest, LibraryAttributes) {
    TLIBATTR* attr = nullptr;
    ASSERT_EQ(lib_->GetLibAttr(&attr), S_OK);
    EXPECT_EQ(attr->guid, LIBID_corvaneLib);
    EXPECT_EQ(attr->wMajorVerNum, 1);
    EXPECT_EQ(attr->wMinorVerNum, 0);
    EXPECT_EQ(attr->lcid, 0u);
    EXPECT_EQ(attr->syskind, SYS_WIN32);
    EXPECT_EQ(attr->wLibFlags, 0);
    lib_->ReleaseTLibAttr(attr);

    BSTR name = nullptr, doc = reinterpret_cast<BSTR>(1), file = reinterpret_cast<BSTR>(1);
    DWORD context = 99;
    ASSERT_EQ(lib_->GetDocumentation(-1, &name, &doc, &context, &file), S_OK);
    EXPECT_EQ(Take(name), OLESTR("corvaneLib"));
    EXPECT_EQ(doc, nullptr);  // no help string of its own
    EXPECT_EQ(file, nullptr);
    EXPECT_EQ(context, 0u);
}

TEST_F(TypeLibTest, TypesInDocumentedOrderAgreeWithTheHeader) {
    ASSERT_EQ(lib_->GetTypeInfoCount(), 36u);
    for (UINT i = 0; i < 36; ++i) {
        const Expected& e = kExpected[i];
        SCOPED_TRACE(testing::Message() << "type " << i);
        ITypeInfo* info = Info(i);
        ASSERT_NE(info, nullptr);
        TYPEATTR* attr = nullptr;
        ASSERT_EQ(info->GetTypeAttr(&attr), S_OK);
        EXPECT_EQ(attr->typekind, e.kind);
        EXPECT_EQ(attr->guid, *e.guid);
        EXPECT_EQ(attr->cFuncs, e.functions);
        if (e.kind == TKIND_COCLASS) {
            EXPECT_EQ(attr->wTypeFlags, TYPEFLAG_FCANCREATE);
            EXPECT_EQ(attr->cImplTypes, 3);
        } else {
            EXPECT_EQ(
                attr->wTypeFlags & (TYPEFLAG_FDUAL | TYPEFLAG_FOLEAUTOMATION | TYPEFLAG_FCANCREATE),
                0);
            EXPECT_EQ(attr->cImplTypes, 1);
            EXPECT_EQ(attr->cbSizeVft, (3 + e.functions) * sizeof(void*));
        }
        info->ReleaseTypeAttr(attr);

        TYPEKIND kind = TKIND_MAX;
        EXPECT_EQ(lib_->GetTypeInfoType(i, &kind), S_OK);
        EXPECT_EQ(kind, e.kind);
        BSTR name = nullptr, doc = nullptr;
        EXPECT_EQ(info->GetDocumentation(MEMBERID_NIL, &name, &doc, nullptr, nullptr), S_OK);
        EXPECT_EQ(Take(name), e.name);
        EXPECT_EQ(Take(doc), e.help);
        EXPECT_EQ(lib_->GetDocumentation(static_cast<INT>(i), &name, nullptr, nullptr, nullptr),
                  S_OK);
        EXPECT_EQ(Take(name), e.name);

        ITypeInfo* byGuid = nullptr;
        EXPECT_EQ(lib_->GetTypeInfoOfGuid(*e.guid, &byGuid), S_OK);
        EXPECT_EQ(byGuid, info);
        if (byGuid != nullptr) byGuid->Release();
        ITypeLib* containing = nullptr;
        UINT index = 99;
        EXPECT_EQ(info->GetContainingTypeLib(&containing, &index), S_OK);
        EXPECT_EQ(containing, lib_);
        EXPECT_EQ(index, i);
        if (containing != nullptr) containing->Release();
        info->Release();
    }
    ITypeInfo* none = reinterpret_cast<ITypeInfo*>(1);
    EXPECT_EQ(lib_->GetTypeInfo(36, &none), TYPE_E_ELEMENTNOTFOUND);
    EXPECT_EQ(none, nullptr);
    EXPECT_EQ(lib_->GetTypeInfoOfGuid(CLSID_AudioBuffer, &none), TYPE_E_ELEMENTNOTFOUND);
}

// The name of the type that implementation index `impl` of `info` refers to, and its flags.
OleString ImplName(ITypeInfo* info, UINT impl, INT* flags) {
    HREFTYPE href = 0;
    if (info->GetRefTypeOfImplType(impl, &href) != S_OK ||
        info->GetImplTypeFlags(impl, flags) != S_OK)
        return OLESTR("?");
    ITypeInfo* ref = nullptr;
    if (info->GetRefTypeInfo(href, &ref) != S_OK) return OLESTR("?");
    BSTR name = nullptr;
    ref->GetDocumentation(MEMBERID_NIL, &name, nullptr, nullptr, nullptr);
    ref->Release();
    return Take(name);
}

TEST_F(TypeLibTest, CoclassesImplementTheirInterfacesWithTheClassInterfaceAsDefault) {
    for (UINT i = 0; i < 36; ++i) {
        ITypeInfo* info = Info(i);
        ASSERT_NE(info, nullptr);
        const Expected& e = kExpected[i];
        INT flags = -1;
        if (e.kind == TKIND_COCLASS) {
            EXPECT_EQ(ImplName(info, 0, &flags), OLESTR("IMediaSource"));
            EXPECT_EQ(flags, 0);
            EXPECT_EQ(ImplName(info, 1, &flags), OLESTR("IMediaBaseFilter"));
            EXPECT_EQ(flags, 0);
            EXPECT_EQ(ImplName(info, 2, &flags), OleString(OLESTR("I")) + e.name);
            EXPECT_EQ(flags, IMPLTYPEFLAG_FDEFAULT);
        } else {
            EXPECT_EQ(ImplName(info, 0, &flags), OLESTR("IUnknown"));
            EXPECT_EQ(flags, 0);
        }
        HREFTYPE href = 0;
        EXPECT_EQ(info->GetRefTypeOfImplType(e.kind == TKIND_COCLASS ? 3 : 1, &href),
                  TYPE_E_ELEMENTNOTFOUND);
        info->Release();
    }
}

TEST_F(TypeLibTest, MembersCarryNamesAndSharedPropertyIds) {
    ITypeInfo* source = Info(1);
    ASSERT_NE(source, nullptr);
    struct Case {
        LPOLESTR name;
        MEMBERID memid;
    } cases[] = {
        // Default ids in order of first appearance; a property's get and put share one.
        {const_cast<LPOLESTR>(OLESTR("SendCommandEx")), 0x60000000},
        {const_cast<LPOLESTR>(OLESTR("videoTracksCount")), 0x60000001},
        {const_cast<LPOLESTR>(OLESTR("audioTracksCount")), 0x60000002},
        {const_cast<LPOLESTR>(OLESTR("ReadAudio")), 0x60000013},
        {const_cast<LPOLESTR>(OLESTR("GETPARAM")), 0x60000022},
    };
    for (Case c : cases) {
        MEMBERID id = 0;
        EXPECT_EQ(source->GetIDsOfNames(&c.name, 1, &id), S_OK) << corvane::text::ToUtf8(c.name);
        EXPECT_EQ(id, c.memid) << corvane::text::ToUtf8(c.name);
    }
    BSTR name = nullptr;
    UINT count = 0;
    ASSERT_EQ(source->GetNames(0x60000013, &name, 1, &count), S_OK);
    EXPECT_EQ(count, 1u);
    EXPECT_EQ(Take(name), OLESTR("ReadAudio"));
    EXPECT_EQ(source->GetDocumentation(0x60000001, &name, nullptr, nullptr, nullptr), S_OK);
    EXPECT_EQ(Take(name), OLESTR("videoTracksCount"));
    EXPECT_EQ(source->GetNames(0x60000023, &name, 1, &count), TYPE_E_ELEMENTNOTFOUND);
    source->Release();

    // IsName and FindName reach types and members, and give back the stored spelling.
    OLECHAR probe[] = OLESTR("readaudio");
    BOOL found = FALSE;
    EXPECT_EQ(lib_->IsName(probe, 0, &found), S_OK);
    EXPECT_TRUE(found);
    EXPECT_EQ(OleString(probe), OLESTR("ReadAudio"));
    OLECHAR missing[] = OLESTR("NoSuchMember");
    EXPECT_EQ(lib_->IsName(missing, 0, &found), S_OK);
    EXPECT_FALSE(found);
    OLECHAR media[] =
        OLESTR("MediaSource");  // the IVolumeFilter5 property and the IMediaBaseFilter one
    ITypeInfo* infos[4] = {};
    MEMBERID ids[4] = {};
    USHORT n = 4;
    EXPECT_EQ(lib_->FindName(media, 0, infos, ids, &n), S_OK);
    EXPECT_EQ(n, 2);
    for (USHORT k = 0; k < n; ++k) infos[k]->Release();
}

// A scratch registry for one test: both hives start empty.
class RegistryRoot {
public:
    RegistryRoot() {
        char dir[] = "/tmp/corvane-tlbreg-XXXXXX";
        if (mkdtemp(dir) != nullptr) dir_ = dir;
        CorvaneSetRegistryRoot(dir_.c_str());
    }
    ~RegistryRoot() {
        CorvaneSetRegistryRoot(nullptr);
        std::string cmd = "rm -rf '" + dir_ + "'";
        if (std::system(cmd.c_str()) != 0)
            std::fprintf(stderr, "could not remove %s\n", dir_.c_str());
    }
    const std::string& Dir() const { return dir_; }

private:
    std::string dir_;
};

bool KeyExists(HKEY root, const OleString& path) {
    HKEY k = nullptr;
    if (RegOpenKeyExW(root, path.c_str(), 0, KEY_READ, &k) != ERROR_SUCCESS) return false;
    RegCloseKey(k);
    return true;
}

// The default value (or the named one) of a key; "<missing>" when absent.
OleString Value(HKEY root, const OleString& path, const OLECHAR* name = nullptr) {
    HKEY k = nullptr;
    if (RegOpenKeyExW(root, path.c_str(), 0, KEY_READ, &k) != ERROR_SUCCESS)
        return OLESTR("<missing>");
    WCHAR buf[1024] = {};
    DWORD cb = sizeof buf - sizeof(WCHAR), type = 0;
    LSTATUS st = RegQueryValueExW(k, name, nullptr, &type, reinterpret_cast<BYTE*>(buf), &cb);
    RegCloseKey(k);
    return st == ERROR_SUCCESS && type == REG_SZ ? OleString(buf) : OLESTR("<missing>");
}

TEST_F(TypeLibTest, RegistrationPerMachineAndPerUser) {
    const OleString path = ModulePath();
    const OleString libKey = OLESTR("Software\\Classes\\TypeLib\\") + GuidText(LIBID_corvaneLib);
    const OleString v = libKey + OLESTR("\\1.0");
    struct Case {
        const char* what;
        HKEY written, untouched;
    } cases[] = {{"machine", HKEY_LOCAL_MACHINE, HKEY_CURRENT_USER},
                 {"user", HKEY_CURRENT_USER, HKEY_LOCAL_MACHINE}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        RegistryRoot registry;
        OleString copy = path;
        const bool user = c.written == HKEY_CURRENT_USER;
        ASSERT_EQ(user ? RegisterTypeLibForUser(lib_, &copy[0], nullptr)
                       : RegisterTypeLib(lib_, path.c_str(), nullptr),
                  S_OK);
        EXPECT_EQ(Value(c.written, v), OLESTR("corvaneLib"));
        EXPECT_EQ(Value(c.written, v + OLESTR("\\0\\win32")), path);
        EXPECT_EQ(Value(c.written, v + OLESTR("\\FLAGS")), OLESTR("0"));
        EXPECT_EQ(Value(c.written, v + OLESTR("\\HELPDIR")), OLESTR(""));
        EXPECT_EQ(Value(HKEY_CLASSES_ROOT, OLESTR("TypeLib\\") + GuidText(LIBID_corvaneLib) +
                                               OLESTR("\\1.0\\0\\win32")),
                  path);
        EXPECT_FALSE(KeyExists(c.untouched, libKey));
        // Neither dual nor oleautomation: no Interface keys.
        EXPECT_FALSE(
            KeyExists(HKEY_CLASSES_ROOT, OLESTR("Interface\\") + GuidText(IID_IMediaSource)));
        EXPECT_FALSE(
            KeyExists(HKEY_CLASSES_ROOT, OLESTR("Interface\\") + GuidText(IID_IVolumeFilter5)));

        // The other twin does not see this registration.
        EXPECT_EQ(user ? UnRegisterTypeLib(LIBID_corvaneLib, 1, 0, 0, SYS_WIN32)
                       : UnRegisterTypeLibForUser(LIBID_corvaneLib, 1, 0, 0, SYS_WIN32),
                  TYPE_E_REGISTRYACCESS);
        EXPECT_TRUE(KeyExists(c.written, v));
        EXPECT_EQ(user ? UnRegisterTypeLibForUser(LIBID_corvaneLib, 1, 0, 0, SYS_WIN32)
                       : UnRegisterTypeLib(LIBID_corvaneLib, 1, 0, 0, SYS_WIN32),
                  S_OK);
        EXPECT_FALSE(KeyExists(c.written, libKey));
        EXPECT_TRUE(KeyExists(c.written, OLESTR("Software\\Classes\\TypeLib")));
        EXPECT_EQ(user ? UnRegisterTypeLibForUser(LIBID_corvaneLib, 1, 0, 0, SYS_WIN32)
                       : UnRegisterTypeLib(LIBID_corvaneLib, 1, 0, 0, SYS_WIN32),
                  TYPE_E_REGISTRYACCESS);
    }
}

TEST(TypeLibLoad, ModuleIsLoadedForTheCallAndUnloadedAfter) {
    ASSERT_EQ(dlopen(CORVANE_TEST_RESOURCE_MODULE, RTLD_NOW | RTLD_NOLOAD), nullptr);
    ITypeLib* lib = nullptr;
    ASSERT_EQ(LoadTypeLibEx(ModulePath().c_str(), REGKIND_NONE, &lib), S_OK);
    EXPECT_EQ(dlopen(CORVANE_TEST_RESOURCE_MODULE, RTLD_NOW | RTLD_NOLOAD), nullptr);
    EXPECT_EQ(lib->GetTypeInfoCount(), 36u);  // the library owns its data, not the module
    lib->Release();

    // "\1" names the resource explicitly; "\2" does not exist.
    EXPECT_EQ(LoadTypeLibEx((ModulePath() + OLESTR("\\1")).c_str(), REGKIND_NONE, &lib), S_OK);
    lib->Release();
    EXPECT_EQ(LoadTypeLibEx((ModulePath() + OLESTR("\\2")).c_str(), REGKIND_NONE, &lib),
              TYPE_E_CANTLOADLIBRARY);
    EXPECT_EQ(lib, nullptr);
}

TEST(TypeLibLoad, BadArgumentsAndFilesFail) {
    ITypeLib* lib = reinterpret_cast<ITypeLib*>(1);
    EXPECT_EQ(LoadTypeLibEx(nullptr, REGKIND_NONE, &lib), E_INVALIDARG);
    EXPECT_EQ(lib, nullptr);
    EXPECT_EQ(LoadTypeLibEx(OLESTR("/x"), REGKIND_NONE, nullptr), E_INVALIDARG);
    EXPECT_EQ(LoadTypeLibEx(OLESTR("/no/such/file.tlb"), REGKIND_NONE, &lib),
              TYPE_E_CANTLOADLIBRARY);
    // A loadable module without a type library.
    char exe[PATH_MAX];
    ASSERT_NE(realpath("/proc/self/exe", exe), nullptr);
    EXPECT_EQ(LoadTypeLibEx(Wide(exe).c_str(), REGKIND_NONE, &lib), TYPE_E_CANTLOADLIBRARY);
    EXPECT_EQ(RegisterTypeLib(nullptr, OLESTR("/x"), nullptr), E_INVALIDARG);
}

constexpr char kHead[] =
    "library T {11111111-2222-3333-4444-555555555555} version 1.0 lcid 0 syskind win32 help \"\"\n";

TEST(TypeLibText, MalformedTextIsRefused) {
    const std::string bad[] = {
        "",
        "coclass A {11111111-2222-3333-4444-555555555556} flags none help \"\"\n",
        "library T {1111-2222} version 1.0 help \"\"\n",
        std::string(kHead) + kHead,
        std::string(kHead) + "widget W {11111111-2222-3333-4444-555555555556}\n",
        std::string(kHead) +
            "interface I {11111111-2222-3333-4444-555555555556} base IUnknown help \"open\n",
        std::string(kHead) +
            "interface I {11111111-2222-3333-4444-555555555556} base IUnknown help \"\"\n"
            "interface i {11111111-2222-3333-4444-555555555557} base IUnknown help \"\"\n",
        std::string(kHead) +
            "coclass C {11111111-2222-3333-4444-555555555556} help \"\" default IMissing\n",
        std::string(kHead) + "method Orphan\n",
        std::string(kHead) +
            "interface I {11111111-2222-3333-4444-555555555556} base IUnknown help \"\"\n"
            "method get_X\nmethod get_X\n",
        std::string(kHead) +
            "interface I {11111111-2222-3333-4444-555555555556} base IUnknown flags shiny help "
            "\"\"\n",
        std::string(kHead) + "interface I {11111111-2222-3333-4444-555555555556} help \"\"\n",
    };
    for (const std::string& text : bad) {
        ITypeLib* lib = reinterpret_cast<ITypeLib*>(1);
        EXPECT_EQ(CorvaneCreateTypeLibFromText(text.data(), text.size(), &lib),
                  TYPE_E_CANTLOADLIBRARY)
            << text;
        EXPECT_EQ(lib, nullptr);
    }
}

// A library with one automation interface gets Interface keys, removed again with it; a second
// version of the same library survives the removal of the first.
TEST(TypeLibRegistration, AutomationInterfacesAndOtherVersions) {
    RegistryRoot registry;
    const std::string v1 =
        std::string(kHead) +
        "interface IAuto {11111111-2222-3333-4444-555555555556} base IUnknown flags oleautomation "
        "help \"Auto \\\"quoted\\\"\"\nmethod Go\n";
    std::string v2 = v1;
    v2.replace(v2.find("version 1.0"), 11, "version 10.0");
    const std::string file1 = registry.Dir() + "/one.tlb", file2 = registry.Dir() + "/two.tlb";
    std::ofstream(file1) << v1;
    std::ofstream(file2) << v2;

    ITypeLib* lib = nullptr;
    ASSERT_EQ(LoadTypeLibEx(Wide(file1).c_str(), REGKIND_REGISTER, &lib), S_OK);
    ITypeLib* lib2 = nullptr;
    ASSERT_EQ(LoadTypeLibEx(Wide(file2).c_str(), REGKIND_NONE, &lib2), S_OK);
    ASSERT_EQ(RegisterTypeLib(lib2, Wide(file2).c_str(), OLESTR("/help")), S_OK);

    const OleString libKey = OLESTR("TypeLib\\{11111111-2222-3333-4444-555555555555}");
    const OleString itf = OLESTR("Interface\\{11111111-2222-3333-4444-555555555556}");
    EXPECT_EQ(Value(HKEY_CLASSES_ROOT, libKey + OLESTR("\\1.0\\0\\win32")), Wide(file1));
    EXPECT_EQ(Value(HKEY_CLASSES_ROOT, libKey + OLESTR("\\a.0\\0\\win32")),
              Wide(file2));  // hexadecimal, as Windows
    EXPECT_EQ(Value(HKEY_CLASSES_ROOT, libKey + OLESTR("\\a.0\\HELPDIR")), OLESTR("/help"));
    EXPECT_EQ(Value(HKEY_CLASSES_ROOT, itf), OLESTR("IAuto"));
    EXPECT_EQ(Value(HKEY_CLASSES_ROOT, itf + OLESTR("\\ProxyStubClsid32")),
              OLESTR("{00020424-0000-0000-C000-000000000046}"));
    EXPECT_EQ(Value(HKEY_CLASSES_ROOT, itf + OLESTR("\\TypeLib")),
              OLESTR("{11111111-2222-3333-4444-555555555555}"));
    EXPECT_EQ(Value(HKEY_CLASSES_ROOT, itf + OLESTR("\\TypeLib"), OLESTR("Version")),
              OLESTR("a.0"));

    ITypeInfo* info = nullptr;
    ASSERT_EQ(lib->GetTypeInfo(0, &info), S_OK);
    BSTR doc = nullptr;
    EXPECT_EQ(info->GetDocumentation(MEMBERID_NIL, nullptr, &doc, nullptr, nullptr), S_OK);
    EXPECT_EQ(Take(doc), OLESTR("Auto \"quoted\""));
    TYPEATTR* attr = nullptr;
    ASSERT_EQ(info->GetTypeAttr(&attr), S_OK);
    EXPECT_EQ(attr->wTypeFlags, TYPEFLAG_FOLEAUTOMATION);
    info->ReleaseTypeAttr(attr);
    info->Release();

    EXPECT_EQ(UnRegisterTypeLib(
                  {0x11111111, 0x2222, 0x3333, {0x44, 0x44, 0x55, 0x55, 0x55, 0x55, 0x55, 0x55}}, 1,
                  0, 0, SYS_WIN32),
              S_OK);
    EXPECT_FALSE(KeyExists(HKEY_CLASSES_ROOT, libKey + OLESTR("\\1.0")));
    EXPECT_TRUE(KeyExists(HKEY_CLASSES_ROOT, libKey + OLESTR("\\a.0\\0\\win32")));
    EXPECT_EQ(Value(HKEY_CLASSES_ROOT, itf), OLESTR("IAuto"));  // the later registration owns it
    EXPECT_EQ(UnRegisterTypeLib(
                  {0x11111111, 0x2222, 0x3333, {0x44, 0x44, 0x55, 0x55, 0x55, 0x55, 0x55, 0x55}},
                  10, 0, 0, SYS_WIN32),
              S_OK);
    EXPECT_FALSE(KeyExists(HKEY_CLASSES_ROOT, libKey));
    EXPECT_FALSE(KeyExists(HKEY_CLASSES_ROOT, itf));
    lib->Release();
    lib2->Release();
}

}  // namespace
