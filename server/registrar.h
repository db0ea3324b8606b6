// The registrar: runs a registration script against the registry, to register or to unregister.
//
// Script language (tokens are separated by white space; keywords compare without regard to case):
//   script   := root*
//   root     := ('HKCR' | 'HKEY_CLASSES_ROOT' | 'HKCU' | 'HKEY_CURRENT_USER' | 'HKLM'
//               | 'HKEY_LOCAL_MACHINE') '{' item* '}'
//   item     := 'val' name '=' value
//             | ['NoRemove' | 'ForceRemove'] name ['=' value] ['{' item* '}']
//   name     := a word (any run of characters without white space, quote, or a lone '{', '}', '=')
//             | a quoted string
//   value    := 's' quoted-string | 'd' (quoted-string | word)   (d: decimal or 0x hexadecimal)
//   quoted-string := '...' with '' for one quote inside
// A name holds no backslash and no NUL and is not empty. `%NAME%` anywhere in the script is
// replaced (before the script is read) by the value of the replacement NAME, matched without regard
// to case; `%%` is one percent sign.
//
// Registration: a ForceRemove key is deleted with its subtree and written again; every other key
// is created when missing; the default value (`= value`) and named values (`val`) are set.
// Unregistration: a ForceRemove key is deleted with its subtree; a NoRemove key stays (its keys
// and named values are unregistered); a plain key loses its named values and is deleted when
// nothing else is left in it. Missing keys are no error when unregistering.
//
// The whole script is read before anything is written: a script that does not parse, or names an
// unknown replacement, changes nothing.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "platform/win32.h"

namespace corvane {

class RegistryTransaction;

namespace registrar {

// Result of a script that does not follow the grammar above (or is not valid UTF-8).
constexpr HRESULT kSyntaxError =
    static_cast<HRESULT>(0x8007000Du);  // HRESULT_FROM_WIN32(ERROR_INVALID_DATA)
// Result of a %NAME% for which no replacement is given.
constexpr HRESULT kUnknownReplacement =
    static_cast<HRESULT>(0x80070490u);  // HRESULT_FROM_WIN32(ERROR_NOT_FOUND)

struct Replacement {
    OleString name;
    OleString value;
};

// Where the keys of a script's HKCR root go: HKEY_LOCAL_MACHINE\Software\Classes for a
// per-machine registration, HKEY_CURRENT_USER\Software\Classes for a per-user one. Neither goes
// through the merged HKEY_CLASSES_ROOT view, so that each keeps the other's keys.
enum class ClassesRoot { Machine, PerUser };

// Expands %NAME% as described above. On failure *out holds part of the result.
HRESULT ExpandReplacements(OleStringView script, const std::vector<Replacement>& map,
                           OleString* out);

// Runs a script given as UTF-8 bytes. tx (may be NULL) receives an image of every place before
// it is changed, so that the caller can roll a failed registration back; it is not used when
// unregistering. The first registry failure stops the run and is returned as an HRESULT
// (HRESULT_FROM_WIN32 of the registry's result).
HRESULT RunScript(std::string_view script, bool bRegister, const std::vector<Replacement>& map,
                  ClassesRoot classes, RegistryTransaction* tx);

}  // namespace registrar
}  // namespace corvane
