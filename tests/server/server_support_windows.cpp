// The helpers of the module tests that are Windows' own: a private registry through
// RegOverridePredefKey, modules loaded with LoadLibrary, child processes that run the test program
// again for one call of RunInChildProcess.
#include "tests/server/server_support.h"
#include "tests/support/process.h"

#include <stdio.h>
#include <stdlib.h>

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <filesystem>
#include <mutex>
#include <sstream>
#include <thread>

namespace corvane::testing {

namespace {

// In a child made by RunInChildProcess: the number of the call whose body the child runs (0 in
// the parent).
const char kChildCallVariable[] = "CORVANE_TEST_CHILD_CALL";

int ChildCall() {
    static const int call = [] {
        char buf[16];
        const DWORD n = GetEnvironmentVariableA(kChildCallVariable, buf, sizeof buf);
        return n > 0 && n < sizeof buf ? atoi(buf) : 0;
    }();
    return call;
}

std::string CurrentTestName() {
    const ::testing::TestInfo* info = ::testing::UnitTest::GetInstance()->current_test_info();
    return info ? std::string(info->test_suite_name()) + "." + info->name() : std::string();
}

}  // namespace

const char kTypeLibraryForm[] = "MSFT";

std::string ModulePath() {
    return ResolvedPath(CORVANE_MODULE_PATH);
}

std::string ResolvedPath(const std::string& path) {
    OLECHAR full[32768];
    const DWORD n = GetFullPathNameW(Utf8ToOle(path).c_str(), 32768, full, nullptr);
    return n > 0 && n < 32768 ? OleToUtf8(OleString(full, n)) : path;
}

std::string ModuleCopyName(const std::string& tag) {
    return "corvane-" + tag + ".dll";
}

bool FailNthRegistryWrite(unsigned) {
    return false;
}

const char* WineVersion() {
    const HMODULE ntdll = GetModuleHandleW(OLESTR("ntdll.dll"));
    using Fn = const char*(CDECL*)();
    const auto fn = reinterpret_cast<Fn>(
        reinterpret_cast<void*>(ntdll ? GetProcAddress(ntdll, "wine_get_version") : nullptr));
    return fn ? fn() : nullptr;
}

std::string ComparableDump(const std::string& dump) {
    // A key line, then its value lines, which begin with two spaces.
    std::istringstream in(dump);
    std::string line, out;
    std::vector<std::string> values;
    const auto flush = [&] {
        std::sort(values.begin(), values.end());
        for (const std::string& v : values) out += v + "\n";
        values.clear();
    };
    while (std::getline(in, line)) {
        if (line.rfind("  ", 0) == 0) {
            values.push_back(line);
            continue;
        }
        flush();
        out += line + "\n";
    }
    flush();
    return out;
}

void ExpectFunctionDescribed(ITypeInfo* info, UINT index, MEMBERID id, const OleString& method) {
    FUNCDESC* desc = nullptr;
    ASSERT_EQ(info->GetFuncDesc(index, &desc), S_OK) << Narrow(method);
    EXPECT_EQ(desc->memid, id) << Narrow(method);
    const INVOKEKIND kind = method.rfind(OLESTR("get_"), 0) == 0   ? INVOKE_PROPERTYGET
                            : method.rfind(OLESTR("put_"), 0) == 0 ? INVOKE_PROPERTYPUT
                                                                   : INVOKE_FUNC;
    EXPECT_EQ(desc->invkind, kind) << Narrow(method);
    EXPECT_EQ(desc->funckind, FUNC_PUREVIRTUAL) << Narrow(method);
    EXPECT_EQ(desc->oVft, static_cast<SHORT>((3 + index) * sizeof(void*))) << Narrow(method);
    info->ReleaseFuncDesc(desc);
}

// Another thread holds the registration session from the constructor to the destructor. The
// session is one for the logon session, so test programs running beside this one may hold it for a
// while: the holder waits for as long as they take, rather than going on without it.
struct RegistryHeldElsewhere::Holder {
    std::mutex m;
    std::condition_variable cv;
    bool held = false, release = false;
    LSTATUS status = ERROR_SUCCESS;
    std::thread thread;
};

RegistryHeldElsewhere::RegistryHeldElsewhere(const TempRegistry&) : holder_(new Holder) {
    holder_->thread = std::thread([h = holder_] {
        const LSTATUS status = CorvaneRegistryBeginTransaction(INFINITE);
        std::unique_lock<std::mutex> lock(h->m);
        h->status = status;
        h->held = true;
        h->cv.notify_all();
        h->cv.wait(lock, [h] { return h->release; });
        if (status == ERROR_SUCCESS) CorvaneRegistryEndTransaction(TRUE);
    });
    std::unique_lock<std::mutex> lock(holder_->m);
    holder_->cv.wait(lock, [this] { return holder_->held; });
    EXPECT_EQ(holder_->status, ERROR_SUCCESS) << "the registration session was not taken";
}

RegistryHeldElsewhere::~RegistryHeldElsewhere() {
    {
        std::lock_guard<std::mutex> lock(holder_->m);
        holder_->release = true;
    }
    holder_->cv.notify_all();
    holder_->thread.join();
    delete holder_;
}

TempDir::TempDir() {
    // Wine reuses process ids soon, so a name is tried until the system makes it afresh.
    std::error_code ec;
    const std::filesystem::path temp = std::filesystem::temp_directory_path(ec);
    for (unsigned attempt = 0; !ec && attempt < 1000; ++attempt) {
        const std::filesystem::path dir =
            temp / ("corvane-module-" + std::to_string(GetCurrentProcessId()) + "-" +
                    std::to_string(GetTickCount()) + "-" + std::to_string(attempt));
        if (CreateDirectoryW(dir.wstring().c_str(), nullptr)) {
            path_ = dir.string();
            return;
        }
        if (GetLastError() != ERROR_ALREADY_EXISTS) break;
    }
    ADD_FAILURE() << "cannot create a temporary folder in " << temp.string();
}

TempDir::~TempDir() {
    std::error_code ec;
    if (!path_.empty()) std::filesystem::remove_all(path_, ec);
}

bool LoadModule(const std::string& path, ModuleExports* out) {
    const HMODULE module = LoadLibraryW(Utf8ToOle(path).c_str());
    if (module == nullptr) {
        ADD_FAILURE() << "LoadLibrary(" << path << ") failed with " << GetLastError();
        return false;
    }
    out->handle = module;
    out->module = module;
    const auto find = [&](const char* name) {
        return reinterpret_cast<void*>(GetProcAddress(module, name));
    };
    out->DllCanUnloadNow = reinterpret_cast<PFN_DllCanUnloadNow>(find("DllCanUnloadNow"));
    out->DllGetClassObject = reinterpret_cast<PFN_DllGetClassObject>(find("DllGetClassObject"));
    out->DllInstall = reinterpret_cast<PFN_DllInstall>(find("DllInstall"));
    out->DllRegisterServer = reinterpret_cast<PFN_DllRegisterServer>(find("DllRegisterServer"));
    out->DllUnregisterServer =
        reinterpret_cast<PFN_DllUnregisterServer>(find("DllUnregisterServer"));
    if (!out->DllCanUnloadNow || !out->DllGetClassObject || !out->DllInstall ||
        !out->DllRegisterServer || !out->DllUnregisterServer) {
        ADD_FAILURE() << path << " lacks one of the five exports";
        return false;
    }
    return true;
}

// Windows has no fork: the test program runs again, for this test alone, with the number of this
// call in its environment. The child goes through the test up to that call, runs the body there
// and leaves with its verdict; the calls before it run nothing in the child, as their bodies ran
// in children of their own. The bodies of the tests that use this need nothing of the parent's
// registry, which the child does not share.
::testing::AssertionResult RunInChildProcess(const std::function<void()>& body) {
    static std::string test;
    static int calls = 0;
    const std::string name = CurrentTestName();
    if (name != test) test = name, calls = 0;
    const int call = ++calls;
    if (ChildCall() != 0) {
        if (call != ChildCall()) return ::testing::AssertionSuccess();
        EndProcess(static_cast<unsigned>(RunChildBody(body)));
    }
    OLECHAR program[MAX_PATH];
    const DWORD n = GetModuleFileNameW(nullptr, program, MAX_PATH);
    if (n == 0 || n >= MAX_PATH) return ::testing::AssertionFailure() << "no program path";
    OleString line =
        OLESTR("\"") + OleString(program, n) + OLESTR("\" --gtest_filter=") + Utf8ToOle(name);
    SetEnvironmentVariableA(kChildCallVariable, std::to_string(call).c_str());
    fflush(stdout);
    fflush(stderr);
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process{};
    const BOOL started = CreateProcessW(program, &line[0], nullptr, nullptr, TRUE, 0, nullptr,
                                        nullptr, &startup, &process);
    SetEnvironmentVariableA(kChildCallVariable, nullptr);
    if (!started)
        return ::testing::AssertionFailure() << "CreateProcess failed with " << GetLastError();
    WaitForSingleObject(process.hProcess, INFINITE);
    DWORD code = 0;
    GetExitCodeProcess(process.hProcess, &code);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    if (code != 0)
        return ::testing::AssertionFailure()
               << "child failed (see its output above), exit code " << code;
    return ::testing::AssertionSuccess();
}

}  // namespace corvane::testing
