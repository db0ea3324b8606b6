// The host's filter-graph provider. Until the graph effects arrive it supplies no entry points:
// FillApi answers E_NOTIMPL and leaves the table as it was.
#pragma once

#include "platform/win32.h"
#include "corvane/corvane.h"
#include "host/com_object.h"

namespace corvane::host {

class CFilterGraphProvider : public ComObject<IFilterGraphProvider> {
public:
    STDMETHODIMP FillApi(LONG Version, LONG Flags, void* pTable) override;
};

}  // namespace corvane::host
