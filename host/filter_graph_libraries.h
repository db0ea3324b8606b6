// The audio filter-graph libraries as the host's provider hands them out: loaded when the first
// graph effect asks for the entry table, not when the program starts, since most runs use no
// graph effect and the libraries bring a long tail of their own dependencies.
#pragma once

#include "platform/win32.h"

#include <string>

namespace corvane::host {

// The provider's functions by slot of the entry table (corvane/filter_graph_api.h), or why there
// are none.
class FilterGraphLibraries {
public:
    static constexpr int kSlots = 597;

    // S_OK when every listed function was found; otherwise HRESULT_FROM_WIN32 of
    // ERROR_MOD_NOT_FOUND (a library missing) or ERROR_PROC_NOT_FOUND (a function missing), and
    // no function at all.
    HRESULT Status() const { return status_; }
    // The loader's words for a failure; empty on success.
    const std::string& Failure() const { return failure_; }
    // The function of a listed slot; null for every other slot and after a failure.
    void* Function(int slot) const {
        return slot >= 0 && slot < kSlots ? functions_[slot] : nullptr;
    }

    // Loads the graph library by this file name (the libraries it depends on, the utility
    // library among them, come with it), or takes the linked ones where the host links them
    // (then the name is not used).
    static FilterGraphLibraries Load(const char* avfilter);

private:
    HRESULT status_ = E_UNEXPECTED;
    std::string failure_;
    void* functions_[kSlots] = {};
};

// The process's libraries under their installed names, loaded by the first call (later calls
// answer the same, success or failure).
const FilterGraphLibraries& ProcessFilterGraphLibraries();
// Why the process's libraries could not be loaded; empty when they were, and when nothing asked
// for them yet (this call loads nothing).
std::string FilterGraphLoadFailure();

}  // namespace corvane::host
