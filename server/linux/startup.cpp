// The module's start-up on Linux, where a shared object has no entry point of its own and no
// resource section: one static object makes the module's resources (the registration scripts as
// REGISTRY, the type library as TYPELIB 1, the product name as string 100) known to the platform
// and starts the module when the object is loaded, and undoes both when it is unloaded.
#include <vector>

#include "platform/win32.h"
#include "server/linux/typelib_source.h"
#include "server/module.h"
#include "server/scripts.h"

namespace corvane {

namespace {

// Windows keeps strings in blocks of sixteen, block n holding ids 16(n-1) to 16n-1, each entry
// a 16-bit length followed by that many UTF-16 units. String 100 is entry 4 of block 7.
// clang-format off
constexpr OLECHAR kStringBlock7[] = {
    0, 0, 0, 0,                                   // ids 96 to 99: none
    7, OLESTR('c'), OLESTR('o'), OLESTR('r'), OLESTR('v'), OLESTR('a'), OLESTR('n'), OLESTR('e'),  // id 100
    0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0};             // ids 101 to 111: none
// clang-format on

class ModuleStartup {
public:
    ModuleStartup() : module_(ModuleFromAddress(this)) {
        std::vector<CorvaneResource> table;
        size_t count = 0;
        const ScriptSource* scripts = GetRegistrationScripts(&count);
        for (size_t i = 0; i < count; ++i) {
            table.push_back({OLESTR("REGISTRY"), MAKEINTRESOURCEW(scripts[i].id), scripts[i].text,
                             static_cast<DWORD>(scripts[i].size)});
        }
        table.push_back({OLESTR("TYPELIB"), MAKEINTRESOURCEW(1), kTypeLibrarySource,
                         sizeof kTypeLibrarySource - 1});
        table.push_back({RT_STRING, MAKEINTRESOURCEW(7), kStringBlock7, sizeof kStringBlock7});
        CorvaneRegisterModuleResources(module_, table.data(), static_cast<DWORD>(table.size()));
        StartModule(module_);
    }
    ~ModuleStartup() {
        StopModule();
        CorvaneUnregisterModuleResources(module_);
    }
    ModuleStartup(const ModuleStartup&) = delete;
    ModuleStartup& operator=(const ModuleStartup&) = delete;

private:
    HMODULE module_;
};

ModuleStartup g_startup;

}  // namespace
}  // namespace corvane
