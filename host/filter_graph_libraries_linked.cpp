#include "host/filter_graph_libraries.h"

#include "corvane/filter_graph_api.h"

namespace corvane::host {

FilterGraphLibraries FilterGraphLibraries::Load(const char*) {
    FilterGraphLibraries libraries;
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"
#define CORVANE_FILTER_GRAPH_TAKE(slot, name) \
    libraries.functions_[slot] = reinterpret_cast<void*>(&::name);
    CORVANE_FILTER_GRAPH_FUNCTIONS(CORVANE_FILTER_GRAPH_TAKE)
#undef CORVANE_FILTER_GRAPH_TAKE
#pragma GCC diagnostic pop
    libraries.status_ = S_OK;
    return libraries;
}

}  // namespace corvane::host
