// corvane-fx's output file (whole or not at all, signals included) and its failure reports (the
// HRESULT with the COM error description the failing object left).
#include "tools/corvane-fx/chain.h"
#include "tools/corvane-fx/classes.h"
#include "tools/corvane-fx/output_file.h"
#include "tools/corvane-fx/platform.h"

#include "host/host.h"
#include "tests/support/live_objects.h"
#include "tests/support/sound_files.h"
#include "tests/support/temp_registry.h"
#include "tests/tools/fx_files.h"

#include <gtest/gtest.h>

#include <csignal>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#if !defined(_WIN32)
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

namespace corvane::fx {
namespace {

using files::Contents;
using files::Entries;
using files::NewFolder;
using testing::TempPath;
namespace fs = std::filesystem;

void Write(const std::string& path, const std::string& text) {
    std::ofstream(path, std::ios::binary) << text;
}

TEST(FxTemporaryOutput, AppearsOnlyAtCommitWithTheUsualPermissions) {
    const std::string dir = NewFolder("fx_commit");
    const std::string target = dir + "/out.wav";
    // What any new file gets (from the umask on Linux).
    Write(dir + "/usual", "");
    const fs::perms usual = fs::status(dir + "/usual").permissions();
    fs::remove(dir + "/usual");
    {
        TemporaryOutput out;
        std::string error;
        ASSERT_EQ(S_OK, out.Create(target, &error)) << error;
        EXPECT_EQ(0u, out.Path().rfind(dir + "/.out.wav.", 0)) << out.Path();
        EXPECT_FALSE(fs::exists(target));
        Write(out.Path(), "RIFF");
        EXPECT_EQ(usual, fs::status(out.Path()).permissions());
        ASSERT_EQ(S_OK, out.Commit(&error)) << error;
        EXPECT_TRUE(out.Path().empty());
    }
    EXPECT_EQ("RIFF", Contents(target));
    EXPECT_EQ(std::vector<std::string>{"out.wav"}, Entries(dir));
}

// A replaced file's readers stay who they were: its permissions survive (read-only ones too),
// and when root replaces it on Linux, its owner and group.
TEST(FxTemporaryOutput, AReplacedFileKeepsItsModeAndOwner) {
    const std::string dir = NewFolder("fx_modes");
    const fs::perms r = fs::perms::owner_read, w = fs::perms::owner_write;
    for (fs::perms mode : {r | w, r | w | fs::perms::group_read,
                           r | fs::perms::group_read | fs::perms::others_read}) {
        const std::string target = dir + "/out.wav";
        Write(target, "older");
        fs::permissions(target, mode);
        // What the system made of it (Windows knows read-only and writable only).
        const fs::perms before = fs::status(target).permissions();
#if !defined(_WIN32)
        EXPECT_EQ(mode, before);
        const bool root = geteuid() == 0;
        if (root) {
            ASSERT_EQ(0, chown(target.c_str(), 65534, 65534));
        }
#endif
        TemporaryOutput out;
        std::string error;
        ASSERT_EQ(S_OK, out.Create(target, &error)) << error;
        Write(out.Path(), "newer");
        ASSERT_EQ(S_OK, out.Commit(&error)) << error;
        EXPECT_EQ(before, fs::status(target).permissions()) << std::oct << static_cast<int>(mode);
#if !defined(_WIN32)
        if (root) {
            struct stat st;
            ASSERT_EQ(0, stat(target.c_str(), &st));
            EXPECT_EQ(65534u, st.st_uid);
            EXPECT_EQ(65534u, st.st_gid);
        }
#endif
        EXPECT_EQ("newer", Contents(target));
        fs::permissions(target, fs::perms::owner_all);
        ASSERT_TRUE(fs::remove(target));
    }
}

TEST(FxTemporaryOutput, LeavesNothingAndKeepsAnOlderFileWhenNotCommitted) {
    const std::string dir = NewFolder("fx_discard");
    const std::string fresh = dir + "/fresh.wav", older = dir + "/older.wav";
    Write(older, "keep me");
    {
        TemporaryOutput a, b;
        std::string error;
        ASSERT_EQ(S_OK, a.Create(fresh, &error)) << error;
        Write(a.Path(), "partial");
        b.Create(older, &error);
        Write(b.Path(), "partial");
    }
    EXPECT_EQ(std::vector<std::string>{"older.wav"}, Entries(dir));
    EXPECT_EQ("keep me", Contents(older));
}

TEST(FxTemporaryOutput, ReportsAFolderThatIsMissingOrATargetThatCannotBeReplaced) {
    const std::string dir = NewFolder("fx_fail");
    TemporaryOutput out;
    std::string error;
    EXPECT_EQ(HRESULT_FROM_WIN32(ERROR_PATH_NOT_FOUND),
              out.Create(dir + "/missing/out.wav", &error));
    EXPECT_NE(std::string::npos, error.find(dir + "/missing/")) << error;
    EXPECT_TRUE(out.Path().empty());
    EXPECT_EQ(E_INVALIDARG, out.Create(dir + "/", &error));

    // A folder that appears where the file should go is not replaced: the finished file stays,
    // named in the message. One that is there before is refused before anything is made.
    ASSERT_EQ(S_OK, out.Create(dir + "/taken", &error)) << error;
    const std::string finished = out.Path();
    ASSERT_TRUE(fs::create_directory(dir + "/taken"));
    EXPECT_EQ(HRESULT_FROM_WIN32(ERROR_FILE_EXISTS), out.Commit(&error));
    EXPECT_NE(std::string::npos, error.find("folder; the finished audio is left in " + finished));
    ASSERT_TRUE(fs::remove(finished)) << error;
    EXPECT_EQ(HRESULT_FROM_WIN32(ERROR_DIRECTORY), out.Create(dir + "/taken", &error));
    EXPECT_EQ(std::vector<std::string>{"taken"}, Entries(dir));
}

TEST(FxTemporaryOutput, ATerminatingSignalRemovesTheTemporaryFile) {
#if defined(_WIN32)
    GTEST_SKIP() << "the signals that end a process from outside are Linux's";
#else
    for (int sig : {SIGINT, SIGTERM, SIGHUP}) {
        const std::string dir = NewFolder("fx_signal_" + std::to_string(sig));
        pid_t child = fork();
        ASSERT_NE(-1, child);
        if (child == 0) {
            TemporaryOutput out;
            std::string error;
            if (FAILED(out.Create(dir + "/out.wav", &error))) _exit(3);
            if (access(out.Path().c_str(), F_OK) != 0) _exit(4);
            raise(sig);
            _exit(5);  // not reached: the signal ends the process
        }
        int status = 0;
        ASSERT_EQ(child, waitpid(child, &status, 0));
        ASSERT_TRUE(WIFSIGNALED(status)) << "signal " << sig << ", exit " << WEXITSTATUS(status);
        EXPECT_EQ(sig, WTERMSIG(status));
        EXPECT_TRUE(Entries(dir).empty()) << "signal " << sig << " left " << Entries(dir).front();
    }
#endif
}

TEST(FxFailureReport, PrintsTheHresultAndTheDescriptionTheObjectLeft) {
    EXPECT_EQ(
        "reading failed: 0x80040308 Invalid argument.",
        FormatFailure({"reading failed", static_cast<HRESULT>(0x80040308), "Invalid argument."}));
    EXPECT_EQ("x: 0x80004005", FormatFailure({"x", E_FAIL, ""}));

    ICreateErrorInfo* create = nullptr;
    ASSERT_EQ(S_OK, CreateErrorInfo(&create));
    create->SetDescription(const_cast<LPOLESTR>(OLESTR("Bad things.")));
    IErrorInfo* info = nullptr;
    ASSERT_EQ(S_OK, create->QueryInterface(IID_IErrorInfo, reinterpret_cast<void**>(&info)));
    create->Release();
    ASSERT_EQ(S_OK, SetErrorInfo(0, info));
    info->Release();
    // The object's own description wins over the text for a well-known HRESULT, and is taken.
    EXPECT_EQ("Bad things.", TakeErrorDescription(REGDB_E_CLASSNOTREG));
    EXPECT_NE(std::string::npos,
              TakeErrorDescription(REGDB_E_CLASSNOTREG).find("Class not registered"));
    EXPECT_EQ("", TakeErrorDescription(static_cast<HRESULT>(0x80041234)));

    ASSERT_EQ(S_OK, CreateErrorInfo(&create));
    ASSERT_EQ(S_OK, create->QueryInterface(IID_IErrorInfo, reinterpret_cast<void**>(&info)));
    create->Release();
    SetErrorInfo(0, info);
    info->Release();
    ClearErrorInfo();
    EXPECT_EQ("", TakeErrorDescription(static_cast<HRESULT>(0x80041234)));
}

class FxChainInProcess : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(SUCCEEDED(CoInitialize(nullptr)));
        ASSERT_EQ(S_OK, host::RegisterHostClasses());
    }
    void TearDown() override {
        host::RevokeHostClasses();
        CoUninitialize();
    }
    testing::TempRegistry registry_;
};

TEST_F(FxChainInProcess, NamesTheEffectThatCannotBeCreatedOrIsNoEffect) {
    Options options;
    options.signal.seconds = 0.1;
    EffectChain chain;
    StepFailure failure;
    ASSERT_EQ(S_OK, chain.OpenInput(options, &failure)) << FormatFailure(failure);
    IMediaSource* input = chain.Output();
    ASSERT_NE(nullptr, input);

    // A class that nothing registers (the system's registry is the one COM reads on Windows).
    EffectSetup unregistered;
    ASSERT_EQ(S_OK, CoCreateGuid(&unregistered.clsid));
    unregistered.label = ClsidText(unregistered.clsid);
    EXPECT_EQ(REGDB_E_CLASSNOTREG, chain.AddEffect(unregistered, 2, &failure));
    EXPECT_EQ("cannot create effect 2 (" + unregistered.label + ")", failure.what);
    EXPECT_EQ(REGDB_E_CLASSNOTREG, failure.hr);
    EXPECT_NE(std::string::npos, failure.description.find(RegisterCommand()))
        << failure.description;

    // A class of the process that is not an effect.
    EffectSetup notAnEffect;
    notAnEffect.label = "signal";
    notAnEffect.clsid = CLSID_SignalSource;
    EXPECT_EQ(E_NOINTERFACE, chain.AddEffect(notAnEffect, 3, &failure));
    EXPECT_EQ("cannot create effect 3 (signal)", failure.what);
    // Failed effects leave the chain as it was.
    EXPECT_EQ(input, chain.Output());
}

TEST_F(FxChainInProcess, ReportsAnInputFileThatCannotBeRead) {
    Options options;
    options.input = TempPath("no_such_input.wav");
    EffectChain chain;
    StepFailure failure;
    EXPECT_EQ(HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND), chain.OpenInput(options, &failure));
    EXPECT_EQ("cannot read " + options.input, failure.what);
    EXPECT_FALSE(failure.description.empty());
    EXPECT_EQ(nullptr, chain.Output());
}

}  // namespace
}  // namespace corvane::fx
