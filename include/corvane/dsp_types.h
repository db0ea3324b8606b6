// The few platform types of the signal-processing primitives, without the COM stand-in: the
// byte type of their buffers and their calling convention. The same definitions as Windows'
// own (BYTE is unsigned char there too), so this header and <windows.h> or platform/win32.h
// may meet in one translation unit.
#pragma once

#include <stdint.h>

typedef uint8_t BYTE;

// Calling convention of the entry points: the platform's standard call on 32-bit Windows.
#if defined(_WIN32) && !defined(_WIN64)
#define DSP_CALL __stdcall
#else
#define DSP_CALL
#endif
