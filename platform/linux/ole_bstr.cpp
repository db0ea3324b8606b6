// BSTR allocation. Layout of a block: 4 bytes of padding (so that the text is 8-byte
// aligned), the 32-bit byte length, the text, a 16-bit NUL.
#include <cstdlib>

#include "platform/win32.h"

namespace {

constexpr size_t kHeader = 8;
constexpr UINT kMaxBytes = 0xFFFFFFFFu - 16;

// A block for bytes bytes of text, all zero; nullptr when the size is out of range or memory
// runs out.
BSTR AllocateBytes(UINT bytes) {
    if (bytes > kMaxBytes) return nullptr;
    auto* base = static_cast<BYTE*>(std::calloc(1, kHeader + size_t{bytes} + sizeof(OLECHAR) + 1));
    if (!base) return nullptr;
    DWORD length = bytes;
    std::memcpy(base + kHeader - sizeof(DWORD), &length, sizeof(DWORD));
    return reinterpret_cast<BSTR>(base + kHeader);
}

BYTE* BlockOf(BSTR s) {
    return reinterpret_cast<BYTE*>(s) - kHeader;
}

// Replaces *bstr by fresh, keeping the old one when fresh could not be made.
INT Replace(BSTR* bstr, BSTR fresh) {
    if (!fresh) return FALSE;
    SysFreeString(*bstr);
    *bstr = fresh;
    return TRUE;
}

}  // namespace

BSTR SysAllocString(const OLECHAR* s) {
    if (!s) return nullptr;
    size_t len = corvane::text::Length(s);
    return len > kMaxBytes / sizeof(OLECHAR) ? nullptr
                                             : SysAllocStringLen(s, static_cast<UINT>(len));
}

BSTR SysAllocStringLen(const OLECHAR* s, UINT len) {
    if (len > kMaxBytes / sizeof(OLECHAR)) return nullptr;
    BSTR out = AllocateBytes(len * static_cast<UINT>(sizeof(OLECHAR)));
    if (out && s) std::memcpy(out, s, size_t{len} * sizeof(OLECHAR));
    return out;
}

BSTR SysAllocStringByteLen(LPCSTR s, UINT len) {
    BSTR out = AllocateBytes(len);
    if (out && s) std::memcpy(out, s, len);
    return out;
}

INT SysReAllocString(BSTR* bstr, const OLECHAR* s) {
    if (!bstr) return FALSE;
    if (!s) {
        SysFreeString(*bstr);
        *bstr = nullptr;
        return TRUE;
    }
    return Replace(bstr, SysAllocString(s));
}

INT SysReAllocStringLen(BSTR* bstr, const OLECHAR* s, UINT len) {
    if (!bstr) return FALSE;
    if (s) return Replace(bstr, SysAllocStringLen(s, len));
    // No source: keep what fits of the old text, zero the rest.
    BSTR fresh = SysAllocStringLen(nullptr, len);
    if (fresh && *bstr) {
        UINT keep = SysStringLen(*bstr) < len ? SysStringLen(*bstr) : len;
        std::memcpy(fresh, *bstr, size_t{keep} * sizeof(OLECHAR));
    }
    return Replace(bstr, fresh);
}

void SysFreeString(BSTR s) {
    if (s) std::free(BlockOf(s));
}

UINT SysStringByteLen(BSTR s) {
    if (!s) return 0;
    DWORD length;
    std::memcpy(&length, reinterpret_cast<BYTE*>(s) - sizeof(DWORD), sizeof(DWORD));
    return length;
}

UINT SysStringLen(BSTR s) {
    return SysStringByteLen(s) / sizeof(OLECHAR);
}
