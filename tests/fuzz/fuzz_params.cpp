// The corvane-fx parameter and zone syntax: any argument either parses or is refused with a
// message that says where; what parses keeps its promises (a key, a finite zone).
#include "tools/corvane-fx/params.h"

#include <cmath>
#include <cstdint>
#include <string>
#include <string_view>

#include "tests/fuzz/fuzz_check.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace corvane::fx;
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    std::string error;
    Param param;
    if (ParseParam(text, &param, &error)) {
        FUZZ_CHECK(!param.name.empty());
        FUZZ_CHECK(param.index >= -1);
        ParamSet set;
        set.Set(param);
        FUZZ_CHECK(set.Find(param.name, param.index) != nullptr);
    } else {
        FUZZ_CHECK(!error.empty());
    }
    error.clear();
    ZoneRange zone;
    if (ParseZone(text, &zone, &error)) {
        FUZZ_CHECK(std::isfinite(zone.start) && zone.start >= 0);
        FUZZ_CHECK(std::isfinite(zone.duration) && zone.duration >= 0);
    } else {
        FUZZ_CHECK(!error.empty());
    }
    return 0;
}
