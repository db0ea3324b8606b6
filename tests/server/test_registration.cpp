// Registration of the module: the keys and values it writes per machine and per user, their
// removal, the per-user switch of DllInstall, and what a failure or an unusual module path does.
#include <algorithm>
#include <filesystem>

#include <gtest/gtest.h>

#include "corvane/corvane.h"
#include "server/registration.h"
#include "server/scripts.h"
#include "tests/server/registration_checks.h"
#include "tests/server/server_support.h"
#include "platform/com_ptr.h"

namespace corvane::testing {
namespace {

const HRESULT kWriteFailed = HRESULT_FROM_WIN32(ERROR_CANTWRITE);

using Names = std::vector<OleString>;

// Wine 8 registers a per-user type library for the whole machine and unregisters the machine's
// for a per-user unregistration (its per-user calls are the per-machine ones); Windows keeps both
// in the user's classes. Under Wine the per-user cases leave the type library out and say so.
bool TypeLibFollowsTheUser() {
    static const bool follows = [] {
        if (WineVersion() == nullptr) return true;
        std::printf(
            "[   WINE   ] Wine %s registers per-user type libraries for the machine: "
            "not checked per user\n",
            WineVersion());
        return false;
    }();
    return follows;
}

// Everything registration writes, exactly, under hive\Software\Classes; module is the path that
// InprocServer32 and the type library must name. typeLib false leaves the type library out.
void ExpectRegisteredIn(HKEY hive, const OleString& module, bool typeLib = true) {
    // Upper-cased: the system writes the TypeLib key, and Wine spells it "Typelib".
    Names top;
    for (const OleString& name : SubkeyNames(hive, kClasses_)) top.push_back(UpperCased(name));
    EXPECT_EQ(top, (typeLib ? Names{OLESTR("CLSID"), OLESTR("TYPELIB")} : Names{OLESTR("CLSID")}))
        << "no ProgID, no AppID, nothing else";
    Names expectedKeys;
    for (const ClassRegistrationKeys& c : kRegisteredClasses)
        expectedKeys.push_back(ClassKeyName(c));
    Names keys = SubkeyNames(hive, kClasses_ + OLESTR("\\CLSID"));
    std::sort(expectedKeys.begin(), expectedKeys.end());
    std::sort(keys.begin(), keys.end());
    EXPECT_EQ(keys, expectedKeys) << "class keys, in the case each script writes";

    ExpectClassKeysIn(hive, module, typeLib);
}

// No class and no type library in hive (the CLSID key itself may stay); typeLib false leaves the
// type library out.
void ExpectNothingIn(HKEY hive, bool typeLib = true) {
    EXPECT_EQ(SubkeyNames(hive, kClasses_ + OLESTR("\\CLSID")), Names{});
    if (typeLib) {
        EXPECT_FALSE(
            KeyExists(hive, kClasses_ + OLESTR("\\TypeLib\\") + GuidText(LIBID_corvaneLib)));
    }
}

class RegistrationTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(SUCCEEDED(CoInitialize(nullptr)));
        ASSERT_NE(m_.DllRegisterServer, nullptr);
    }
    void TearDown() override { CoUninitialize(); }

    const ModuleExports& m_ = MainModule();
    TempRegistry registry_;
};

TEST_F(RegistrationTest, RegisterServerWritesEveryClassPerMachine) {
    ASSERT_EQ(m_.DllRegisterServer(), S_OK);
    ExpectRegisteredIn(HKEY_LOCAL_MACHINE, ModulePathWide());
    EXPECT_FALSE(KeyExists(HKEY_CURRENT_USER, kClasses_ + OLESTR("\\CLSID")));
    // The channel-map class's lower-case key answers an upper-case lookup.
    const OleString upper = OLESTR("CLSID\\") + GuidText(CLSID_AudioFilterNB5);
    EXPECT_TRUE(KeyExists(HKEY_CLASSES_ROOT, upper));
    EXPECT_TRUE(KeyExists(HKEY_CLASSES_ROOT, LowerCase(upper)));
}

TEST_F(RegistrationTest, RegisteringTwiceChangesNothing) {
    ASSERT_EQ(m_.DllRegisterServer(), S_OK);
    const std::string once = DumpRegistry();
    ASSERT_EQ(m_.DllRegisterServer(), S_OK);
    EXPECT_EQ(DumpRegistry(), once);
}

TEST_F(RegistrationTest, ClassesAreCreatedFromTheRegistryUntilUnregistered) {
    if (!SystemComReadsTheTestRegistry())
        GTEST_SKIP() << "the system's COM reads the system's registry (see the regsvr32 test)";
    ASSERT_EQ(m_.DllRegisterServer(), S_OK);
    ExpectEveryClassCreatedByCom();
    ASSERT_EQ(m_.DllUnregisterServer(), S_OK);
    for (const ClassRegistrationKeys& c : kRegisteredClasses) {
        void* out = reinterpret_cast<void*>(0x1);
        EXPECT_EQ(CoCreateInstance(*c.clsid, nullptr, CLSCTX_INPROC_SERVER, IID_IMediaSource, &out),
                  REGDB_E_CLASSNOTREG)
            << Narrow(c.description);
        EXPECT_EQ(out, nullptr);
    }
}

TEST_F(RegistrationTest, ReRegistrationReplacesAClassKeyCompletely) {
    ASSERT_EQ(m_.DllRegisterServer(), S_OK);
    const std::string clean = DumpRegistry();
    for (const ClassRegistrationKeys& c : kRegisteredClasses) {
        const OleString key = OLESTR("CLSID\\") + GuidText(*c.clsid);
        WriteString(HKEY_CLASSES_ROOT, key + OLESTR("\\Stale\\Deeper"), nullptr, OLESTR("old"));
        WriteString(HKEY_CLASSES_ROOT, key, OLESTR("Extra"), OLESTR("old"));
        WriteString(HKEY_CLASSES_ROOT, key + OLESTR("\\InprocServer32"), nullptr,
                    OLESTR("/old/libcorvane.so"));
        WriteString(HKEY_CLASSES_ROOT, key + OLESTR("\\InprocServer32"), OLESTR("ThreadingModel"),
                    OLESTR("Both"));
    }
    ASSERT_NE(DumpRegistry(), clean);
    ASSERT_EQ(m_.DllRegisterServer(), S_OK);
    EXPECT_EQ(DumpRegistry(), clean);
}

TEST_F(RegistrationTest, UnregistrationRemovesTheClassesButKeepsClsid) {
    const OleString foreign = OLESTR("CLSID\\{00000000-1111-2222-3333-444444444444}");
    WriteString(HKEY_CLASSES_ROOT, foreign, nullptr, OLESTR("someone else's class"));
    ASSERT_EQ(m_.DllRegisterServer(), S_OK);
    ASSERT_EQ(m_.DllUnregisterServer(), S_OK);
    EXPECT_EQ(SubkeyNames(HKEY_LOCAL_MACHINE, kClasses_ + OLESTR("\\CLSID")),
              (Names{OLESTR("{00000000-1111-2222-3333-444444444444}")}));
    EXPECT_FALSE(KeyExists(HKEY_CLASSES_ROOT, OLESTR("TypeLib\\") + GuidText(LIBID_corvaneLib)));

    // Without a foreign class the CLSID key stays as well, empty.
    ASSERT_EQ(RegDeleteTreeW(HKEY_CLASSES_ROOT, foreign.c_str()), ERROR_SUCCESS);
    ASSERT_EQ(m_.DllRegisterServer(), S_OK);
    ASSERT_EQ(m_.DllUnregisterServer(), S_OK);
    EXPECT_TRUE(KeyExists(HKEY_LOCAL_MACHINE, kClasses_ + OLESTR("\\CLSID")));
    ExpectNothingIn(HKEY_LOCAL_MACHINE);
}

TEST_F(RegistrationTest, UnregisteringWhatIsNotRegisteredReportsTheTypeLibrary) {
    const std::string before = DumpRegistry();
    // The system's answer for a type library that is not registered; Wine gives E_INVALIDARG.
    EXPECT_EQ(m_.DllUnregisterServer(), WineVersion() ? E_INVALIDARG : TYPE_E_REGISTRYACCESS);
    EXPECT_EQ(DumpRegistry(), before);
}

// While another process holds the registry, a registration and an unregistration wait for it,
// then fail as busy and change nothing.
TEST_F(RegistrationTest, WaitsForAnotherRegistrationThenFailsAsBusy) {
    ASSERT_EQ(m_.DllRegisterServer(), S_OK);
    const std::string before = DumpRegistry();
    std::vector<int> classScripts;
    size_t count = 0;
    const ScriptSource* scripts = GetRegistrationScripts(&count);
    for (size_t i = 0; i < count; ++i) {
        if (scripts[i].id != kModuleScriptId) classScripts.push_back(scripts[i].id);
    }
    {
        RegistryHeldElsewhere other(registry_);
        for (RegistrationScope scope : {RegistrationScope::Machine, RegistrationScope::PerUser}) {
            EXPECT_EQ(RegisterServer(m_.module, classScripts, scope, 100),
                      HRESULT_FROM_WIN32(ERROR_BUSY));
            EXPECT_EQ(UnregisterServer(m_.module, classScripts, scope, 100),
                      HRESULT_FROM_WIN32(ERROR_BUSY));
        }
    }
    EXPECT_EQ(DumpRegistry(), before);
    // Test programs running beside this one register too: this wait must outlast theirs.
    EXPECT_EQ(UnregisterServer(m_.module, classScripts, RegistrationScope::Machine), S_OK);
    ExpectNothingIn(HKEY_LOCAL_MACHINE);
}

TEST_F(RegistrationTest, TheCallersLocaleComesBack) {
    const LCID german = 0x0407;
    ASSERT_TRUE(SetThreadLocale(german));
    EXPECT_EQ(m_.DllRegisterServer(), S_OK);
    EXPECT_EQ(GetThreadLocale(), german);
    EXPECT_EQ(m_.DllUnregisterServer(), S_OK);
    EXPECT_EQ(GetThreadLocale(), german);
    if (FailNthRegistryWrite(3)) {
        EXPECT_EQ(m_.DllRegisterServer(), kWriteFailed);
        FailNthRegistryWrite(0);
        EXPECT_EQ(GetThreadLocale(), german);
    }
    SetThreadLocale(LOCALE_USER_DEFAULT);
}

// ---- per-user registration (each in a child process: the choice lasts for the process) ----

class PerUserCommandLine : public RegistrationTest,
                           public ::testing::WithParamInterface<const OLECHAR*> {};

TEST_P(PerUserCommandLine, RegistersForTheUserForTheRestOfTheProcess) {
    const OLECHAR* cmd = GetParam();
    const bool typeLib = TypeLibFollowsTheUser();
    EXPECT_TRUE(RunInChildProcess([&] {
        ASSERT_EQ(m_.DllInstall(TRUE, cmd), S_OK);
        ExpectRegisteredIn(HKEY_CURRENT_USER, ModulePathWide(), typeLib);
        ExpectNothingIn(HKEY_LOCAL_MACHINE, typeLib);
        if (SystemComReadsTheTestRegistry()) {
            ComPtr<IMediaSource> object;
            EXPECT_EQ(CoCreateInstance(CLSID_VolumeFilter5, nullptr, CLSCTX_INPROC_SERVER,
                                       IID_IMediaSource, object.Out()),
                      S_OK);
        }
        // From now on the plain exports work per user too.
        EXPECT_EQ(m_.DllUnregisterServer(), S_OK);
        ExpectNothingIn(HKEY_CURRENT_USER);
        EXPECT_EQ(m_.DllRegisterServer(), S_OK);
        ExpectRegisteredIn(HKEY_CURRENT_USER, ModulePathWide(), typeLib);
        ExpectNothingIn(HKEY_LOCAL_MACHINE, typeLib);
        EXPECT_EQ(m_.DllInstall(FALSE, nullptr), S_OK);
        ExpectNothingIn(HKEY_CURRENT_USER);
    }));
}

INSTANTIATE_TEST_SUITE_P(Spellings, PerUserCommandLine,
                         ::testing::Values(OLESTR("user"), OLESTR("USER"), OLESTR("User"),
                                           OLESTR("uSeR")));

TEST_F(RegistrationTest, OtherCommandLinesRegisterPerMachine) {
    EXPECT_TRUE(RunInChildProcess([&] {
        const OLECHAR* lines[] = {nullptr,
                                  OLESTR(""),
                                  OLESTR("use"),
                                  OLESTR("usr"),
                                  OLESTR("user1"),
                                  OLESTR("users"),
                                  OLESTR(" user"),
                                  OLESTR("user "),
                                  OLESTR("/i:user"),
                                  OLESTR("u\u017Fer"),
                                  OLESTR("\uFF55\uFF53\uFF45\uFF52")};
        for (const OLECHAR* cmd : lines) {
            SCOPED_TRACE(cmd ? Narrow(cmd) : "NULL");
            ASSERT_EQ(m_.DllInstall(TRUE, cmd), S_OK);
            ExpectRegisteredIn(HKEY_LOCAL_MACHINE, ModulePathWide());
            EXPECT_FALSE(KeyExists(HKEY_CURRENT_USER, kClasses_ + OLESTR("\\CLSID")));
            ASSERT_EQ(m_.DllInstall(FALSE, cmd), S_OK);
            ExpectNothingIn(HKEY_LOCAL_MACHINE);
        }
        ASSERT_EQ(m_.DllRegisterServer(), S_OK);
        ExpectRegisteredIn(HKEY_LOCAL_MACHINE, ModulePathWide());
    }));
}

TEST_F(RegistrationTest, UninstallForTheUserAlsoChoosesPerUser) {
    if (!TypeLibFollowsTheUser())
        GTEST_SKIP() << "the user's and the machine's type library are one under Wine";
    EXPECT_TRUE(RunInChildProcess([&] {
        ASSERT_EQ(m_.DllRegisterServer(), S_OK);  // per machine, before the choice
        EXPECT_EQ(m_.DllInstall(FALSE, OLESTR("user")), TYPE_E_REGISTRYACCESS)
            << "nothing was registered for the user";
        ExpectRegisteredIn(HKEY_LOCAL_MACHINE, ModulePathWide());
        ASSERT_EQ(m_.DllRegisterServer(), S_OK);
        ExpectRegisteredIn(HKEY_CURRENT_USER, ModulePathWide());
        // The user's unregistration leaves the machine's registration alone.
        ASSERT_EQ(m_.DllUnregisterServer(), S_OK);
        ExpectNothingIn(HKEY_CURRENT_USER);
        ExpectRegisteredIn(HKEY_LOCAL_MACHINE, ModulePathWide());
    }));
}

// ---- failures ----

// A registry as a machine may have it: an earlier registration from another path with a stale
// subkey, someone else's class, and a per-user entry for one of the classes.
void PrepareEarlierRegistration(const ModuleExports& m) {
    ASSERT_EQ(m.DllRegisterServer(), S_OK);
    const OleString band = OLESTR("CLSID\\") + GuidText(CLSID_BandFilter5);
    WriteString(HKEY_CLASSES_ROOT, band + OLESTR("\\InprocServer32"), nullptr,
                OLESTR("/old/libcorvane.so"));
    WriteString(HKEY_CLASSES_ROOT, band + OLESTR("\\Stale"), OLESTR("Leftover"), OLESTR("x"));
    WriteString(HKEY_CLASSES_ROOT, OLESTR("CLSID\\{00000000-1111-2222-3333-444444444444}"), nullptr,
                OLESTR("foreign"));
    WriteString(
        HKEY_CURRENT_USER,
        kClasses_ + OLESTR("\\CLSID\\") + GuidText(CLSID_EchoFilter5) + OLESTR("\\InprocServer32"),
        nullptr, OLESTR("/home/someone/libcorvane.so"));
}

// Makes each write of one registration fail in turn, one per attempt, until the registration gets
// through. Every failure must return that failure and leave the registry exactly as it was;
// *sawTypeLib tells whether one of them was inside the type library's registration.
void ExpectEveryFailedWriteIsTakenBack(const std::function<HRESULT()>& install, bool* sawTypeLib) {
    const std::string before = DumpRegistry();
    unsigned n = 1;
    for (;; ++n) {
        ASSERT_LT(n, 1000u) << "registration never succeeded";
        ASSERT_TRUE(FailNthRegistryWrite(n));
        HRESULT hr = install();
        FailNthRegistryWrite(0);
        if (hr == S_OK) break;  // n is past the last write
        if (hr == TYPE_E_REGISTRYACCESS) {
            *sawTypeLib = true;
        } else {
            EXPECT_EQ(hr, kWriteFailed) << "write " << n << " gave " << HrText(hr);
        }
        ASSERT_EQ(DumpRegistry(), before) << "after write " << n << " failed";
    }
    EXPECT_GT(n, 100u) << "fewer writes than seventeen classes need";
}

struct FailureCase {
    const char* name;
    bool earlier;  // start from an earlier registration rather than an empty registry
    int entry;     // 0: DllInstall(TRUE, NULL), 1: DllRegisterServer, 2: DllInstall(TRUE, "user")
};

void PrintTo(const FailureCase& c, std::ostream* os) {
    *os << c.name;
}

class FailedRegistration : public RegistrationTest,
                           public ::testing::WithParamInterface<FailureCase> {};

TEST_P(FailedRegistration, LeavesTheRegistryAsItWas) {
    if (!FailNthRegistryWrite(0)) GTEST_SKIP() << "the system registry cannot fail a chosen write";
    const FailureCase& c = GetParam();
    auto body = [&] {
        bool sawTypeLib = false;
        if (c.earlier) PrepareEarlierRegistration(m_);
        ExpectEveryFailedWriteIsTakenBack(
            [&]() -> HRESULT {
                switch (c.entry) {
                    case 0:
                        return m_.DllInstall(TRUE, nullptr);
                    case 1:
                        return m_.DllRegisterServer();
                    default:
                        return m_.DllInstall(TRUE, OLESTR("user"));
                }
            },
            &sawTypeLib);
        EXPECT_TRUE(sawTypeLib) << "no failure inside the type library's registration";
    };
    if (c.entry == 2) {
        EXPECT_TRUE(RunInChildProcess(body));
    } else {
        body();
    }
}

INSTANTIATE_TEST_SUITE_P(Cases, FailedRegistration,
                         ::testing::Values(FailureCase{"InstallOnEmpty", false, 0},
                                           FailureCase{"InstallOverEarlier", true, 0},
                                           FailureCase{"RegisterServerOverEarlier", true, 1},
                                           FailureCase{"InstallForUserOnEmpty", false, 2},
                                           FailureCase{"InstallForUserOverEarlier", true, 2}),
                         [](const ::testing::TestParamInfo<FailureCase>& info) {
                             return info.param.name;
                         });

// ---- unusual module paths ----

TEST_F(RegistrationTest, AQuoteInTheModulePathIsDoubledOnlyInModule) {
    TempDir dir;
    // A percent sign as well: the path is inserted once and never read as a replacement.
    const std::filesystem::path folder =
        std::filesystem::path(dir.Path()) / "it's 100%MODULE% here";
    ASSERT_TRUE(std::filesystem::create_directory(folder));
    const std::string file = ModuleCopyName("quoted");
    const std::string path = (folder / file).string();
    ASSERT_TRUE(CopyModuleTo(path));
    ModuleExports copy;
    ASSERT_TRUE(LoadModule(path, &copy));
    const OleString raw = Utf8ToOle(path);

    std::vector<registrar::Replacement> map;
    ASSERT_EQ(ModuleReplacements(copy.module, &map), S_OK);
    ASSERT_EQ(map.size(), 3u);
    EXPECT_EQ(map[0].name, OLESTR("Module"));
    const std::filesystem::path doubled =
        std::filesystem::path(dir.Path()) / "it''s 100%MODULE% here" / file;
    EXPECT_EQ(map[0].value, Utf8ToOle(doubled.string()));
    EXPECT_EQ(map[1].name, OLESTR("Module_Raw"));
    EXPECT_EQ(map[1].value, raw);
    EXPECT_EQ(map[2].name, OLESTR("APPID"));
    EXPECT_EQ(map[2].value, GuidText(APPID_corvane));

    ASSERT_EQ(copy.DllRegisterServer(), S_OK);
    ExpectRegisteredIn(HKEY_LOCAL_MACHINE, raw);
    if (SystemComReadsTheTestRegistry()) {
        ComPtr<IMediaSource> object;
        EXPECT_EQ(CoCreateInstance(CLSID_DelayFilter5, nullptr, CLSCTX_INPROC_SERVER,
                                   IID_IMediaSource, object.Out()),
                  S_OK);
    }
    EXPECT_EQ(copy.DllUnregisterServer(), S_OK);
    ExpectNothingIn(HKEY_LOCAL_MACHINE);
}

// A module path must fit in MAX_PATH (260) characters with its terminator; one that fills the
// buffer would be registered cut short, so it is refused before anything is written.
TEST_F(RegistrationTest, AModulePathThatFillsThePathBufferIsRefused) {
    const std::string file = ModuleCopyName("long");
    for (size_t length : {size_t{MAX_PATH - 1}, size_t{MAX_PATH}, size_t{MAX_PATH + 40}}) {
        SCOPED_TRACE(length);
        TempDir dir;
        const std::filesystem::path base = ResolvedPath(dir.Path());
        // Folders of at most 200 characters each (a file name may hold at most 255).
        std::filesystem::path folder = base;
        size_t remaining = length - base.string().size() - file.size() - 1;
        for (char name = 'a'; remaining > 0; ++name) {
            const size_t chars = std::min<size_t>(remaining, 201) - 1;
            folder /= std::string(chars, name);
            remaining -= chars + 1;
            ASSERT_TRUE(std::filesystem::create_directory(folder)) << folder.string();
        }
        const std::string path = (folder / file).string();
        ASSERT_EQ(path.size(), length);
        ASSERT_TRUE(CopyModuleTo(path));
        ModuleExports copy;
        ASSERT_TRUE(LoadModule(path, &copy));
        const std::string before = DumpRegistry();
        if (length < MAX_PATH) {
            EXPECT_EQ(copy.DllRegisterServer(), S_OK);
            ExpectRegisteredIn(HKEY_LOCAL_MACHINE, Utf8ToOle(path));
            EXPECT_EQ(copy.DllUnregisterServer(), S_OK);
        } else {
            EXPECT_EQ(copy.DllRegisterServer(), HRESULT_FROM_WIN32(ERROR_INSUFFICIENT_BUFFER));
            EXPECT_EQ(DumpRegistry(), before);
            EXPECT_EQ(copy.DllInstall(TRUE, nullptr),
                      HRESULT_FROM_WIN32(ERROR_INSUFFICIENT_BUFFER));
            EXPECT_EQ(DumpRegistry(), before);
        }
    }
}

}  // namespace
}  // namespace corvane::testing
