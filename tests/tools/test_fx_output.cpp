// corvane-fx's output file (whole or not at all, signals included) and its failure reports (the
// HRESULT with the COM error description the failing object left).
#include "tools/corvane-fx/chain.h"
#include "tools/corvane-fx/output_file.h"

#include "host/host.h"
#include "tests/support/live_objects.h"
#include "tests/support/sound_files.h"
#include "tests/tools/fx_files.h"

#include <gtest/gtest.h>

#include <csignal>
#include <cstdio>
#include <fstream>
#include <cstdlib>
#include <string>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace corvane::fx {
namespace {

using files::Contents;
using files::Entries;
using files::NewFolder;
using testing::TempPath;

void Write(const std::string& path, const std::string& text) {
    std::ofstream(path, std::ios::binary) << text;
}

TEST(FxTemporaryOutput, AppearsOnlyAtCommitWithTheUsualPermissions) {
    const std::string dir = NewFolder("fx_commit");
    const std::string target = dir + "/out.wav";
    {
        TemporaryOutput out;
        std::string error;
        ASSERT_EQ(S_OK, out.Create(target, &error)) << error;
        EXPECT_EQ(0u, out.Path().rfind(dir + "/.out.wav.", 0)) << out.Path();
        EXPECT_NE(0, access(target.c_str(), F_OK));
        Write(out.Path(), "RIFF");
        struct stat st;
        ASSERT_EQ(0, stat(out.Path().c_str(), &st));
        const mode_t mask = umask(0);
        umask(mask);
        EXPECT_EQ(0666u & ~mask, st.st_mode & 0777u);
        ASSERT_EQ(S_OK, out.Commit(&error)) << error;
        EXPECT_TRUE(out.Path().empty());
    }
    EXPECT_EQ("RIFF", Contents(target));
    EXPECT_EQ(std::vector<std::string>{"out.wav"}, Entries(dir));
}

// A replaced file's readers stay who they were: its mode survives (a read-only one too), and
// when root replaces it, its owner and group.
TEST(FxTemporaryOutput, AReplacedFileKeepsItsModeAndOwner) {
    const std::string dir = NewFolder("fx_modes");
    for (mode_t mode : {0600u, 0640u, 0444u}) {
        const std::string target = dir + "/out.wav";
        Write(target, "older");
        ASSERT_EQ(0, chmod(target.c_str(), mode));
        const bool root = geteuid() == 0;
        if (root) {
            ASSERT_EQ(0, chown(target.c_str(), 65534, 65534));
        }
        TemporaryOutput out;
        std::string error;
        ASSERT_EQ(S_OK, out.Create(target, &error)) << error;
        Write(out.Path(), "newer");
        ASSERT_EQ(S_OK, out.Commit(&error)) << error;
        struct stat st;
        ASSERT_EQ(0, stat(target.c_str(), &st));
        EXPECT_EQ(mode, st.st_mode & 07777) << std::oct << mode;
        if (root) {
            EXPECT_EQ(65534u, st.st_uid);
            EXPECT_EQ(65534u, st.st_gid);
        }
        EXPECT_EQ("newer", Contents(target));
        ASSERT_EQ(0, unlink(target.c_str()));
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

    // A folder where the file should go: the rename fails and the temporary file goes.
    ASSERT_EQ(0, mkdir((dir + "/taken").c_str(), 0755));
    ASSERT_EQ(S_OK, out.Create(dir + "/taken", &error)) << error;
    EXPECT_TRUE(FAILED(out.Commit(&error)));
    EXPECT_NE(std::string::npos, error.find("cannot rename")) << error;
    EXPECT_EQ(std::vector<std::string>{"taken"}, Entries(dir));
}

TEST(FxTemporaryOutput, ATerminatingSignalRemovesTheTemporaryFile) {
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
        ASSERT_EQ(ERROR_SUCCESS, CorvaneSetRegistryRoot(NewFolder("fx_empty_registry").c_str()));
        ASSERT_TRUE(SUCCEEDED(CoInitialize(nullptr)));
        ASSERT_EQ(S_OK, host::RegisterHostClasses());
    }
    void TearDown() override {
        host::RevokeHostClasses();
        CoUninitialize();
        CorvaneSetRegistryRoot(nullptr);
    }
};

TEST_F(FxChainInProcess, NamesTheEffectThatCannotBeCreatedOrIsNoEffect) {
    Options options;
    options.signal.seconds = 0.1;
    EffectChain chain;
    StepFailure failure;
    ASSERT_EQ(S_OK, chain.OpenInput(options, &failure)) << FormatFailure(failure);
    IMediaSource* input = chain.Output();
    ASSERT_NE(nullptr, input);

    EffectSetup unregistered;
    unregistered.label = "VolumeFilter5";
    unregistered.clsid = CLSID_VolumeFilter5;
    EXPECT_EQ(REGDB_E_CLASSNOTREG, chain.AddEffect(unregistered, 2, &failure));
    EXPECT_EQ("cannot create effect 2 (VolumeFilter5)", failure.what);
    EXPECT_EQ(REGDB_E_CLASSNOTREG, failure.hr);
    EXPECT_NE(std::string::npos, failure.description.find("corvane-reg"));

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
