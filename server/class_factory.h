// The class object of an object-map entry: a cached class factory for one effect class.
#pragma once

#include "platform/win32.h"
#include "server/classes.h"

namespace corvane {

// Builds the class object of entry (which must outlive it) and hands back its IUnknown with one
// reference, the one that the object map's cache keeps. While anybody else holds a reference
// (the count is 2 or more) the object holds one module lock. E_OUTOFMEMORY when it cannot be
// allocated.
HRESULT CreateClassObject(const ClassEntry* entry, IUnknown** unknown);

}  // namespace corvane
