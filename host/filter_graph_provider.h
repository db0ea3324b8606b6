// The host's filter-graph provider: fills the module's entry table (corvane/filter_graph_api.h)
// with the functions of the audio filter-graph libraries, which the first fill of the process
// loads (host/filter_graph_libraries.h).
#pragma once

#include "platform/win32.h"
#include "corvane/corvane.h"
#include "host/com_object.h"

namespace corvane::host {

class CFilterGraphProvider : public ComObject<IFilterGraphProvider> {
public:
    // Version 1, Flags 0 only (E_INVALIDARG otherwise). pTable's first 32-bit word is the
    // table's size in bytes; slots that would end beyond it are left alone, so a smaller table
    // gets what fits. E_POINTER for a null table. When the libraries cannot be loaded, the
    // table is left alone and the answer is their load status (HRESULT_FROM_WIN32 of
    // ERROR_MOD_NOT_FOUND or ERROR_PROC_NOT_FOUND): every graph then refuses to build.
    STDMETHODIMP FillApi(LONG Version, LONG Flags, void* pTable) override;
};

}  // namespace corvane::host
