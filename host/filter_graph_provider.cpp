#include "host/filter_graph_provider.h"

#include "corvane/filter_graph_api.h"

#include <cstdint>
#include <cstring>

namespace corvane::host {

STDMETHODIMP CFilterGraphProvider::FillApi(LONG Version, LONG Flags, void* pTable) {
    if (!pTable) return E_POINTER;
    if (Version != 1 || Flags != 0) return E_INVALIDARG;
    uint32_t size = 0;
    std::memcpy(&size, pTable, sizeof(size));
    BYTE* table = static_cast<BYTE*>(pTable);
    const auto put = [&](size_t slot, void* function) {
        // Slot 0 carries the size word: it never receives a function.
        if (slot == 0 || (slot + 1) * sizeof(void*) > size) return;
        std::memcpy(table + slot * sizeof(void*), &function, sizeof(function));
    };
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"
#define CORVANE_FILTER_GRAPH_PUT(slot, name) put(slot, reinterpret_cast<void*>(&::name));
    CORVANE_FILTER_GRAPH_FUNCTIONS(CORVANE_FILTER_GRAPH_PUT)
#undef CORVANE_FILTER_GRAPH_PUT
#pragma GCC diagnostic pop
    return S_OK;
}

}  // namespace corvane::host
