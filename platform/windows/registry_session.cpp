// Registrations as one session on Windows: a named mutex of the logon session, held by one thread
// from Begin to End.
#include "platform/win32.h"

namespace {

thread_local HANDLE t_session = nullptr;

}  // namespace

EXTERN_C LSTATUS CorvaneRegistryBeginTransaction(DWORD timeoutMs) {
    if (t_session != nullptr) return ERROR_INVALID_FUNCTION;
    HANDLE mutex = CreateMutexW(nullptr, FALSE, L"corvane-registration");
    if (mutex == nullptr) return static_cast<LSTATUS>(GetLastError());
    switch (WaitForSingleObject(mutex, timeoutMs)) {
        case WAIT_OBJECT_0:
        case WAIT_ABANDONED:  // a registration that died holding it changed what it changed
            t_session = mutex;
            return ERROR_SUCCESS;
        case WAIT_TIMEOUT:
            CloseHandle(mutex);
            return ERROR_BUSY;
        default: {
            const DWORD error = GetLastError();
            CloseHandle(mutex);
            return static_cast<LSTATUS>(error != 0 ? error : ERROR_INVALID_FUNCTION);
        }
    }
}

EXTERN_C LSTATUS CorvaneRegistryEndTransaction(BOOL) {
    if (t_session == nullptr) return ERROR_INVALID_FUNCTION;
    ReleaseMutex(t_session);
    CloseHandle(t_session);
    t_session = nullptr;
    return ERROR_SUCCESS;
}
