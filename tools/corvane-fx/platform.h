// What corvane-fx does differently per platform (platform_linux.cpp, platform_windows.cpp): where
// it finds the registered module (on Linux a registry folder the user may choose, on Windows the
// system registry), its command line in UTF-8, and the file calls of its output. Paths are UTF-8.
#pragma once

#include "platform/win32.h"

#include <string>
#include <vector>

namespace corvane::fx {

// Why --registry-root cannot be used here, or null where it can.
const char* RegistryFolderRefusal();
// Makes dir the registry that the process reads; ERROR_SUCCESS, or the registry's error.
LSTATUS UseRegistryFolder(const std::string& dir);

// The registry in use, in words for messages: the registry folder (the platform's default, after
// --registry-root), or "the system registry".
std::string RegistryName();
// The command that registers the module where this program looks for it.
std::string RegisterCommand();

// The registry's words for its last failure on this thread (a hive that cannot be read, named
// with its path), taken and cleared; empty when there is none.
std::string TakeRegistryFailure();
// Forgets the thread's last registry failure.
void ClearRegistryFailure();

// The system's words for a Win32 error code (as GetLastError gives it), without a final period.
// path, when given, is what the failed call worked on: on Linux, where one code stands for
// several of the system's reasons (ERROR_PATH_NOT_FOUND: a missing folder, or a file where a
// folder should be), the system is asked about that path for its own.
std::string SystemWords(DWORD error, const std::string& path = {});

// The program's arguments in UTF-8 (Windows hands main() the system code page's bytes).
std::vector<std::string> Utf8Arguments(int argc, char** argv);

// The characters that end a folder's name in a path: the slash, on Windows also the backslash.
const char* PathSeparators();

// What an output's name leads to.
enum class OutputKind {
    File,        // a regular file, or nothing yet: written beside and renamed onto
    Special,     // a device, a FIFO, a socket (on Windows a device such as NUL): written into
    Descriptor,  // a descriptor the process has open (/dev/stdout, /dev/fd/N): written into
    Folder,
    Other,  // a symbolic link or a socket, where a name is looked at without following it
};
struct OutputName {
    std::string file;  // what is written, or replaced (the name itself for a descriptor)
    OutputKind kind = OutputKind::File;
    int descriptor = -1;  // the descriptor that a Descriptor stands for
};
// Follows target's symbolic links (on Windows its reparse points) to the name of what is
// written, and says what is there. /dev/stdout, /dev/stderr, /dev/fd/N and /proc/self/fd/N
// stand for the process's own descriptor, whatever file the system shows behind it. Fails for a
// link that cannot be followed (a loop, a link that leads nowhere on Windows) and, on Linux, for
// a link in a sticky folder that anyone may write to (/tmp) whose owner is neither the user nor
// the folder's owner, which another user may have put there to lead the output anywhere; *why
// says so.
HRESULT ResolveOutput(const std::string& target, OutputName* out, std::string* why);

// What is at path now, a last link not followed: File for a regular file or nothing, Special for
// a device or FIFO, Folder, or Other (a link, a socket). *what names it in words.
OutputKind KindAt(const std::string& path, std::string* what);

// Opens what output names (a Special or a Descriptor) for writing, without creating or
// truncating anything: a descriptor is duplicated, a FIFO waits for its reader. *fd receives a C
// library descriptor, owned by the caller. S_FALSE, with nothing open, where a Special's name
// now holds a regular file or nothing, which the caller writes the regular way.
HRESULT OpenOutput(const OutputName& output, int* fd, std::string* why);
// Writes the whole file `from` into the open descriptor fd, in order, and closes fd.
HRESULT CopyInto(const std::string& from, int fd, std::string* why);

// Whether path names what the standard output writes to (/dev/stdout, or the file or pipe that
// stdout goes to); false on Windows, where no file name does.
bool IsStandardOutput(const std::string& path);

// Creates a new, empty file named prefix followed by six random characters, with the permissions
// that a new file gets, and closes it; *path receives its name. Failure: an HRESULT (the folder
// missing: HRESULT_FROM_WIN32(ERROR_PATH_NOT_FOUND)), and *why the system's words for it.
HRESULT CreateUniqueFile(const std::string& prefix, std::string* path, std::string* why);
// Renames from onto to, replacing a file there; that file's permissions (and, where the process
// may give files away, its owner) pass on to the new one. On failure *why says which step failed
// and why, and the file at `to` is as it was.
HRESULT MoveOnto(const std::string& from, const std::string& to, std::string* why);
// Deletes a file; a missing one is no error.
void RemoveFile(const std::string& path);

// While armed, a signal that ends the program (interrupt, termination, hang-up) removes path
// first. One path at a time: arming another replaces it. Disarming only disarms that same path.
void ArmRemovalOnSignal(const std::string& path);
void DisarmRemovalOnSignal(const std::string& path);

}  // namespace corvane::fx
