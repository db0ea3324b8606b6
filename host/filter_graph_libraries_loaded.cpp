#include "host/filter_graph_libraries.h"

#include "corvane/filter_graph_api.h"

#include <dlfcn.h>

namespace corvane::host {

namespace {

// The loader's words for its last failure, or `fallback`.
std::string LoaderFailure(const std::string& fallback) {
    const char* why = dlerror();
    return why != nullptr ? why : fallback;
}

}  // namespace

FilterGraphLibraries FilterGraphLibraries::Load(const char* avfilter) {
    FilterGraphLibraries libraries;
    // The handle stays open for the rest of the process: the table's pointers must stay valid
    // while any module holds them.
    dlerror();
    void* filter = dlopen(avfilter, RTLD_NOW | RTLD_LOCAL);
    if (filter == nullptr) {
        libraries.status_ = HRESULT_FROM_WIN32(ERROR_MOD_NOT_FOUND);
        libraries.failure_ = LoaderFailure(avfilter);
        return libraries;
    }
    const auto find = [&](int slot, const char* name) {
        if (libraries.status_ != S_OK) return;
        // The graph library and the libraries it depends on (the utility library among them).
        void* f = dlsym(filter, name);
        if (f == nullptr) {
            libraries.status_ = HRESULT_FROM_WIN32(ERROR_PROC_NOT_FOUND);
            libraries.failure_ = LoaderFailure(name);
            return;
        }
        libraries.functions_[slot] = f;
    };
    libraries.status_ = S_OK;
#define CORVANE_FILTER_GRAPH_FIND(slot, name) find(slot, #name);
    CORVANE_FILTER_GRAPH_FUNCTIONS(CORVANE_FILTER_GRAPH_FIND)
#undef CORVANE_FILTER_GRAPH_FIND
    if (libraries.status_ != S_OK) {
        for (void*& f : libraries.functions_) f = nullptr;
    }
    return libraries;
}

}  // namespace corvane::host
