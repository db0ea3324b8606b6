// The one include for the Win32/COM surface. On Windows it is the platform's own headers;
// on Linux it is corvane's stand-in, which keeps Windows' names, layouts and values.
#pragma once

#if defined(_WIN32)
#include <windows.h>
#include <ole2.h>
#include <oleauto.h>
#include "platform/windows/shim.h"
#else
#include "platform/linux/wintypes.h"
#include "platform/linux/kernel.h"
#include "platform/linux/ole.h"
#include "platform/linux/registry.h"
#include "platform/linux/com.h"
#include "platform/linux/module.h"
#include "platform/linux/typelib.h"
#endif

#include "platform/olestring.h"
#include "platform/oletext.h"
