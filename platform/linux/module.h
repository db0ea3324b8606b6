// Module identity and resources of the platform layer: GetModuleFileNameW, module handles and the
// resource functions of kernel32, over a table of resources that each module compiles in and
// registers at load time (ELF objects carry no resource section of their own).
//
// A module's handle (HMODULE) is the base address at which its image is mapped, as on Windows:
// the address that dladdr reports as dli_fbase for any address inside it. NULL means the
// executable where Windows says so.
#pragma once

#include "platform/linux/wintypes.h"

#ifndef MAX_PATH
#define MAX_PATH 260
#endif

// Resource names and types: either a pointer to a string or a 16-bit id disguised as a pointer.
#define MAKEINTRESOURCEW(i) ((LPWSTR)(ULONG_PTR)(WORD)(i))
#define IS_INTRESOURCE(r) ((((ULONG_PTR)(r)) >> 16) == 0)
#define RT_STRING MAKEINTRESOURCEW(6)
#define RT_RCDATA MAKEINTRESOURCEW(10)
#define RT_VERSION MAKEINTRESOURCEW(16)
#define RT_MANIFEST MAKEINTRESOURCEW(24)

#define GET_MODULE_HANDLE_EX_FLAG_PIN 0x00000001
#define GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT 0x00000002
#define GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS 0x00000004

// Full, absolute path of the module's file (symbolic links resolved); NULL gives the executable.
// Windows' truncation rule: when the path does not fit, size-1 characters and a NUL are written,
// the result is size and the last error ERROR_INSUFFICIENT_BUFFER; otherwise the result is the
// length without the NUL. A handle that is not a loaded module gives 0 with ERROR_MOD_NOT_FOUND;
// a NULL buffer with a non-zero size gives 0 with ERROR_INVALID_PARAMETER.
CORVANE_PLATFORM_API DWORD GetModuleFileNameW(HMODULE hModule, LPWSTR lpFilename, DWORD nSize);

// NULL gives the executable's handle; otherwise the loaded module whose file has that full path
// or that file name. Reference counts are not changed. NULL with ERROR_MOD_NOT_FOUND when none.
CORVANE_PLATFORM_API HMODULE GetModuleHandleW(LPCWSTR lpModuleName);

// With GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS, lpModuleName is an address inside the module;
// otherwise as GetModuleHandleW. Reference counts are never changed here (the module must stay
// loaded by other means), so FLAG_PIN and FLAG_UNCHANGED_REFCOUNT are accepted and have no
// further effect. FALSE with *phModule NULL and ERROR_MOD_NOT_FOUND when nothing matches,
// ERROR_INVALID_PARAMETER for a NULL phModule or unknown flags.
CORVANE_PLATFORM_API BOOL GetModuleHandleExW(DWORD dwFlags, LPCWSTR lpModuleName,
                                             HMODULE* phModule);

// Finds a resource by name and type (each a string, compared without regard to case, "#123" for
// an id, or MAKEINTRESOURCEW). NULL on failure with ERROR_RESOURCE_DATA_NOT_FOUND (the module
// registered no resources), ERROR_RESOURCE_TYPE_NOT_FOUND or ERROR_RESOURCE_NAME_NOT_FOUND.
CORVANE_PLATFORM_API HRSRC FindResourceW(HMODULE hModule, LPCWSTR lpName, LPCWSTR lpType);
// Language-neutral tables: the language is ignored.
CORVANE_PLATFORM_API HRSRC FindResourceExW(HMODULE hModule, LPCWSTR lpType, LPCWSTR lpName,
                                           WORD wLanguage);
// The resource's data handle; LockResource turns it into the address of the bytes, which stay
// valid (read-only) while the module is loaded. NULL with ERROR_INVALID_HANDLE for a resource
// that the module does not hold.
CORVANE_PLATFORM_API HGLOBAL LoadResource(HMODULE hModule, HRSRC hResInfo);
CORVANE_PLATFORM_API LPVOID LockResource(HGLOBAL hResData);
// Size in bytes; 0 with ERROR_INVALID_HANDLE for a resource that the module does not hold.
CORVANE_PLATFORM_API DWORD SizeofResource(HMODULE hModule, HRSRC hResInfo);
// Resources need no freeing: always FALSE, as on 32-bit and later Windows.
CORVANE_PLATFORM_API BOOL FreeResource(HGLOBAL hResData);

// One compiled-in resource. type and name are as for FindResourceW; data points at size bytes
// that live as long as the module (typically a static array).
struct CorvaneResource {
    LPCWSTR type;
    LPCWSTR name;
    const void* data;
    DWORD size;
};

// Makes the module's resource table known (copied; the data itself is referenced). A second
// call for the same module replaces its table. FALSE with ERROR_MOD_NOT_FOUND when hModule is not
// a loaded module, ERROR_INVALID_PARAMETER for a NULL table with a non-zero count.
EXTERN_C CORVANE_PLATFORM_API BOOL CorvaneRegisterModuleResources(HMODULE hModule,
                                                                  const CorvaneResource* table,
                                                                  DWORD count);
// Forgets the module's table (at unload).
EXTERN_C CORVANE_PLATFORM_API void CorvaneUnregisterModuleResources(HMODULE hModule);

namespace corvane {

// The handle of the module that contains address, or NULL.
inline HMODULE ModuleFromAddress(const void* address) {
    HMODULE module = nullptr;
    GetModuleHandleExW(
        GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
        static_cast<LPCWSTR>(address), &module);
    return module;
}

// Registers a resource table for the module that defines the object: declare one at namespace
// scope in the module, and its table is known from load to unload.
class ModuleResources {
public:
    template <size_t N>
    explicit ModuleResources(const CorvaneResource (&table)[N]) : module_(ModuleFromAddress(this)) {
        CorvaneRegisterModuleResources(module_, table, static_cast<DWORD>(N));
    }
    ~ModuleResources() { CorvaneUnregisterModuleResources(module_); }
    ModuleResources(const ModuleResources&) = delete;
    ModuleResources& operator=(const ModuleResources&) = delete;

    HMODULE Module() const { return module_; }

private:
    HMODULE module_;
};

}  // namespace corvane
