// The graph libraries loaded when first asked for: a library or a function that cannot be found
// gives its own status, the loader's words and no function at all, rather than a table with
// holes. (That the found functions land in their slots is the provider test's part.)
#include "host/filter_graph_libraries.h"

#include <gtest/gtest.h>

namespace corvane::testing {
namespace {

TEST(FilterGraphLibraries, WhatCannotBeLoadedGivesItsStatusAndNoFunction) {
    struct Case {
        const char* file;
        HRESULT status;
    } cases[] = {
        {"libcorvane-no-such-library.so", HRESULT_FROM_WIN32(ERROR_MOD_NOT_FOUND)},
        {"libm.so.6", HRESULT_FROM_WIN32(ERROR_PROC_NOT_FOUND)},  // loads, holds none of them
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.file);
        const host::FilterGraphLibraries libraries = host::FilterGraphLibraries::Load(c.file);
        EXPECT_EQ(libraries.Status(), c.status);
        EXPECT_NE(libraries.Failure(), "");
        for (int slot = 0; slot < host::FilterGraphLibraries::kSlots; ++slot)
            EXPECT_EQ(libraries.Function(slot), nullptr) << slot;
    }
    EXPECT_EQ(host::FilterGraphLoadFailure(), "") << "nothing asked for the process's libraries";
}

}  // namespace
}  // namespace corvane::testing
