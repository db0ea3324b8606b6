#include "tests/support/process.h"

#include "platform/win32.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>

namespace corvane::testing {

namespace {

// The full name of a file as the system names it (a path of the build machine included).
OleString FullPath(const std::string& path) {
    OLECHAR full[32768];
    const DWORD n = GetFullPathNameW(Utf8ToOle(path).c_str(), 32768, full, nullptr);
    return n > 0 && n < 32768 ? OleString(full, n) : Utf8ToOle(path);
}

}  // namespace

int RunProcess(const std::string& program, const std::vector<std::string>& args,
               std::string* output) {
    std::vector<std::string> words = {OleToUtf8(FullPath(program))};
    words.insert(words.end(), args.begin(), args.end());
    OleString line = Utf8ToOle(WindowsCommandLine(words));
    // The output goes to a file of its own, read back afterwards: a pipe would need a reader.
    OLECHAR temp[MAX_PATH], log[MAX_PATH];
    if (!GetTempPathW(MAX_PATH, temp) || !GetTempFileNameW(temp, OLESTR("run"), 0, log)) {
        ADD_FAILURE() << "no file for the output of " << program;
        return -1;
    }
    SECURITY_ATTRIBUTES inherited{sizeof inherited, nullptr, TRUE};
    const HANDLE out = CreateFileW(log, GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                   &inherited, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    const HANDLE in = CreateFileW(OLESTR("NUL"), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                  &inherited, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = in;
    startup.hStdOutput = out;
    startup.hStdError = out;
    PROCESS_INFORMATION process{};
    const BOOL started = out != INVALID_HANDLE_VALUE && in != INVALID_HANDLE_VALUE &&
                         CreateProcessW(nullptr, &line[0], nullptr, nullptr, TRUE, 0, nullptr,
                                        nullptr, &startup, &process);
    const DWORD error = GetLastError();
    if (out != INVALID_HANDLE_VALUE) CloseHandle(out);
    if (in != INVALID_HANDLE_VALUE) CloseHandle(in);
    int code = -1;
    if (started) {
        WaitForSingleObject(process.hProcess, INFINITE);
        DWORD exit = 0;
        if (GetExitCodeProcess(process.hProcess, &exit)) code = static_cast<int>(exit);
        CloseHandle(process.hThread);
        CloseHandle(process.hProcess);
    } else {
        ADD_FAILURE() << "cannot start " << program << ": error " << error;
    }
    if (output) {
        std::ifstream f(std::filesystem::path(log), std::ios::binary);
        std::stringstream s;
        s << f.rdbuf();
        *output = s.str();
    }
    DeleteFileW(log);
    return code;
}

}  // namespace corvane::testing
