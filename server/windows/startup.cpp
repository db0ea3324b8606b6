// The module's start-up on Windows: the system's loader calls DllMain when the DLL is mapped into
// a process and when it leaves it. A module that could not start refuses to be loaded.
#include "platform/win32.h"
#include "server/module.h"

extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID) {
    switch (reason) {
        case DLL_PROCESS_ATTACH:
            return corvane::StartModule(instance) ? TRUE : FALSE;
        case DLL_PROCESS_DETACH:
            corvane::StopModule();
            return TRUE;
        default:  // thread notifications: nothing to do
            return TRUE;
    }
}
