#include "host/com_object.h"

namespace corvane::host {

namespace {
LONG volatile g_live = 0;
}  // namespace

LONG LiveObjectCount() {
    return __atomic_load_n(&g_live, __ATOMIC_SEQ_CST);
}

namespace detail {
void CountObjectCreated() {
    InterlockedIncrement(&g_live);
}
void CountObjectDestroyed() {
    InterlockedDecrement(&g_live);
}
}  // namespace detail

}  // namespace corvane::host
