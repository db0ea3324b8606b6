#include "host/filter_graph_provider.h"

namespace corvane::host {

STDMETHODIMP CFilterGraphProvider::FillApi(LONG, LONG, void* pTable) {
    if (!pTable) return E_POINTER;
    return E_NOTIMPL;
}

}  // namespace corvane::host
