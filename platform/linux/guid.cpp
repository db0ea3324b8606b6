// GUID text forms and random GUIDs.
#include "platform/win32.h"

#include <fcntl.h>
#include <sys/random.h>
#include <unistd.h>

#include <cerrno>

namespace {

int HexValue(char16_t c) {
    if (c >= u'0' && c <= u'9') return c - u'0';
    if (c >= u'a' && c <= u'f') return c - u'a' + 10;
    if (c >= u'A' && c <= u'F') return c - u'A' + 10;
    return -1;
}

// Reads `digits` hexadecimal digits at s[*pos]; false on anything else (including the end).
bool ReadHex(const OLECHAR* s, int* pos, int digits, uint32_t* out) {
    uint32_t v = 0;
    for (int i = 0; i < digits; ++i) {
        int d = HexValue(s[*pos]);
        if (d < 0) return false;
        v = (v << 4) | static_cast<uint32_t>(d);
        ++*pos;
    }
    *out = v;
    return true;
}

bool Expect(const OLECHAR* s, int* pos, char16_t c) {
    if (s[*pos] != c) return false;
    ++*pos;
    return true;
}

// Parses the braced form; stops at the first character that does not fit, so a string that
// ends early never reads past its NUL.
bool ParseGuid(const OLECHAR* s, GUID* out) {
    GUID g{};
    int pos = 0;
    uint32_t v;
    if (!Expect(s, &pos, u'{') || !ReadHex(s, &pos, 8, &v)) return false;
    g.Data1 = v;
    if (!Expect(s, &pos, u'-') || !ReadHex(s, &pos, 4, &v)) return false;
    g.Data2 = static_cast<uint16_t>(v);
    if (!Expect(s, &pos, u'-') || !ReadHex(s, &pos, 4, &v)) return false;
    g.Data3 = static_cast<uint16_t>(v);
    if (!Expect(s, &pos, u'-')) return false;
    for (int i = 0; i < 8; ++i) {
        if (i == 2 && !Expect(s, &pos, u'-')) return false;
        if (!ReadHex(s, &pos, 2, &v)) return false;
        g.Data4[i] = static_cast<uint8_t>(v);
    }
    if (!Expect(s, &pos, u'}') || s[pos] != u'\0') return false;
    *out = g;
    return true;
}

HRESULT GuidToTaskString(REFGUID g, LPOLESTR* out) {
    if (!out) return E_INVALIDARG;
    *out = static_cast<LPOLESTR>(CoTaskMemAlloc(CORVANE_GUID_STRING_CHARS * sizeof(OLECHAR)));
    if (!*out) return E_OUTOFMEMORY;
    StringFromGUID2(g, *out, CORVANE_GUID_STRING_CHARS);
    return S_OK;
}

bool ReadUrandom(void* buf, size_t n) {
    int fd = open("/dev/urandom", O_RDONLY | O_CLOEXEC);
    if (fd < 0) return false;
    auto* p = static_cast<unsigned char*>(buf);
    while (n > 0) {
        ssize_t r = read(fd, p, n);
        if (r < 0 && errno == EINTR) continue;
        if (r <= 0) break;
        p += r;
        n -= static_cast<size_t>(r);
    }
    close(fd);
    return n == 0;
}

bool RandomBytes(void* buf, size_t n) {
    auto* p = static_cast<unsigned char*>(buf);
    size_t got = 0;
    while (got < n) {
        ssize_t r = getrandom(p + got, n - got, 0);
        if (r < 0 && errno == EINTR) continue;
        if (r <= 0) return ReadUrandom(buf, n);
        got += static_cast<size_t>(r);
    }
    return true;
}

}  // namespace

int StringFromGUID2(REFGUID rguid, LPOLESTR lpsz, int cchMax) {
    if (!lpsz || cchMax < CORVANE_GUID_STRING_CHARS) return 0;
    static const char16_t kDigits[] = u"0123456789ABCDEF";
    int pos = 0;
    auto put = [&](uint32_t v, int digits) {
        for (int i = digits - 1; i >= 0; --i) lpsz[pos++] = kDigits[(v >> (4 * i)) & 15];
    };
    lpsz[pos++] = u'{';
    put(rguid.Data1, 8);
    lpsz[pos++] = u'-';
    put(rguid.Data2, 4);
    lpsz[pos++] = u'-';
    put(rguid.Data3, 4);
    lpsz[pos++] = u'-';
    for (int i = 0; i < 8; ++i) {
        if (i == 2) lpsz[pos++] = u'-';
        put(rguid.Data4[i], 2);
    }
    lpsz[pos++] = u'}';
    lpsz[pos++] = u'\0';
    return pos;
}

HRESULT StringFromCLSID(REFCLSID rclsid, LPOLESTR* lplpsz) {
    return GuidToTaskString(rclsid, lplpsz);
}

HRESULT StringFromIID(REFIID rclsid, LPOLESTR* lplpsz) {
    return GuidToTaskString(rclsid, lplpsz);
}

HRESULT CLSIDFromString(LPCOLESTR lpsz, LPCLSID pclsid) {
    if (!pclsid) return E_INVALIDARG;
    if (!lpsz) {
        *pclsid = CLSID_NULL;
        return S_OK;
    }
    return ParseGuid(lpsz, pclsid) ? S_OK : CO_E_CLASSSTRING;
}

HRESULT IIDFromString(LPCOLESTR lpsz, LPIID lpiid) {
    if (!lpiid) return E_INVALIDARG;
    if (!lpsz) {
        *lpiid = IID_NULL;
        return S_OK;
    }
    return ParseGuid(lpsz, lpiid) ? S_OK : E_INVALIDARG;
}

HRESULT CoCreateGuid(GUID* pguid) {
    if (!pguid) return E_INVALIDARG;
    unsigned char bytes[16];
    if (!RandomBytes(bytes, sizeof bytes)) return E_FAIL;
    GUID g;
    std::memcpy(&g, bytes, sizeof g);
    g.Data3 = static_cast<uint16_t>((g.Data3 & 0x0FFF) | 0x4000);   // version 4: random
    g.Data4[0] = static_cast<uint8_t>((g.Data4[0] & 0x3F) | 0x80);  // RFC 4122 variant
    *pguid = g;
    return S_OK;
}
