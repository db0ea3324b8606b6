// The registration scripts that the module carries as REGISTRY resources: the module's own script
// and one per effect class, all expanded at compile time from include/corvane/guids.def.
#pragma once

#include <stddef.h>

namespace corvane {

// Resource id of the module's own script (the root HKCR and nothing in it).
constexpr int kModuleScriptId = 101;

// One script: its REGISTRY resource id and its text (UTF-8, not NUL-terminated; static).
struct ScriptSource {
    int id;
    const char* text;
    size_t size;
};

// The module's script followed by the seventeen class scripts in type-library order. *count
// receives the number of entries.
const ScriptSource* GetRegistrationScripts(size_t* count);

// The script with that resource id, or NULL.
const ScriptSource* FindRegistrationScript(int id);

}  // namespace corvane
