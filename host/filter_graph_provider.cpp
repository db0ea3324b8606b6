#include "host/filter_graph_provider.h"

#include "corvane/filter_graph_api.h"
#include "host/filter_graph_libraries.h"

#include <atomic>
#include <cstdint>
#include <cstring>

// The installed graph library's file name where the host loads it; a host that links the
// libraries names none.
#ifndef CORVANE_AVFILTER_FILE
#define CORVANE_AVFILTER_FILE nullptr
#endif

namespace corvane::host {

namespace {
std::atomic<const FilterGraphLibraries*> g_loaded{nullptr};
}  // namespace

const FilterGraphLibraries& ProcessFilterGraphLibraries() {
    static const FilterGraphLibraries libraries = FilterGraphLibraries::Load(CORVANE_AVFILTER_FILE);
    g_loaded.store(&libraries);
    return libraries;
}

std::string FilterGraphLoadFailure() {
    const FilterGraphLibraries* loaded = g_loaded.load();
    return loaded != nullptr ? loaded->Failure() : std::string();
}

STDMETHODIMP CFilterGraphProvider::FillApi(LONG Version, LONG Flags, void* pTable) {
    if (!pTable) return E_POINTER;
    if (Version != 1 || Flags != 0) return E_INVALIDARG;
    // Only now, when a graph effect asks for the table, are the libraries loaded.
    const FilterGraphLibraries& libraries = ProcessFilterGraphLibraries();
    if (FAILED(libraries.Status())) return libraries.Status();
    uint32_t size = 0;
    std::memcpy(&size, pTable, sizeof(size));
    BYTE* table = static_cast<BYTE*>(pTable);
    const auto put = [&](size_t slot, void* function) {
        // Slot 0 carries the size word: it never receives a function.
        if (slot == 0 || (slot + 1) * sizeof(void*) > size) return;
        std::memcpy(table + slot * sizeof(void*), &function, sizeof(function));
    };
#define CORVANE_FILTER_GRAPH_PUT(slot, name) put(slot, libraries.Function(slot));
    CORVANE_FILTER_GRAPH_FUNCTIONS(CORVANE_FILTER_GRAPH_PUT)
#undef CORVANE_FILTER_GRAPH_PUT
    return S_OK;
}

}  // namespace corvane::host
