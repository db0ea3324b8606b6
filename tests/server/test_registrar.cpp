// The registrar on small scripts: what registration and unregistration leave in the registry,
// replacements, the errors that change nothing, and the undo log that takes a registration back.
#include <gtest/gtest.h>

#include "server/reg_transaction.h"
#include "server/registrar.h"
#include "tests/server/server_support.h"

namespace corvane::testing {
namespace {

using registrar::ClassesRoot;
using registrar::Replacement;
using registrar::RunScript;

const OleString kClassesPath = OLESTR("Software\\Classes");

// A case's name as a test name: letters and digits kept, everything else an underscore.
template <class Case>
std::string TestName(const ::testing::TestParamInfo<Case>& info) {
    std::string n;
    for (const char* p = info.param.name; *p; ++p)
        n += isalnum(static_cast<unsigned char>(*p)) ? *p : '_';
    return n;
}

class RegistrarTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(SUCCEEDED(CoInitialize(nullptr))); }
    void TearDown() override { CoUninitialize(); }

    static std::string Machine() {
        return ComparableDump(DumpSubtree(HKEY_LOCAL_MACHINE, kClassesPath));
    }
    static std::string User() {
        return ComparableDump(DumpSubtree(HKEY_CURRENT_USER, kClassesPath));
    }

    TempRegistry registry_;
};

struct ScriptCase {
    const char* name;
    const char* setup;   // registered first (no undo log), or NULL
    const char* script;  // registered, then unregistered
    const char* afterRegister;
    const char* afterUnregister;
};

void PrintTo(const ScriptCase& c, std::ostream* os) {
    *os << c.name;
}

// Expected texts are HKLM\Software\Classes below the key, in the dump format: a line per key,
// then one per value ("[name] type <REG_*> = data").
const ScriptCase kScriptCases[] = {
    {"plain key with default and named values", nullptr,
     "HKCR\n{\n  Foo = s 'bar'\n  {\n    val X = s 'y'\n    val N = d 42\n  }\n}\n",
     "Foo\n  [] type 1 = 'bar'\n  [X] type 1 = 'y'\n  [N] type 4 = 42 0 0 0\n", ""},
    {"plain key keeps what the script did not write", "HKCR { Foo { Other = s 'o' } }",
     "HKCR { Foo = s 'bar' { val X = s 'x' } }",
     "Foo\n  [] type 1 = 'bar'\n  [X] type 1 = 'x'\nFoo\\Other\n  [] type 1 = 'o'\n",
     "Foo\n  [] type 1 = 'bar'\nFoo\\Other\n  [] type 1 = 'o'\n"},
    {"plain key with a foreign value stays", "HKCR { Foo { val Mine = s 'm' } }",
     "HKCR { Foo = s 'bar' }", "Foo\n  [Mine] type 1 = 'm'\n  [] type 1 = 'bar'\n",
     "Foo\n  [Mine] type 1 = 'm'\n  [] type 1 = 'bar'\n"},
    {"NoRemove key stays, its content goes", nullptr,
     "HKCR { NoRemove Foo { val X = s 'y' Sub = s 's' } }",
     "Foo\n  [X] type 1 = 'y'\nFoo\\Sub\n  [] type 1 = 's'\n", "Foo\n"},
    {"ForceRemove replaces the whole key",
     "HKCR { Foo = s 'old' { val Old = s 'o' Stale { Deep = s 'd' } } }",
     "HKCR { ForceRemove Foo = s 'new' { Sub = s 's' } }",
     "Foo\n  [] type 1 = 'new'\nFoo\\Sub\n  [] type 1 = 's'\n", ""},
    {"ForceRemove under NoRemove, as a class script", "HKCR { CLSID { Other = s 'keep' } }",
     "HKCR { NoRemove CLSID { ForceRemove {1} = s 'C' { InprocServer32 = s 'p' { val "
     "ThreadingModel = s 'Apartment' } } } }",
     "CLSID\nCLSID\\Other\n  [] type 1 = 'keep'\nCLSID\\{1}\n  [] type 1 = 'C'\n"
     "CLSID\\{1}\\InprocServer32\n  [] type 1 = 'p'\n  [ThreadingModel] type 1 = 'Apartment'\n",
     "CLSID\nCLSID\\Other\n  [] type 1 = 'keep'\n"},
    {"keywords, roots and value types in any case", nullptr,
     "hkey_classes_root { noremove Foo { VAL x = S 'y' VaL h = D '0x10' } FORCEREMOVE Bar }",
     "Bar\nFoo\n  [x] type 1 = 'y'\n  [h] type 4 = 16 0 0 0\n", "Foo\n"},
    {"quoted names, doubled quotes and percent signs", nullptr,
     "HKCR { 'Key With Space' = s 'it''s 100%%' { val 'A Name' = s '' } }",
     "Key With Space\n  [] type 1 = 'it's 100%'\n  [A Name] type 1 = ''\n", ""},
    {"the largest number a d value holds", nullptr,
     "HKCR { N { val Max = d 4294967295 val Hex = d 0xFFFFFFFF } }",
     "N\n  [Max] type 4 = 255 255 255 255\n  [Hex] type 4 = 255 255 255 255\n", ""},
    {"a script with no keys writes nothing", nullptr, "HKCR\r\n{\r\n}\r\n", "", ""},
    {"an empty script writes nothing", nullptr, "", "", ""},
};

class RegistrarScripts : public RegistrarTest, public ::testing::WithParamInterface<ScriptCase> {};

TEST_P(RegistrarScripts, RegisterThenUnregister) {
    const ScriptCase& c = GetParam();
    if (c.setup != nullptr) {
        ASSERT_EQ(RunScript(c.setup, true, {}, ClassesRoot::Machine, nullptr), S_OK);
    }
    EXPECT_EQ(RunScript(c.script, true, {}, ClassesRoot::Machine, nullptr), S_OK);
    EXPECT_EQ(Machine(), ComparableDump(c.afterRegister));
    EXPECT_EQ(User(), "");
    EXPECT_EQ(RunScript(c.script, false, {}, ClassesRoot::Machine, nullptr), S_OK);
    EXPECT_EQ(Machine(), ComparableDump(c.afterUnregister));
    // Unregistering what is already gone is no failure and changes nothing.
    EXPECT_EQ(RunScript(c.script, false, {}, ClassesRoot::Machine, nullptr), S_OK);
    EXPECT_EQ(Machine(), ComparableDump(c.afterUnregister));
}

INSTANTIATE_TEST_SUITE_P(Cases, RegistrarScripts, ::testing::ValuesIn(kScriptCases),
                         TestName<ScriptCase>);

TEST_F(RegistrarTest, PerUserMapsClassesRootToTheUsersClasses) {
    const char* script = "HKCR { NoRemove CLSID { ForceRemove {1} = s 'C' } }";
    EXPECT_EQ(RunScript(script, true, {}, ClassesRoot::PerUser, nullptr), S_OK);
    EXPECT_EQ(User(), "CLSID\nCLSID\\{1}\n  [] type 1 = 'C'\n");
    EXPECT_EQ(Machine(), "");
    EXPECT_EQ(RunScript(script, false, {}, ClassesRoot::PerUser, nullptr), S_OK);
    EXPECT_EQ(User(), "CLSID\n");
}

TEST_F(RegistrarTest, OtherRootsAreWrittenAsNamed) {
    const char* script =
        "HKLM { NoRemove Software { Test = s 'm' } } "
        "HKEY_CURRENT_USER { NoRemove Software { Test = s 'u' } }";
    EXPECT_EQ(RunScript(script, true, {}, ClassesRoot::PerUser, nullptr), S_OK);
    OleString value;
    EXPECT_TRUE(ReadString(HKEY_LOCAL_MACHINE, OLESTR("Software\\Test"), nullptr, &value));
    EXPECT_EQ(value, OLESTR("m"));
    EXPECT_TRUE(ReadString(HKEY_CURRENT_USER, OLESTR("Software\\Test"), nullptr, &value));
    EXPECT_EQ(value, OLESTR("u"));
    EXPECT_EQ(RunScript(script, false, {}, ClassesRoot::PerUser, nullptr), S_OK);
    EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, OLESTR("Software\\Test")));
    EXPECT_FALSE(KeyExists(HKEY_CURRENT_USER, OLESTR("Software\\Test")));
}

TEST_F(RegistrarTest, ReplacementNamesMatchInAnyCase) {
    const std::vector<Replacement> map = {{OLESTR("Module"), OLESTR("/a/b.so")},
                                          {OLESTR("APPID"), OLESTR("{A}")}};
    const char* script =
        "HKCR { K { val A = s '%MODULE%' val B = s '%module%' val C = s '%MoDuLe%' "
        "val D = s '[%appid%]' } }";
    EXPECT_EQ(RunScript(script, true, map, ClassesRoot::Machine, nullptr), S_OK);
    EXPECT_EQ(Machine(),
              "K\n  [A] type 1 = '/a/b.so'\n  [B] type 1 = '/a/b.so'\n  [C] type 1 = '/a/b.so'\n"
              "  [D] type 1 = '[{A}]'\n");
}

TEST_F(RegistrarTest, ReplacementTextIsInsertedBeforeTheScriptIsRead) {
    // A replacement may carry quotes only doubled, as the module's path is handed over.
    OleString out;
    EXPECT_EQ(registrar::ExpandReplacements(OLESTR("a %X% b %% %x%"),
                                            {{OLESTR("x"), OLESTR("it''s")}}, &out),
              S_OK);
    EXPECT_EQ(out, OLESTR("a it''s b % it''s"));
    EXPECT_EQ(RunScript("HKCR { K = s '%X%' }", true, {{OLESTR("x"), OLESTR("it''s")}},
                        ClassesRoot::Machine, nullptr),
              S_OK);
    EXPECT_EQ(Machine(), "K\n  [] type 1 = 'it's'\n");
}

// Scripts that must be refused as a whole: each writes something valid before its fault.
struct BadScript {
    const char* name;
    std::string_view script;
    HRESULT expected;
};

void PrintTo(const BadScript& c, std::ostream* os) {
    *os << c.name;
}

const BadScript kBadScripts[] = {
    {"unknown replacement", "HKCR { A = s 'x' B = s '%NOPE%' }", registrar::kUnknownReplacement},
    {"unterminated replacement", "HKCR { A = s 'x' B = s '%MODULE' }", registrar::kSyntaxError},
    {"missing closing brace", "HKCR { A = s 'x' { B }", registrar::kSyntaxError},
    {"stray closing brace", "HKCR { A } }", registrar::kSyntaxError},
    {"unterminated string", "HKCR { A = s 'x }", registrar::kSyntaxError},
    {"unknown root", "HKCR { A } HKXX { B }", registrar::kSyntaxError},
    {"root without braces", "HKCR { A } HKCU", registrar::kSyntaxError},
    {"named value at the root", "HKCR { A val X = s 'y' }", registrar::kSyntaxError},
    {"named value without equals", "HKCR { A { val X s 'y' } }", registrar::kSyntaxError},
    {"named value without value", "HKCR { A { val X = } }", registrar::kSyntaxError},
    {"unknown value type", "HKCR { A B = x 'y' }", registrar::kSyntaxError},
    {"string value not quoted", "HKCR { A B = s y }", registrar::kSyntaxError},
    {"number that is not one", "HKCR { A B = d '12a' }", registrar::kSyntaxError},
    {"number beyond 32 bits", "HKCR { A B = d 4294967296 }", registrar::kSyntaxError},
    {"two removal keywords", "HKCR { A NoRemove ForceRemove B }", registrar::kSyntaxError},
    {"keyword without a key", "HKCR { A ForceRemove }", registrar::kSyntaxError},
    {"backslash in a key name", "HKCR { A 'B\\C' }", registrar::kSyntaxError},
    {"empty key name", "HKCR { A '' }", registrar::kSyntaxError},
    // Found by fuzzing: a NUL ended the name in the registry's calls, which then wrote the parent.
    {"NUL in a key name", std::string_view("HKCR { A { '\0' { B } } }", 24),
     registrar::kSyntaxError},
    {"NUL in a value name", std::string_view("HKCR { A { val 'x\0' = s 'y' } }", 31),
     registrar::kSyntaxError},
    {"invalid UTF-8", "HKCR { A B = s '\xC3' }", registrar::kSyntaxError},
};

class RegistrarRefuses : public RegistrarTest, public ::testing::WithParamInterface<BadScript> {};

TEST_P(RegistrarRefuses, WithoutWritingAnything) {
    ASSERT_EQ(RunScript("HKCR { Existing = s 'e' }", true, {}, ClassesRoot::Machine, nullptr),
              S_OK);
    const std::string before = DumpRegistry();
    const std::vector<Replacement> map = {{OLESTR("Module"), OLESTR("/m.so")}};
    for (bool reg : {true, false}) {
        EXPECT_EQ(RunScript(GetParam().script, reg, map, ClassesRoot::Machine, nullptr),
                  GetParam().expected)
            << (reg ? "registering" : "unregistering");
        EXPECT_EQ(DumpRegistry(), before);
    }
}

INSTANTIATE_TEST_SUITE_P(Cases, RegistrarRefuses, ::testing::ValuesIn(kBadScripts),
                         TestName<BadScript>);

TEST_F(RegistrarTest, DeepNestingIsRefusedRatherThanExhaustingTheStack) {
    std::string script = "HKCR {";
    for (int i = 0; i < 10000; ++i) script += " K {";
    for (int i = 0; i < 10000; ++i) script += " }";
    script += " }";
    EXPECT_EQ(RunScript(script, true, {}, ClassesRoot::Machine, nullptr), registrar::kSyntaxError);
    EXPECT_EQ(Machine(), "");
}

// ---- the undo log ----

// A registry that holds a little of everything the scripts below touch.
const char* const kPriorState =
    "HKCR { CLSID { {1} = s 'old' { InprocServer32 = s '/old.so' Stale { S = s 's' } } "
    "Other = s 'o' } Foo { val A = s 'a' val B = s 'b' } }";

const char* const kUndoScripts[] = {
    "HKCR { NoRemove CLSID { ForceRemove {1} = s 'new' { InprocServer32 = s '/new.so' { val "
    "ThreadingModel = s 'Apartment' } } ForceRemove {2} = s 'two' } }",
    "HKCR { Foo = s 'default' { val B = s 'changed' val C = s 'c' } }",
    "HKCR { ForceRemove Foo ForceRemove CLSID }",
    "HKCR { New { Deeper { Deepest = s 'x' } } } HKLM { NoRemove Software { Mine = s 'm' } }",
    "HKCR { Foo { val A = s 'a' } ForceRemove Foo { val A = s 'again' } }",
};

class RegistryUndo : public RegistrarTest, public ::testing::WithParamInterface<const char*> {};

TEST_P(RegistryUndo, RollbackRestoresTheRegistry) {
    ASSERT_EQ(RunScript(kPriorState, true, {}, ClassesRoot::Machine, nullptr), S_OK);
    ASSERT_EQ(
        RunScript("HKCR { Foo { val U = s 'user' } }", true, {}, ClassesRoot::PerUser, nullptr),
        S_OK);
    const std::string before = DumpRegistry();
    for (ClassesRoot root : {ClassesRoot::Machine, ClassesRoot::PerUser}) {
        RegistryTransaction tx;
        ASSERT_EQ(RunScript(GetParam(), true, {}, root, &tx), S_OK);
        EXPECT_NE(DumpRegistry(), before);
        EXPECT_EQ(tx.Rollback(), S_OK);
        EXPECT_EQ(DumpRegistry(), before);
    }
}

TEST_P(RegistryUndo, AWriteFailingAnywhereIsTakenBack) {
    if (!FailNthRegistryWrite(0)) GTEST_SKIP() << "the system registry cannot fail a chosen write";
    ASSERT_EQ(RunScript(kPriorState, true, {}, ClassesRoot::Machine, nullptr), S_OK);
    const std::string before = DumpRegistry();
    int failures = 0;
    for (unsigned n = 1; n < 200; ++n) {
        RegistryTransaction tx;
        FailNthRegistryWrite(n);
        HRESULT hr = RunScript(GetParam(), true, {}, ClassesRoot::Machine, &tx);
        FailNthRegistryWrite(0);
        if (hr == S_OK) break;  // n is past the script's last write
        ++failures;
        EXPECT_EQ(hr, HRESULT_FROM_WIN32(ERROR_CANTWRITE)) << "write " << n;
        EXPECT_EQ(tx.Rollback(), S_OK) << "write " << n;
        EXPECT_EQ(DumpRegistry(), before) << "write " << n;
    }
    EXPECT_GT(failures, 0);
}

INSTANTIATE_TEST_SUITE_P(Scripts, RegistryUndo, ::testing::ValuesIn(kUndoScripts));

TEST_F(RegistrarTest, UndoLogKeepsOnlyTheFirstImageOfAPlace) {
    RegistryTransaction tx;
    EXPECT_EQ(tx.SaveKey(HKEY_LOCAL_MACHINE, OLESTR("A")), S_OK);
    EXPECT_EQ(tx.SaveKey(HKEY_LOCAL_MACHINE, OLESTR("a")), S_OK);  // same key, other case
    EXPECT_EQ(tx.RecordCount(), 1u);
    EXPECT_EQ(tx.SaveTree(HKEY_LOCAL_MACHINE, OLESTR("A")), S_OK);  // a tree is more than the key
    EXPECT_EQ(tx.RecordCount(), 2u);
    EXPECT_EQ(tx.SaveKey(HKEY_LOCAL_MACHINE, OLESTR("A\\B")), S_OK);  // inside the saved tree
    EXPECT_EQ(tx.SaveTree(HKEY_LOCAL_MACHINE, OLESTR("a\\b\\c")), S_OK);
    EXPECT_EQ(tx.RecordCount(), 2u);
    EXPECT_EQ(tx.SaveKey(HKEY_LOCAL_MACHINE, OLESTR("AB")), S_OK);  // a sibling, not a child
    EXPECT_EQ(tx.RecordCount(), 3u);
    EXPECT_EQ(tx.SaveKey(HKEY_CLASSES_ROOT, OLESTR("X")), S_OK);  // one image per hive
    EXPECT_EQ(tx.RecordCount(), 5u);
    EXPECT_EQ(tx.SaveKey(HKEY_CURRENT_USER, OLESTR("Software\\Classes\\X")), S_OK);
    EXPECT_EQ(tx.RecordCount(), 5u);
    EXPECT_EQ(tx.SaveKey(HKEY_LOCAL_MACHINE, OLESTR("")), E_INVALIDARG);
    EXPECT_EQ(tx.Rollback(), S_OK);
    EXPECT_EQ(tx.RecordCount(), 0u);
}

}  // namespace
}  // namespace corvane::testing
