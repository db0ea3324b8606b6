// UTF-16 <-> UTF-8 conversion and wide-string functions.
#include "platform/linux/text.h"

#include <new>

#include "platform/win32.h"

namespace corvane::text {
namespace {

constexpr char32_t kReplacement = 0xFFFD;

bool IsHighSurrogate(char32_t c) {
    return c >= 0xD800 && c <= 0xDBFF;
}
bool IsLowSurrogate(char32_t c) {
    return c >= 0xDC00 && c <= 0xDFFF;
}

// Decodes one code point from UTF-16 at s[i]; advances i. Sets *bad on an unpaired surrogate.
char32_t DecodeUtf16(std::u16string_view s, size_t& i, bool* bad) {
    char32_t c = s[i++];
    if (IsHighSurrogate(c)) {
        if (i < s.size() && IsLowSurrogate(s[i])) {
            char32_t lo = s[i++];
            return 0x10000 + ((c - 0xD800) << 10) + (lo - 0xDC00);
        }
        *bad = true;
        return kReplacement;
    }
    if (IsLowSurrogate(c)) {
        *bad = true;
        return kReplacement;
    }
    return c;
}

// Decodes one code point from UTF-8 at s[i]; advances i past the maximal subpart it consumed.
// Rejects overlong forms, surrogates and values above U+10FFFF (*bad is set, U+FFFD returned).
char32_t DecodeUtf8(std::string_view s, size_t& i, bool* bad) {
    const auto byte = [&](size_t k) { return static_cast<unsigned char>(s[k]); };
    unsigned char b0 = byte(i++);
    if (b0 < 0x80) return b0;
    int extra;
    char32_t c;
    unsigned char lo = 0x80, hi = 0xBF;  // allowed range of the second byte
    if (b0 >= 0xC2 && b0 <= 0xDF) {
        extra = 1;
        c = b0 & 0x1F;
    } else if (b0 >= 0xE0 && b0 <= 0xEF) {
        extra = 2;
        c = b0 & 0x0F;
        if (b0 == 0xE0) lo = 0xA0;  // overlong
        if (b0 == 0xED) hi = 0x9F;  // surrogates
    } else if (b0 >= 0xF0 && b0 <= 0xF4) {
        extra = 3;
        c = b0 & 0x07;
        if (b0 == 0xF0) lo = 0x90;  // overlong
        if (b0 == 0xF4) hi = 0x8F;  // above U+10FFFF
    } else {
        *bad = true;
        return kReplacement;
    }
    for (int k = 0; k < extra; ++k) {
        if (i >= s.size()) {
            *bad = true;
            return kReplacement;
        }
        unsigned char b = byte(i);
        unsigned char min = k == 0 ? lo : 0x80, max = k == 0 ? hi : 0xBF;
        if (b < min || b > max) {
            *bad = true;  // the offending byte starts the next sequence
            return kReplacement;
        }
        c = (c << 6) | (b & 0x3F);
        ++i;
    }
    return c;
}

void AppendUtf8(std::string& out, char32_t c) {
    if (c < 0x80) {
        out.push_back(static_cast<char>(c));
    } else if (c < 0x800) {
        out.push_back(static_cast<char>(0xC0 | (c >> 6)));
        out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
    } else if (c < 0x10000) {
        out.push_back(static_cast<char>(0xE0 | (c >> 12)));
        out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
    } else {
        out.push_back(static_cast<char>(0xF0 | (c >> 18)));
        out.push_back(static_cast<char>(0x80 | ((c >> 12) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
    }
}

void AppendUtf16(std::u16string& out, char32_t c) {
    if (c < 0x10000) {
        out.push_back(static_cast<char16_t>(c));
    } else {
        c -= 0x10000;
        out.push_back(static_cast<char16_t>(0xD800 + (c >> 10)));
        out.push_back(static_cast<char16_t>(0xDC00 + (c & 0x3FF)));
    }
}

// Both return whether the input was well-formed; the output is complete either way.
bool Convert(std::u16string_view s, std::string& out) {
    bool bad = false;
    out.clear();
    out.reserve(s.size());
    for (size_t i = 0; i < s.size();) AppendUtf8(out, DecodeUtf16(s, i, &bad));
    return !bad;
}

bool Convert(std::string_view s, std::u16string& out) {
    bool bad = false;
    out.clear();
    out.reserve(s.size());
    for (size_t i = 0; i < s.size();) AppendUtf16(out, DecodeUtf8(s, i, &bad));
    return !bad;
}

// Lower-case letters whose capital sits one code unit below: the alternating pairs of
// Latin Extended-A/B, Cyrillic and Latin Extended Additional. first is the first capital.
struct PairRange {
    char16_t first, last;
};
constexpr PairRange kEvenCapitalPairs[] = {
    {0x0100, 0x012F}, {0x0132, 0x0137}, {0x014A, 0x0177}, {0x0460, 0x0481},
    {0x048A, 0x04BF}, {0x04D0, 0x04FF}, {0x1E00, 0x1E95}, {0x1EA0, 0x1EFF},
};
constexpr PairRange kOddCapitalPairs[] = {
    {0x0139, 0x0148},
    {0x0179, 0x017E},
    {0x04C1, 0x04CE},
};

}  // namespace

size_t Length(const char16_t* s) noexcept {
    if (!s) return 0;
    size_t n = 0;
    while (s[n]) ++n;
    return n;
}

std::string ToUtf8(std::u16string_view s) {
    std::string out;
    Convert(s, out);
    return out;
}

std::string ToUtf8(const char16_t* s) {
    return ToUtf8(std::u16string_view(s ? s : u"", Length(s)));
}

std::u16string ToUtf16(std::string_view s) {
    std::u16string out;
    Convert(s, out);
    return out;
}

std::u16string ToUtf16(const char* s) {
    return ToUtf16(std::string_view(s ? s : ""));
}

bool TryToUtf8(std::u16string_view s, std::string* out) {
    if (Convert(s, *out)) return true;
    out->clear();
    return false;
}

bool TryToUtf16(std::string_view s, std::u16string* out) {
    if (Convert(s, *out)) return true;
    out->clear();
    return false;
}

char16_t UpcaseUnit(char16_t c) noexcept {
    if (c < 0x80) return (c >= u'a' && c <= u'z') ? static_cast<char16_t>(c - 0x20) : c;
    if (c <= 0xFF) {
        if (c >= 0xE0 && c <= 0xFE && c != 0xF7) return static_cast<char16_t>(c - 0x20);
        if (c == 0xFF) return 0x0178;
        if (c == 0xB5) return 0x039C;
        return c;
    }
    for (const PairRange& r : kEvenCapitalPairs) {
        if (c > r.first && c <= r.last && ((c - r.first) & 1)) return static_cast<char16_t>(c - 1);
    }
    for (const PairRange& r : kOddCapitalPairs) {
        if (c > r.first && c <= r.last && ((c - r.first) & 1)) return static_cast<char16_t>(c - 1);
    }
    // Greek.
    if (c >= 0x03B1 && c <= 0x03CB) return c == 0x03C2 ? 0x03A3 : static_cast<char16_t>(c - 0x20);
    if (c == 0x03AC) return 0x0386;
    if (c >= 0x03AD && c <= 0x03AF) return static_cast<char16_t>(c - 0x25);
    if (c == 0x03CC) return 0x038C;
    if (c == 0x03CD || c == 0x03CE) return static_cast<char16_t>(c - 0x3F);
    // Cyrillic.
    if (c >= 0x0430 && c <= 0x044F) return static_cast<char16_t>(c - 0x20);
    if (c >= 0x0450 && c <= 0x045F) return static_cast<char16_t>(c - 0x50);
    if (c == 0x04CF) return 0x04C0;
    // Armenian.
    if (c >= 0x0561 && c <= 0x0586) return static_cast<char16_t>(c - 0x30);
    // Full-width Latin.
    if (c >= 0xFF41 && c <= 0xFF5A) return static_cast<char16_t>(c - 0x20);
    return c;
}

int CompareNoCase(std::u16string_view a, std::u16string_view b) noexcept {
    size_t n = a.size() < b.size() ? a.size() : b.size();
    for (size_t i = 0; i < n; ++i) {
        char16_t x = UpcaseUnit(a[i]), y = UpcaseUnit(b[i]);
        if (x != y) return x < y ? -1 : 1;
    }
    if (a.size() == b.size()) return 0;
    return a.size() < b.size() ? -1 : 1;
}

std::u16string Upcase(std::u16string_view s) {
    std::u16string out(s);
    for (char16_t& c : out) c = UpcaseUnit(c);
    return out;
}

}  // namespace corvane::text

using corvane::text::Length;

int lstrlenW(LPCWSTR s) {
    size_t n = Length(s);
    return n > 0x7FFFFFFF ? 0x7FFFFFFF : static_cast<int>(n);
}

int lstrcmpW(LPCWSTR a, LPCWSTR b) {
    if (!a || !b) return (a ? 1 : 0) - (b ? 1 : 0);
    for (;; ++a, ++b) {
        if (*a != *b) return *a < *b ? -1 : 1;
        if (!*a) return 0;
    }
}

int lstrcmpiW(LPCWSTR a, LPCWSTR b) {
    if (!a || !b) return (a ? 1 : 0) - (b ? 1 : 0);
    return corvane::text::CompareNoCase(std::u16string_view(a, Length(a)),
                                        std::u16string_view(b, Length(b)));
}

int CompareStringOrdinal(LPCWSTR s1, int c1, LPCWSTR s2, int c2, BOOL bIgnoreCase) {
    if (!s1 || !s2 || c1 < -1 || c2 < -1) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    const std::u16string_view a(s1, c1 == -1 ? Length(s1) : static_cast<size_t>(c1));
    const std::u16string_view b(s2, c2 == -1 ? Length(s2) : static_cast<size_t>(c2));
    const int order = bIgnoreCase ? corvane::text::CompareNoCase(a, b) : a.compare(b);
    return order < 0 ? CSTR_LESS_THAN : order == 0 ? CSTR_EQUAL : CSTR_GREATER_THAN;
}

DWORD CharUpperBuffW(LPWSTR s, DWORD n) {
    if (!s) return 0;
    for (DWORD i = 0; i < n; ++i) s[i] = corvane::text::UpcaseUnit(s[i]);
    return n;
}

LPWSTR lstrcpynW(LPWSTR dst, LPCWSTR src, int n) {
    if (!dst || !src || n <= 0) return nullptr;
    int i = 0;
    for (; i < n - 1 && src[i]; ++i) dst[i] = src[i];
    dst[i] = 0;
    return dst;
}

namespace {

bool KnownCodePage(UINT cp) {
    return cp == CP_ACP || cp == CP_OEMCP || cp == CP_UTF8;
}

// Converts source and copies the result into a caller buffer the Windows way: the count, or 0
// with the last error set. strict: ill-formed input fails instead of becoming U+FFFD.
template <typename Out, typename In, typename Ch>
int ConvertInto(In source, bool strict, Ch* dst, int dstLen) {
    Out converted;
    try {
        if (!corvane::text::Convert(source, converted) && strict) {
            SetLastError(ERROR_NO_UNICODE_TRANSLATION);
            return 0;
        }
    } catch (const std::bad_alloc&) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return 0;
    }
    if (converted.size() > 0x7FFFFFFF) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    int need = static_cast<int>(converted.size());
    if (dstLen == 0) return need;
    if (dstLen < need) {
        std::memcpy(dst, converted.data(), static_cast<size_t>(dstLen) * sizeof(Ch));
        SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return 0;
    }
    std::memcpy(dst, converted.data(), static_cast<size_t>(need) * sizeof(Ch));
    return need;
}

// The argument checks both directions share.
bool BadConversionArguments(UINT codePage, const void* src, int srcLen, const void* dst,
                            int dstLen) {
    return !KnownCodePage(codePage) || !src || srcLen == 0 || srcLen < -1 || dstLen < 0 ||
           (dstLen > 0 && !dst);
}

}  // namespace

int MultiByteToWideChar(UINT codePage, DWORD flags, LPCSTR src, int srcLen, LPWSTR dst,
                        int dstLen) {
    if (BadConversionArguments(codePage, src, srcLen, dst, dstLen) ||
        (flags & ~static_cast<DWORD>(MB_ERR_INVALID_CHARS))) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    size_t n = srcLen == -1 ? std::strlen(src) + 1 : static_cast<size_t>(srcLen);
    return ConvertInto<std::u16string>(std::string_view(src, n), flags & MB_ERR_INVALID_CHARS, dst,
                                       dstLen);
}

int WideCharToMultiByte(UINT codePage, DWORD flags, LPCWSTR src, int srcLen, LPSTR dst, int dstLen,
                        LPCSTR defaultChar, BOOL* usedDefaultChar) {
    // For UTF-8 Windows demands that the default-character arguments are NULL.
    if (BadConversionArguments(codePage, src, srcLen, dst, dstLen) || defaultChar ||
        usedDefaultChar || (flags & ~static_cast<DWORD>(WC_ERR_INVALID_CHARS))) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    size_t n = srcLen == -1 ? Length(src) + 1 : static_cast<size_t>(srcLen);
    return ConvertInto<std::string>(std::u16string_view(src, n), flags & WC_ERR_INVALID_CHARS, dst,
                                    dstLen);
}
