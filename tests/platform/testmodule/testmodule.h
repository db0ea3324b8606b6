// The small in-process server that the activation tests load with dlopen: one class whose
// objects can be aggregated, and a count of live objects.
#pragma once

#include "platform/win32.h"

CORVANE_DEFINE_GUID(CLSID_TestModuleObject, 0x5A1C3E07, 0x41D2, 0x4B8E, 0x9C, 0x3D, 0x70, 0x12,
                    0xE4, 0x6B, 0x88, 0x21);
CORVANE_DEFINE_GUID(IID_ITestModuleObject, 0x5A1C3E08, 0x41D2, 0x4B8E, 0x9C, 0x3D, 0x70, 0x12, 0xE4,
                    0x6B, 0x88, 0x21);

// What Magic() answers, so that a test can tell the module's object from any other.
constexpr ULONG kTestModuleMagic = 0xC0FFEE17;

struct ITestModuleObject : public IUnknown {
    STDMETHOD_(ULONG, Magic)() PURE;
    // The controlling unknown: the outer object when aggregated, else the object itself.
    STDMETHOD_(IUnknown*, Controller)() PURE;
};

// Exported by the module besides DllGetClassObject: objects alive now.
typedef LONG (*TestModuleLiveObjectsFn)();
