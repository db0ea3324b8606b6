// GUID text forms (against a printf-based reference) and random GUIDs.
#include "platform/win32.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <set>
#include <string>
#include <tuple>

#include "platform/linux/text.h"

namespace {

using corvane::OleString;

// The braced upper-case form, built independently of the code under test.
OleString Reference(const GUID& g) {
    char buf[64];
    std::snprintf(buf, sizeof buf, "{%08X-%04X-%04X-%02X%02X-%02X%02X%02X%02X%02X%02X}",
                  static_cast<unsigned>(g.Data1), g.Data2, g.Data3, g.Data4[0], g.Data4[1],
                  g.Data4[2], g.Data4[3], g.Data4[4], g.Data4[5], g.Data4[6], g.Data4[7]);
    return corvane::text::ToUtf16(buf);
}

OleString Lower(OleString s) {
    for (auto& c : s) {
        if (c >= OLESTR('A') && c <= OLESTR('F'))
            c = static_cast<OLECHAR>(c - OLESTR('A') + OLESTR('a'));
    }
    return s;
}

const GUID kSample = {0x01234567, 0x89AB, 0xCDEF, {0x01, 0x23, 0x45, 0x67, 0x89, 0xAB, 0xCD, 0xEF}};

TEST(GuidString, KnownGuidsFormatInBracesAndUpperCase) {
    struct Case {
        GUID guid;
        const OLECHAR* text;
    } cases[] = {
        {IID_IUnknown, OLESTR("{00000000-0000-0000-C000-000000000046}")},
        {IID_IClassFactory, OLESTR("{00000001-0000-0000-C000-000000000046}")},
        {GUID_NULL, OLESTR("{00000000-0000-0000-0000-000000000000}")},
        {kSample, OLESTR("{01234567-89AB-CDEF-0123-456789ABCDEF}")},
        {{0xFFFFFFFF, 0xFFFF, 0xFFFF, {0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF}},
         OLESTR("{FFFFFFFF-FFFF-FFFF-FFFF-FFFFFFFFFFFF}")},
    };
    for (const auto& c : cases) {
        OLECHAR buf[64];
        EXPECT_EQ(39, StringFromGUID2(c.guid, buf, 64));
        EXPECT_EQ(OleString(c.text), buf);
        EXPECT_EQ(Reference(c.guid), buf);
        EXPECT_EQ(corvane::GuidText(c.guid), c.text);
    }
}

TEST(GuidString, StringFromGuid2NeedsRoomForTheNul) {
    OLECHAR buf[40];
    std::fill(std::begin(buf), std::end(buf), OLESTR('#'));
    EXPECT_EQ(0, StringFromGUID2(kSample, buf, 38));
    EXPECT_EQ(OLESTR('#'), buf[0]) << "nothing written when the buffer is too small";
    EXPECT_EQ(0, StringFromGUID2(kSample, nullptr, 39));
    EXPECT_EQ(0, StringFromGUID2(kSample, buf, -1));
    EXPECT_EQ(39, StringFromGUID2(kSample, buf, 39));
    EXPECT_EQ(OLESTR('\0'), buf[38]);
    EXPECT_EQ(OLESTR('#'), buf[39]);
}

TEST(GuidString, TaskMemoryStringsMatchStringFromGuid2) {
    LPOLESTR clsid = nullptr, iid = nullptr;
    ASSERT_EQ(S_OK, StringFromCLSID(kSample, &clsid));
    ASSERT_EQ(S_OK, StringFromIID(IID_IClassFactory, &iid));
    EXPECT_EQ(Reference(kSample), clsid);
    EXPECT_EQ(Reference(IID_IClassFactory), iid);
    CoTaskMemFree(clsid);
    CoTaskMemFree(iid);
    EXPECT_EQ(E_INVALIDARG, StringFromCLSID(kSample, nullptr));
    EXPECT_EQ(E_INVALIDARG, StringFromIID(kSample, nullptr));
}

TEST(GuidString, RandomGuidsRoundTripInEitherCase) {
    for (int i = 0; i < 200; ++i) {
        GUID g;
        ASSERT_EQ(S_OK, CoCreateGuid(&g));
        const OleString upper = Reference(g);
        for (const OleString& text : {upper, Lower(upper)}) {
            CLSID clsid = GUID_NULL;
            IID iid = GUID_NULL;
            ASSERT_EQ(S_OK, CLSIDFromString(text.c_str(), &clsid));
            ASSERT_EQ(S_OK, IIDFromString(text.c_str(), &iid));
            EXPECT_EQ(g, clsid);
            EXPECT_EQ(g, iid);
        }
    }
}

TEST(GuidString, BadTextIsRejectedAndLeavesTheOutputAlone) {
    const OLECHAR* bad[] = {
        OLESTR(""),
        OLESTR("01234567-89AB-CDEF-0123-456789ABCDEF"),     // no braces
        OLESTR("{01234567-89AB-CDEF-0123-456789ABCDEF"),    // no closing brace
        OLESTR("{01234567-89AB-CDEF-0123-456789ABCDEF}x"),  // trailing text
        OLESTR("{01234567-89AB-CDEF-0123-456789ABCDE}"),    // one digit short
        OLESTR("{01234567-89AB-CDEF-0123-456789ABCDEFA}"),  // one digit long
        OLESTR("{0123456G-89AB-CDEF-0123-456789ABCDEF}"),   // not hexadecimal
        OLESTR("{01234567-89AB-CDEF-012345-6789ABCDEF}"),   // hyphen misplaced
        OLESTR("{01234567:89AB-CDEF-0123-456789ABCDEF}"),   // wrong separator
        OLESTR(" {01234567-89AB-CDEF-0123-456789ABCDEF}"),  // leading space
        OLESTR("(01234567-89AB-CDEF-0123-456789ABCDEF)"),   // wrong brackets
        OLESTR("{+1234567-89AB-CDEF-0123-456789ABCDEF}"),   // sign
        OLESTR("{"),
        OLESTR("Corvane.NotAProgId"),
    };
    for (const OLECHAR* text : bad) {
        SCOPED_TRACE(corvane::text::ToUtf8(text));
        CLSID clsid = kSample;
        IID iid = kSample;
        EXPECT_EQ(CO_E_CLASSSTRING, CLSIDFromString(text, &clsid));
        EXPECT_EQ(E_INVALIDARG, IIDFromString(text, &iid));
        EXPECT_EQ(kSample, clsid);
        EXPECT_EQ(kSample, iid);
    }
}

TEST(GuidString, NullArgumentsFollowWindows) {
    CLSID clsid = kSample;
    EXPECT_EQ(S_OK, CLSIDFromString(nullptr, &clsid));
    EXPECT_EQ(GUID_NULL, clsid);
    IID iid = kSample;
    EXPECT_EQ(S_OK, IIDFromString(nullptr, &iid));
    EXPECT_EQ(GUID_NULL, iid);
    EXPECT_EQ(E_INVALIDARG,
              CLSIDFromString(OLESTR("{01234567-89AB-CDEF-0123-456789ABCDEF}"), nullptr));
    EXPECT_EQ(E_INVALIDARG,
              IIDFromString(OLESTR("{01234567-89AB-CDEF-0123-456789ABCDEF}"), nullptr));
}

TEST(CoCreateGuid, GivesDistinctVersion4GuidsWithBalancedRandomBits) {
    constexpr int kCount = 2000;
    std::set<std::tuple<uint32_t, uint16_t, uint16_t, uint64_t>> seen;
    int ones[128] = {};
    for (int n = 0; n < kCount; ++n) {
        GUID g;
        ASSERT_EQ(S_OK, CoCreateGuid(&g));
        EXPECT_EQ(0x4, g.Data3 >> 12) << "version";
        EXPECT_EQ(0x2, g.Data4[0] >> 6) << "RFC 4122 variant";
        uint64_t tail;
        std::memcpy(&tail, g.Data4, 8);
        seen.emplace(g.Data1, g.Data2, g.Data3, tail);
        const auto* bytes = reinterpret_cast<const unsigned char*>(&g);
        for (int bit = 0; bit < 128; ++bit) ones[bit] += (bytes[bit / 8] >> (bit % 8)) & 1;
    }
    EXPECT_EQ(size_t(kCount), seen.size());
    // Every one of the 122 random bits is set in about half of the GUIDs; 40%..60% is more than
    // eight standard deviations wide, so only a poor source fails it.
    int randomBits = 0;
    for (int bit = 0; bit < 128; ++bit) {
        const int byte = bit / 8, inByte = bit % 8;
        const bool version = byte == 7 && inByte >= 4;  // high nibble of Data3 (little-endian)
        const bool variant = byte == 8 && inByte >= 6;
        if (version || variant) continue;
        ++randomBits;
        EXPECT_GT(ones[bit], kCount * 4 / 10) << "bit " << bit;
        EXPECT_LT(ones[bit], kCount * 6 / 10) << "bit " << bit;
    }
    EXPECT_EQ(122, randomBits);
    EXPECT_EQ(E_INVALIDARG, CoCreateGuid(nullptr));
}

}  // namespace
