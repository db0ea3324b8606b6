// The hive reader: any bytes either parse or are refused with ERROR_BADDB and the bad line; a
// tree that parses writes back to a text that parses to the same text again.
#include "platform/win32.h"

#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "tests/fuzz/fuzz_check.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace corvane::reg;
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    Key tree;
    ULONGLONG stamp = 0;
    size_t badLine = 0;
    const LSTATUS status = Parse(text, &tree, &stamp, &badLine);
    if (status != ERROR_SUCCESS) {
        FUZZ_CHECK(status == ERROR_BADDB);
        FUZZ_CHECK(badLine >= 1);
        return 0;
    }
    const std::string written = Serialize(tree, stamp);
    Key again;
    ULONGLONG stampAgain = 0;
    FUZZ_CHECK(Parse(written, &again, &stampAgain) == ERROR_SUCCESS);
    FUZZ_CHECK(stampAgain == stamp);
    FUZZ_CHECK(Serialize(again, stampAgain) == written);
    return 0;
}
