// Text helpers of the platform layer: UTF-16 <-> UTF-8 conversion and the wide-string
// functions of kernel32 that portable code calls. Wide strings are UTF-16 (char16_t); narrow
// strings on Linux are UTF-8.
#pragma once

#include <string>
#include <string_view>

#include "platform/linux/wintypes.h"

// Code pages understood by the conversion functions. CP_ACP and CP_OEMCP mean UTF-8 here, the
// narrow encoding of a Linux process.
#define CP_ACP 0
#define CP_OEMCP 1
#define CP_UTF8 65001
#define MB_ERR_INVALID_CHARS 0x00000008
#define WC_ERR_INVALID_CHARS 0x00000080

// Length in code units of a NUL-terminated wide string; 0 for NULL.
CORVANE_PLATFORM_API int lstrlenW(LPCWSTR s);

// Ordinal comparison by code unit: <0, 0, >0. NULL sorts before every string (and equals NULL).
CORVANE_PLATFORM_API int lstrcmpW(LPCWSTR a, LPCWSTR b);

// Case-insensitive comparison: both sides are upper-cased code unit by code unit (see
// corvane::text::UpcaseUnit), then compared ordinally. NULL as in lstrcmpW.
CORVANE_PLATFORM_API int lstrcmpiW(LPCWSTR a, LPCWSTR b);

// Results of CompareStringOrdinal; 0 means the call failed.
#define CSTR_LESS_THAN 1
#define CSTR_EQUAL 2
#define CSTR_GREATER_THAN 3

// Ordinal comparison of two strings of c1 and c2 code units (-1: NUL-terminated), code unit by
// code unit, or with bIgnoreCase both upper-cased first as lstrcmpiW does. A proper prefix sorts
// first. 0 with ERROR_INVALID_PARAMETER for a NULL string or a count below -1.
CORVANE_PLATFORM_API int CompareStringOrdinal(LPCWSTR s1, int c1, LPCWSTR s2, int c2,
                                              BOOL bIgnoreCase);

// Upper-cases the first n code units of s in place (NULs included, as on Windows), by the mapping
// lstrcmpiW compares with. Returns n, or 0 when s is NULL.
CORVANE_PLATFORM_API DWORD CharUpperBuffW(LPWSTR s, DWORD n);

// Copies at most n-1 code units of src and always terminates dst (n >= 1). Returns dst, or NULL
// when dst or src is NULL or n <= 0.
CORVANE_PLATFORM_API LPWSTR lstrcpynW(LPWSTR dst, LPCWSTR src, int n);

// Windows' conversion entry points, for UTF-8 only (CP_ACP, CP_OEMCP and CP_UTF8 all mean
// UTF-8). srcLen -1 means NUL-terminated and then the count includes the terminator. With
// dstLen 0 the required size is returned and dst is not touched. Returns 0 on failure and sets
// the thread's last error: ERROR_INVALID_PARAMETER (bad pointers, lengths or code page),
// ERROR_INSUFFICIENT_BUFFER (dst too small; dst may hold a partial result),
// ERROR_NO_UNICODE_TRANSLATION (ill-formed input together with the *_ERR_INVALID_CHARS flag).
// Without that flag ill-formed input becomes U+FFFD.
CORVANE_PLATFORM_API int MultiByteToWideChar(UINT codePage, DWORD flags, LPCSTR src, int srcLen,
                                             LPWSTR dst, int dstLen);
CORVANE_PLATFORM_API int WideCharToMultiByte(UINT codePage, DWORD flags, LPCWSTR src, int srcLen,
                                             LPSTR dst, int dstLen, LPCSTR defaultChar,
                                             BOOL* usedDefaultChar);

#ifndef ERROR_NO_UNICODE_TRANSLATION
#define ERROR_NO_UNICODE_TRANSLATION 1113L
#endif

namespace corvane::text {

// Length in code units of a NUL-terminated wide string; 0 for nullptr.
CORVANE_PLATFORM_API size_t Length(const char16_t* s) noexcept;

// Lenient conversions: ill-formed sequences (unpaired surrogates, bad UTF-8 bytes, overlong or
// out-of-range encodings) become U+FFFD, one per maximal bad subpart. Embedded NULs are kept.
// nullptr gives an empty result.
CORVANE_PLATFORM_API std::string ToUtf8(std::u16string_view s);
CORVANE_PLATFORM_API std::string ToUtf8(const char16_t* s);
CORVANE_PLATFORM_API std::u16string ToUtf16(std::string_view s);
CORVANE_PLATFORM_API std::u16string ToUtf16(const char* s);

// Strict conversions for names that must round-trip (file paths, registry names): return false
// and leave *out empty on ill-formed input. out must not be nullptr.
CORVANE_PLATFORM_API bool TryToUtf8(std::u16string_view s, std::string* out);
CORVANE_PLATFORM_API bool TryToUtf16(std::string_view s, std::u16string* out);

// Upper case of one UTF-16 code unit, the simple one-to-one mapping: ASCII, Latin-1, Latin
// Extended-A, Latin Extended Additional, Greek, Cyrillic, Armenian and the full-width Latin
// forms. Other code units (and surrogates) map to themselves. Mappings that would change the
// length or leave the plane (e.g. U+00DF) are not applied.
CORVANE_PLATFORM_API char16_t UpcaseUnit(char16_t c) noexcept;

// Case-insensitive ordinal comparison by UpcaseUnit: <0, 0, >0. A proper prefix sorts first.
CORVANE_PLATFORM_API int CompareNoCase(std::u16string_view a, std::u16string_view b) noexcept;
inline bool EqualNoCase(std::u16string_view a, std::u16string_view b) noexcept {
    return a.size() == b.size() && CompareNoCase(a, b) == 0;
}

// Upper-cased copy (UpcaseUnit per code unit); useful as a case-insensitive map key.
CORVANE_PLATFORM_API std::u16string Upcase(std::u16string_view s);

}  // namespace corvane::text
