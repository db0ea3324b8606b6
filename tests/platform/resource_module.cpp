// A small loadable module for the module and type-library tests: it carries a registration
// script, corvane's type library and a binary resource, registered from a static object the way
// every module does it.
#include "platform/win32.h"

#include "corvane/corvane.h"
#include "server/linux/typelib_source.h"

namespace {

const char kModuleScript[] = "HKCR\r\n{\r\n}\r\n";
// Bytes with an embedded NUL, so a size taken from a string length would be wrong.
const unsigned char kBlob[] = {0x01, 0x02, 0x00, 0xFE, 0x7F};

const CorvaneResource kResources[] = {
    {OLESTR("REGISTRY"), MAKEINTRESOURCEW(101), kModuleScript, sizeof kModuleScript - 1},
    {OLESTR("TYPELIB"), MAKEINTRESOURCEW(1), corvane::kTypeLibrarySource,
     sizeof corvane::kTypeLibrarySource - 1},
    {OLESTR("Custom"), OLESTR("Blob"), kBlob, sizeof kBlob},
};

corvane::ModuleResources g_resources(kResources);

}  // namespace

// The module's handle as the module itself sees it, for comparison with what the loader gives.
extern "C" __attribute__((visibility("default"))) HMODULE CorvaneTestModuleHandle() {
    return g_resources.Module();
}
