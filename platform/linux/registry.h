// The registry of the Linux platform layer: the advapi32 functions that registration uses, with
// Windows' names, signatures, values and Win32 error results.
//
// Storage: two hive files under one root folder, "machine.hive" (HKEY_LOCAL_MACHINE) and
// "user.hive" (HKEY_CURRENT_USER). HKEY_CLASSES_ROOT is a view: the user's Software\Classes over
// the machine's Software\Classes. Key and value names compare without regard to case (the
// simple upper-case mapping of corvane::text::UpcaseUnit) and keep the case they were created
// with. Every change re-reads the hive under an exclusive lock on "<hive>.lock" and replaces the
// hive file atomically (temporary file, fsync, rename), so concurrent writers in other processes
// lose nothing and a failed write leaves the previous hive intact. Reads take no lock; they see
// the hive as of the last completed write.
//
// HKEY_CLASSES_ROOT rules:
// - reads merge both hives; a key or value present in both is taken from the user's hive;
//   subkeys enumerate as one sorted list, values as the user's followed by the machine's;
// - a value set through it goes to the user's hive when the key exists there, else to the
//   machine's; a key created through it is created in the machine's hive;
// - a deletion through it acts on what the view shows: the user's key (or value) where the
//   user's hive has it, else the machine's; a copy in the other hive then shows through. So a
//   deletion through the view never removes both a user's and the machine's entry at once.
// - reads whose answer the user's hive settles alone (opening a key or querying a value that the
//   user's hive has) succeed while the machine's hive cannot be read; any other read then fails
//   with the machine hive's failure.
//
// Handles refer to a key by its path: an operation on a handle whose key has been deleted
// (by anybody) fails with ERROR_KEY_DELETED. Access rights requested at open are enforced
// (ERROR_ACCESS_DENIED). Volatile keys, links and class names are not supported.
#pragma once

#include "platform/linux/wintypes.h"
// The kernel's access-right names come first, so that the shared ones below are not redefined.
#if __has_include("platform/linux/kernel.h")
#include "platform/linux/kernel.h"
#endif

typedef struct HKEY__* HKEY;
typedef HKEY* PHKEY;
typedef DWORD ACCESS_MASK;
typedef ACCESS_MASK REGSAM;
struct _SECURITY_ATTRIBUTES;

// Predefined keys, sign-extended as on 64-bit Windows.
#define HKEY_CLASSES_ROOT ((HKEY)(ULONG_PTR)((LONG)0x80000000))
#define HKEY_CURRENT_USER ((HKEY)(ULONG_PTR)((LONG)0x80000001))
#define HKEY_LOCAL_MACHINE ((HKEY)(ULONG_PTR)((LONG)0x80000002))

// Standard and generic access rights (shared with other object kinds).
#ifndef DELETE
#define DELETE 0x00010000L
#endif
#ifndef READ_CONTROL
#define READ_CONTROL 0x00020000L
#endif
#ifndef WRITE_DAC
#define WRITE_DAC 0x00040000L
#endif
#ifndef WRITE_OWNER
#define WRITE_OWNER 0x00080000L
#endif
#ifndef SYNCHRONIZE
#define SYNCHRONIZE 0x00100000L
#endif
#ifndef STANDARD_RIGHTS_READ
#define STANDARD_RIGHTS_READ READ_CONTROL
#endif
#ifndef STANDARD_RIGHTS_WRITE
#define STANDARD_RIGHTS_WRITE READ_CONTROL
#endif
#ifndef STANDARD_RIGHTS_EXECUTE
#define STANDARD_RIGHTS_EXECUTE READ_CONTROL
#endif
#ifndef STANDARD_RIGHTS_ALL
#define STANDARD_RIGHTS_ALL 0x001F0000L
#endif
#ifndef MAXIMUM_ALLOWED
#define MAXIMUM_ALLOWED 0x02000000L
#endif
#ifndef GENERIC_READ
#define GENERIC_READ 0x80000000L
#endif
#ifndef GENERIC_WRITE
#define GENERIC_WRITE 0x40000000L
#endif
#ifndef GENERIC_EXECUTE
#define GENERIC_EXECUTE 0x20000000L
#endif
#ifndef GENERIC_ALL
#define GENERIC_ALL 0x10000000L
#endif

// Key access rights.
#define KEY_QUERY_VALUE 0x0001
#define KEY_SET_VALUE 0x0002
#define KEY_CREATE_SUB_KEY 0x0004
#define KEY_ENUMERATE_SUB_KEYS 0x0008
#define KEY_NOTIFY 0x0010
#define KEY_CREATE_LINK 0x0020
#define KEY_WOW64_64KEY 0x0100
#define KEY_WOW64_32KEY 0x0200
#define KEY_WOW64_RES 0x0300
#define KEY_READ                                                                      \
    ((STANDARD_RIGHTS_READ | KEY_QUERY_VALUE | KEY_ENUMERATE_SUB_KEYS | KEY_NOTIFY) & \
     (~SYNCHRONIZE))
#define KEY_WRITE ((STANDARD_RIGHTS_WRITE | KEY_SET_VALUE | KEY_CREATE_SUB_KEY) & (~SYNCHRONIZE))
#define KEY_EXECUTE ((KEY_READ) & (~SYNCHRONIZE))
#define KEY_ALL_ACCESS                                                             \
    ((STANDARD_RIGHTS_ALL | KEY_QUERY_VALUE | KEY_SET_VALUE | KEY_CREATE_SUB_KEY | \
      KEY_ENUMERATE_SUB_KEYS | KEY_NOTIFY | KEY_CREATE_LINK) &                     \
     (~SYNCHRONIZE))

// Key options. Only non-volatile keys exist here: the other options fail with
// ERROR_NOT_SUPPORTED.
#define REG_OPTION_RESERVED 0x00000000L
#define REG_OPTION_NON_VOLATILE 0x00000000L
#define REG_OPTION_VOLATILE 0x00000001L
#define REG_OPTION_CREATE_LINK 0x00000002L
#define REG_OPTION_BACKUP_RESTORE 0x00000004L
#define REG_OPTION_OPEN_LINK 0x00000008L

// Dispositions of RegCreateKeyExW.
#define REG_CREATED_NEW_KEY 0x00000001L
#define REG_OPENED_EXISTING_KEY 0x00000002L

// Value types. Data is stored and returned byte for byte as it was set, whatever the type.
#define REG_NONE 0
#define REG_SZ 1
#define REG_EXPAND_SZ 2
#define REG_BINARY 3
#define REG_DWORD 4
#define REG_DWORD_LITTLE_ENDIAN 4
#define REG_DWORD_BIG_ENDIAN 5
#define REG_LINK 6
#define REG_MULTI_SZ 7
#define REG_RESOURCE_LIST 8
#define REG_FULL_RESOURCE_DESCRIPTOR 9
#define REG_RESOURCE_REQUIREMENTS_LIST 10
#define REG_QWORD 11
#define REG_QWORD_LITTLE_ENDIAN 11

// Win32 errors that only the registry gives.
#ifndef ERROR_BAD_PATHNAME
#define ERROR_BAD_PATHNAME 161L
#endif
#ifndef ERROR_NOACCESS
#define ERROR_NOACCESS 998L
#endif
#ifndef ERROR_BUSY
#define ERROR_BUSY 170L
#endif

// Results are Win32 error codes: ERROR_SUCCESS, ERROR_INVALID_HANDLE (unknown or closed hKey),
// ERROR_INVALID_PARAMETER (missing out pointers, bad options), ERROR_FILE_NOT_FOUND (missing
// key or value), ERROR_KEY_DELETED (the handle's key is gone), ERROR_ACCESS_DENIED (rights not
// requested at open, a key with subkeys given to RegDeleteKeyW, or a key the layer keeps:
// a root, Software, Software\Classes), ERROR_MORE_DATA (buffer too small; sizes report what
// is needed), ERROR_NO_MORE_ITEMS (enumeration index past the end), ERROR_BAD_PATHNAME (a
// subkey path beginning with or holding an empty component), ERROR_BADDB (a hive file that
// cannot be parsed; it is never overwritten), ERROR_CANTREAD/ERROR_CANTWRITE/ERROR_DISK_FULL/
// ERROR_CANTOPEN (file system failures; nothing changed), ERROR_BUSY (another process kept the
// hive locked longer than the wait allows; nothing changed). Every failure that a file or folder
// causes is also described in words for the calling thread: CorvaneGetRegistryFailure.
//
// Sizes: lpcchName/lpcchValueName/lpcchClass in characters including the terminating NUL on
// input and excluding it on output; lpcbData in bytes.

// lpSubKey must not be NULL; "" opens hKey itself. A missing key is created with every
// missing parent (KEY_CREATE_SUB_KEY is then required on hKey). *phkResult is NULL on failure.
EXTERN_C CORVANE_PLATFORM_API LSTATUS RegCreateKeyExW(HKEY hKey, LPCWSTR lpSubKey, DWORD Reserved,
                                                      LPWSTR lpClass, DWORD dwOptions,
                                                      REGSAM samDesired,
                                                      _SECURITY_ATTRIBUTES* lpSecurityAttributes,
                                                      PHKEY phkResult, LPDWORD lpdwDisposition);
// lpSubKey NULL or "" opens a new handle to hKey's own key. *phkResult is NULL on failure.
EXTERN_C CORVANE_PLATFORM_API LSTATUS RegOpenKeyExW(HKEY hKey, LPCWSTR lpSubKey, DWORD ulOptions,
                                                    REGSAM samDesired, PHKEY phkResult);
// lpValueName NULL or "" is the key's default value. lpData may be NULL only when cbData is 0.
EXTERN_C CORVANE_PLATFORM_API LSTATUS RegSetValueExW(HKEY hKey, LPCWSTR lpValueName, DWORD Reserved,
                                                     DWORD dwType, const BYTE* lpData,
                                                     DWORD cbData);
// lpReserved must be NULL. With lpData NULL only the type and size are reported.
EXTERN_C CORVANE_PLATFORM_API LSTATUS RegQueryValueExW(HKEY hKey, LPCWSTR lpValueName,
                                                       LPDWORD lpReserved, LPDWORD lpType,
                                                       LPBYTE lpData, LPDWORD lpcbData);
EXTERN_C CORVANE_PLATFORM_API LSTATUS RegDeleteValueW(HKEY hKey, LPCWSTR lpValueName);
// Deletes a key that has no subkeys (ERROR_ACCESS_DENIED otherwise), with its values.
EXTERN_C CORVANE_PLATFORM_API LSTATUS RegDeleteKeyW(HKEY hKey, LPCWSTR lpSubKey);
// Deletes lpSubKey with all its subkeys and values; with lpSubKey NULL, deletes every subkey
// and value of hKey and keeps hKey (which then needs DELETE, KEY_ENUMERATE_SUB_KEYS and
// KEY_QUERY_VALUE, and KEY_SET_VALUE when it has values).
EXTERN_C CORVANE_PLATFORM_API LSTATUS RegDeleteTreeW(HKEY hKey, LPCWSTR lpSubKey);
// Subkeys enumerate in case-insensitive order of their names. Class names are always empty.
EXTERN_C CORVANE_PLATFORM_API LSTATUS RegEnumKeyExW(HKEY hKey, DWORD dwIndex, LPWSTR lpName,
                                                    LPDWORD lpcchName, LPDWORD lpReserved,
                                                    LPWSTR lpClass, LPDWORD lpcchClass,
                                                    PFILETIME lpftLastWriteTime);
// Values enumerate in the order they were first set. A data buffer that is too small gives
// ERROR_MORE_DATA with the name, the type and the needed size filled in.
EXTERN_C CORVANE_PLATFORM_API LSTATUS RegEnumValueW(HKEY hKey, DWORD dwIndex, LPWSTR lpValueName,
                                                    LPDWORD lpcchValueName, LPDWORD lpReserved,
                                                    LPDWORD lpType, LPBYTE lpData,
                                                    LPDWORD lpcbData);
// Maximum lengths are in characters without the NUL (names) and bytes (data). The class is
// empty and the security descriptor size 0.
EXTERN_C CORVANE_PLATFORM_API LSTATUS
RegQueryInfoKeyW(HKEY hKey, LPWSTR lpClass, LPDWORD lpcchClass, LPDWORD lpReserved,
                 LPDWORD lpcSubKeys, LPDWORD lpcbMaxSubKeyLen, LPDWORD lpcbMaxClassLen,
                 LPDWORD lpcValues, LPDWORD lpcbMaxValueNameLen, LPDWORD lpcbMaxValueLen,
                 LPDWORD lpcbSecurityDescriptor, PFILETIME lpftLastWriteTime);
// Closing a predefined key succeeds and does nothing.
EXTERN_C CORVANE_PLATFORM_API LSTATUS RegCloseKey(HKEY hKey);

// Chooses the folder that holds the hive files (created on the first write). A relative path
// is made absolute against the current directory now. NULL or "" returns to the default:
// $CORVANE_REGISTRY_ROOT when set and not empty, else $XDG_DATA_HOME/corvane/registry, else
// $HOME/.local/share/corvane/registry. Open handles keep their key paths and from then on
// refer to the new hives. Returns ERROR_SUCCESS, or ERROR_PATH_NOT_FOUND when no default can
// be formed (no HOME) or the current directory is unknown.
EXTERN_C CORVANE_PLATFORM_API LSTATUS CorvaneSetRegistryRoot(const char* dir);

// Copies the folder in use (NUL-terminated UTF-8) into buf of size bytes. Returns the length
// without the NUL, or the size needed including the NUL when buf is NULL or too small
// (nothing is written then), or 0 when no folder can be determined (see above).
EXTERN_C CORVANE_PLATFORM_API size_t CorvaneGetRegistryRoot(char* buf, size_t size);

// Registry transactions: a series of changes made by one thread that other processes see all at
// once or not at all, and that no other writer can interleave with.
//
// Begin takes the exclusive locks of both hives (machine first), waiting at most timeoutMs for
// other processes and threads to release them; ERROR_BUSY when they did not, and then nothing is
// held or changed. From then on the calling thread's changes go to the transaction's copies of
// the hives (which its own reads see), and every registry call of other threads of the process
// waits until the transaction ends. A hive is read only when the transaction first touches it, so
// a damaged machine hive does not stand in the way of changes to the user's.
//
// End with commit TRUE writes each changed hive (the user's first, then the machine's; when the
// second write fails the first is put back as far as the file system lets us) and returns the
// write's result; with FALSE it discards every change. Either way the locks are released.
// ERROR_INVALID_FUNCTION: Begin on a thread that already has a transaction, End on one that has
// none. The root cannot change while a transaction is open (ERROR_BUSY).
EXTERN_C CORVANE_PLATFORM_API LSTATUS CorvaneRegistryBeginTransaction(DWORD timeoutMs);
EXTERN_C CORVANE_PLATFORM_API LSTATUS CorvaneRegistryEndTransaction(BOOL commit);

// The last failure on this thread that a registry file or folder caused, in words that name the
// hive (machine or user) or folder, its path and the system's message, e.g. "the machine hive
// /r/machine.hive is damaged (line 7)" or "cannot create the registry folder /r: Not a
// directory". Copied as NUL-terminated UTF-8 into buf of size bytes. Returns the length without
// the NUL, or the size needed including the NUL when buf is NULL or too small (nothing is written
// then), or 0 when there is none since the thread's last CorvaneClearRegistryFailure. Successful
// calls leave it as it is.
EXTERN_C CORVANE_PLATFORM_API size_t CorvaneGetRegistryFailure(char* buf, size_t size);
EXTERN_C CORVANE_PLATFORM_API void CorvaneClearRegistryFailure(void);

// For tests only: makes the n-th hive change from now on fail (1 = the next one): a hive file
// write (after part of the temporary file has been written), or inside a transaction a change to
// the transaction's copy of a hive or the transaction's final write of one. The failing call
// returns ERROR_CANTWRITE and leaves the hive file and every key unchanged. 0 disarms.
// Process-wide.
EXTERN_C CORVANE_PLATFORM_API void CorvaneRegistryFailNthWrite(unsigned n);

#if defined(CORVANE_PLATFORM_BUILD)
// Inside the platform library only: the hive tree and its file, shared by the registry's
// source files.
#include <string>
#include <string_view>
#include <vector>

namespace corvane::reg {

struct Value {
    std::u16string name;  // as first set; "" is the default value
    DWORD type = REG_NONE;
    std::vector<BYTE> data;
};

struct Key {
    std::u16string name;        // as created
    ULONGLONG lastWrite = 0;    // FILETIME ticks (100 ns since 1601, UTC)
    std::vector<Value> values;  // in the order first set
    std::vector<Key> subkeys;   // sorted by corvane::text::CompareNoCase of their names

    Key* FindSubkey(std::u16string_view n);
    const Key* FindSubkey(std::u16string_view n) const;
    // Returns the existing subkey of that name or inserts a new one in order.
    Key& AddSubkey(std::u16string_view n, ULONGLONG now, bool* created);
    bool RemoveSubkey(std::u16string_view n);
    Value* FindValue(std::u16string_view n);
    const Value* FindValue(std::u16string_view n) const;
    // Walks a path of components; nullptr when a component is missing.
    Key* Find(const std::vector<std::u16string>& path, size_t count);
    const Key* Find(const std::vector<std::u16string>& path, size_t count) const;
};

// Current time as FILETIME ticks.
ULONGLONG NowFileTime();

// Text form of a hive (format described in registry_hive.cpp) and back. Parse returns
// ERROR_SUCCESS or ERROR_BADDB and then leaves *root untouched and, when badLine is given, stores
// the number (from 1) of the first line that is wrong there.
std::string Serialize(const Key& root, ULONGLONG stamp);
LSTATUS Parse(std::string_view text, Key* root, ULONGLONG* stamp, size_t* badLine = nullptr);

// Records the calling thread's registry failure text (see CorvaneGetRegistryFailure).
void SetFailure(std::string text);

// One hive file with its lock file and the last tree read from it. Not thread-safe: the
// registry's mutex guards it.
class HiveFile {
public:
    // Where the hive lives; drops the cached tree. label names the hive in failure texts
    // ("machine", "user"); the files are <dir>/<label>.hive and <dir>/<label>.lock.
    void SetPath(std::string dir, std::string label);
    // Brings the cached tree up to date with the file (a missing file is an empty hive). Inside a
    // transaction a hive that the transaction changed keeps its changed tree.
    LSTATUS Refresh();
    const Key& Root() const { return root_; }
    // Writes newRoot as the hive file and makes it the cached tree; inside a transaction it only
    // becomes the transaction's tree. Call only while Locked.
    LSTATUS Commit(Key newRoot);

    // Exclusive lock on the hive's lock file for a read-modify-write; Refresh after taking it.
    // Waits until deadline (a steady-clock time in ms, see NowMs) for another holder, then
    // fails with ERROR_BUSY. Unlock does nothing inside a transaction.
    LSTATUS Lock(ULONGLONG deadlineMs);
    void Unlock();

    // A transaction on a Locked hive: Commit changes only the tree in memory until
    // WriteTransaction writes it. RevertWrite puts back the file as it was before a successful
    // WriteTransaction (for a second hive whose write failed). EndTransaction keeps the written
    // tree (keep) or goes back to the tree from before the transaction, and releases the lock.
    void BeginTransaction();
    LSTATUS WriteTransaction();
    void RevertWrite();
    void EndTransaction(bool keep);

private:
    LSTATUS WriteFile(const Key& tree);
    void Forget();

    std::string dir_, hivePath_, lockPath_, label_;
    Key root_;
    ULONGLONG stamp_ = 0;  // stamp of the file the cache was read from; 0: no file
    bool loaded_ = false;
    int lockFd_ = -1;
    bool inTransaction_ = false;
    bool changed_ = false;  // the transaction changed the tree
    bool written_ = false;  // WriteTransaction wrote it
    Key before_;            // the tree before the transaction changed it
};

// Milliseconds of a steady clock, for lock deadlines.
ULONGLONG NowMs();

}  // namespace corvane::reg
#endif
