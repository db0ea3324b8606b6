// Text operations of portable code over OLECHAR strings: case-insensitive comparison and upper
// case as the registry and COM compare names, UTF-8 conversion, and a GUID's registry form. They
// are built only on functions that Windows has under the same names (CompareStringOrdinal,
// CharUpperBuffW, MultiByteToWideChar, WideCharToMultiByte, StringFromGUID2), so the same lines
// run over the platform layer on Linux and over the system on Windows.
#pragma once

#include <algorithm>
#include <new>
#include <string>
#include <string_view>

#include "platform/olestring.h"

namespace corvane {

// The system functions count in int or DWORD; longer strings go through in pieces of this size.
constexpr size_t kOleTextPiece = 0x40000000;

// Equal when both upper-case to the same code units (ordinal, no length-changing mappings).
inline bool EqualIgnoringCase(OleStringView a, OleStringView b) noexcept {
    if (a.size() != b.size()) return false;
    for (size_t at = 0; at < a.size(); at += kOleTextPiece) {
        const int n = static_cast<int>(std::min(a.size() - at, kOleTextPiece));
        if (CompareStringOrdinal(a.data() + at, n, b.data() + at, n, TRUE) != CSTR_EQUAL)
            return false;
    }
    return true;
}

// An upper-cased copy, code unit by code unit: a key under which names that differ only in case
// meet.
inline OleString UpperCased(OleStringView s) {
    OleString out(s);
    for (size_t at = 0; at < out.size(); at += kOleTextPiece)
        CharUpperBuffW(&out[at], static_cast<DWORD>(std::min(out.size() - at, kOleTextPiece)));
    return out;
}

namespace oletext_detail {

// One conversion through the system, sized first; flags as the system function takes them.
inline bool ToOle(std::string_view in, OleString* out, DWORD flags) {
    out->clear();
    if (in.empty()) return true;
    if (in.size() > kOleTextPiece) return false;
    const int n = static_cast<int>(in.size());
    const int need = MultiByteToWideChar(CP_UTF8, flags, in.data(), n, nullptr, 0);
    if (need <= 0) return false;
    out->resize(static_cast<size_t>(need));
    if (MultiByteToWideChar(CP_UTF8, flags, in.data(), n, &(*out)[0], need) == need) return true;
    out->clear();
    return false;
}

inline bool ToUtf8(OleStringView in, std::string* out, DWORD flags) {
    out->clear();
    if (in.empty()) return true;
    if (in.size() > kOleTextPiece) return false;
    const int n = static_cast<int>(in.size());
    const int need =
        WideCharToMultiByte(CP_UTF8, flags, in.data(), n, nullptr, 0, nullptr, nullptr);
    if (need <= 0) return false;
    out->resize(static_cast<size_t>(need));
    if (WideCharToMultiByte(CP_UTF8, flags, in.data(), n, &(*out)[0], need, nullptr, nullptr) ==
        need)
        return true;
    out->clear();
    return false;
}

}  // namespace oletext_detail

// UTF-8 to UTF-16 and back, embedded NULs kept. The Try forms are strict, for names that must
// round-trip (paths, registry names): false, and *out empty, for ill-formed input.
inline bool TryUtf8ToOle(std::string_view in, OleString* out) {
    return oletext_detail::ToOle(in, out, MB_ERR_INVALID_CHARS);
}

inline bool TryOleToUtf8(OleStringView in, std::string* out) {
    return oletext_detail::ToUtf8(in, out, WC_ERR_INVALID_CHARS);
}

// Lenient: each ill-formed sequence becomes U+FFFD. These fail only for want of memory (or for a
// string past the sizes the system functions count), with std::bad_alloc.
inline OleString Utf8ToOle(std::string_view in) {
    OleString out;
    if (!oletext_detail::ToOle(in, &out, 0)) throw std::bad_alloc();
    return out;
}

inline std::string OleToUtf8(OleStringView in) {
    std::string out;
    if (!oletext_detail::ToUtf8(in, &out, 0)) throw std::bad_alloc();
    return out;
}

// Code units of a GUID's registry form, "{XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}", with the NUL.
constexpr int kGuidTextChars = 39;

// The registry form of guid.
inline OleString GuidText(REFGUID guid) {
    OLECHAR text[kGuidTextChars] = {};
    return StringFromGUID2(guid, text, kGuidTextChars) > 0 ? OleString(text) : OleString();
}

}  // namespace corvane
