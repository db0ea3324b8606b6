// The type library in the form the Linux platform layer carries it: the text that its
// LoadTypeLibEx reads from a module's TYPELIB resource (grammar in platform/linux/typelib.h),
// expanded from the one GUID list and the method lists of corvane.h. A module carries it as
// {OLESTR("TYPELIB"), MAKEINTRESOURCEW(1), kTypeLibrarySource, sizeof kTypeLibrarySource - 1}.
#pragma once

#include "corvane/corvane.h"

namespace corvane {

#define CORVANE_TL_METHOD(name, params, args) "method " #name "\n"
#define CORVANE_TL_LIBRARY(name, guid, major, minor)          \
    "library " #name " {" guid "} version " #major "." #minor \
    " lcid 0 syskind win32 help \"\"\n"                       \
    "importlib stdole2.tlb 2.0\n"
#define CORVANE_TL_COCLASS(name, guid, itf, script, description)           \
    "coclass " #name " {" guid                                             \
    "} flags cancreate help \"\" impl IMediaSource impl IMediaBaseFilter " \
    "default " #itf "\n"
#define CORVANE_TL_INTERFACE(name, guid, help, methods)                    \
    "interface " #name " {" guid "} base IUnknown flags none help \"" help \
    "\"\n" methods(CORVANE_TL_METHOD)
inline constexpr char kTypeLibrarySource[] =
    CORVANE_GUIDS(CORVANE_TL_LIBRARY, CORVANE_GUID_IGNORE, CORVANE_TL_COCLASS, CORVANE_TL_INTERFACE,
                  CORVANE_GUID_IGNORE, CORVANE_GUID_IGNORE);
#undef CORVANE_TL_METHOD
#undef CORVANE_TL_LIBRARY
#undef CORVANE_TL_COCLASS
#undef CORVANE_TL_INTERFACE

}  // namespace corvane
