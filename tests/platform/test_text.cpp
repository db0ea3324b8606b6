// UTF-16/UTF-8 conversion and wide-string helpers, checked against the compiler's own string
// literals, glibc's iconv and glibc's case tables.
#include <gtest/gtest.h>
#include <iconv.h>
#include <locale.h>
#include <wctype.h>

#include <functional>
#include <string>
#include <vector>

#include "platform/win32.h"

namespace {

using corvane::OleString;

using corvane::text::CompareNoCase;
using corvane::text::ToUtf16;
using corvane::text::ToUtf8;
using corvane::text::TryToUtf16;
using corvane::text::TryToUtf8;
using corvane::text::UpcaseUnit;

std::string Bytes(std::initializer_list<unsigned> bytes) {
    std::string s;
    for (unsigned b : bytes) s.push_back(static_cast<char>(b));
    return s;
}

// The literals' encodings come from the compiler, independently of the code under test.
struct WellFormed {
    OleString wide;
    std::string narrow;
};

TEST(TextConversion, WellFormedTextRoundTrips) {
    const WellFormed cases[] = {
        {OLESTR(""), ""},
        {OLESTR("plain ASCII"), "plain ASCII"},
        {OLESTR("Grüße, café"), u8"Grüße, café"},
        {OLESTR("Звук и эхо"), u8"Звук и эхо"},
        {OLESTR("音声効果"), u8"音声効果"},
        {OLESTR("\U0001F3B5 notes \U0010FFFF"), u8"\U0001F3B5 notes \U0010FFFF"},
        {OleString(OLESTR("a\0b\0c"), 5), std::string("a\0b\0c", 5)},
        {OLESTR("\u007F\u0080\u07FF\u0800\uFFFF"), u8"\u007F\u0080\u07FF\u0800\uFFFF"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(ToUtf8(c.wide), c.narrow);
        EXPECT_EQ(ToUtf16(c.narrow), c.wide);
        std::string strict8;
        OleString strict16;
        EXPECT_TRUE(TryToUtf8(c.wide, &strict8));
        EXPECT_TRUE(TryToUtf16(c.narrow, &strict16));
        EXPECT_EQ(strict8, c.narrow);
        EXPECT_EQ(strict16, c.wide);
        // The portable helpers, over the Win32 conversion functions.
        EXPECT_EQ(corvane::OleToUtf8(c.wide), c.narrow);
        EXPECT_EQ(corvane::Utf8ToOle(c.narrow), c.wide);
        EXPECT_TRUE(corvane::TryOleToUtf8(c.wide, &strict8));
        EXPECT_TRUE(corvane::TryUtf8ToOle(c.narrow, &strict16));
        EXPECT_EQ(strict8, c.narrow);
        EXPECT_EQ(strict16, c.wide);
    }
}

TEST(TextConversion, EveryScalarValueAgreesWithIconv) {
    OleString all;
    for (char32_t c = 1; c <= 0x10FFFF; ++c) {
        if (c >= 0xD800 && c <= 0xDFFF) continue;
        if (c < 0x10000) {
            all.push_back(static_cast<OLECHAR>(c));
        } else {
            all.push_back(static_cast<OLECHAR>(0xD800 + ((c - 0x10000) >> 10)));
            all.push_back(static_cast<OLECHAR>(0xDC00 + ((c - 0x10000) & 0x3FF)));
        }
    }
    iconv_t cd = iconv_open("UTF-8", "UTF-16LE");
    ASSERT_NE(cd, reinterpret_cast<iconv_t>(-1));
    std::string expected(all.size() * 4, '\0');
    char* in = reinterpret_cast<char*>(all.data());
    char* out = expected.data();
    size_t inLeft = all.size() * 2, outLeft = expected.size();
    ASSERT_NE(iconv(cd, &in, &inLeft, &out, &outLeft), static_cast<size_t>(-1));
    iconv_close(cd);
    expected.resize(expected.size() - outLeft);

    EXPECT_EQ(ToUtf8(all), expected);
    EXPECT_EQ(ToUtf16(expected), all);
}

// Ill-formed input: the lenient form substitutes U+FFFD per maximal bad subpart, the strict
// form refuses and leaves nothing behind.
TEST(TextConversion, IllFormedUtf8) {
    struct Case {
        std::string input;
        OleString lenient;
    } cases[] = {
        {Bytes({0x80}), OLESTR("\uFFFD")},
        {Bytes({0x41, 0xC0, 0x80, 0x42}), OLESTR("A\uFFFD\uFFFDB")},            // overlong NUL
        {Bytes({0xE0, 0x80, 0x80}), OLESTR("\uFFFD\uFFFD\uFFFD")},              // overlong
        {Bytes({0xED, 0xA0, 0x80}), OLESTR("\uFFFD\uFFFD\uFFFD")},              // encoded surrogate
        {Bytes({0xF4, 0x90, 0x80, 0x80}), OLESTR("\uFFFD\uFFFD\uFFFD\uFFFD")},  // above U+10FFFF
        {Bytes({0xE2, 0x82}), OLESTR("\uFFFD")},         // truncated at the end
        {Bytes({0xE2, 0x82, 0x41}), OLESTR("\uFFFDA")},  // truncated inside
        {Bytes({0xFF, 0xFE}), OLESTR("\uFFFD\uFFFD")},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(ToUtf16(c.input), c.lenient);
        EXPECT_EQ(corvane::Utf8ToOle(c.input), c.lenient);
        OleString strict = OLESTR("left over");
        EXPECT_FALSE(TryToUtf16(c.input, &strict));
        EXPECT_TRUE(strict.empty());
        strict = OLESTR("left over");
        EXPECT_FALSE(corvane::TryUtf8ToOle(c.input, &strict));
        EXPECT_TRUE(strict.empty());
    }
}

TEST(TextConversion, IllFormedUtf16) {
    struct Case {
        OleString input;
        std::string lenient;
    } cases[] = {
        {OleString(1, OLECHAR(0xD800)), u8"\uFFFD"},
        {OleString{OLESTR('a'), OLECHAR(0xDC00), OLESTR('b')}, u8"a\uFFFDb"},
        {OleString{OLECHAR(0xD83C), OLESTR('x')}, u8"\uFFFDx"},
        {OleString{OLECHAR(0xDC00), OLECHAR(0xD800)}, u8"\uFFFD\uFFFD"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(ToUtf8(c.input), c.lenient);
        EXPECT_EQ(corvane::OleToUtf8(c.input), c.lenient);
        std::string strict = "left over";
        EXPECT_FALSE(TryToUtf8(c.input, &strict));
        EXPECT_TRUE(strict.empty());
        strict = "left over";
        EXPECT_FALSE(corvane::TryOleToUtf8(c.input, &strict));
        EXPECT_TRUE(strict.empty());
    }
}

TEST(TextConversion, NullPointersGiveEmptyStrings) {
    EXPECT_EQ(ToUtf8(static_cast<const OLECHAR*>(nullptr)), "");
    EXPECT_EQ(ToUtf16(static_cast<const char*>(nullptr)), OLESTR(""));
    EXPECT_EQ(corvane::text::Length(nullptr), 0u);
    EXPECT_EQ(lstrlenW(nullptr), 0);
    EXPECT_EQ(lstrlenW(OLESTR("four")), 4);
}

// Every mapping UpcaseUnit makes must be glibc's, and in the blocks it covers it must make all
// of glibc's one-unit mappings (the exceptions have no one-unit upper case or are left out on
// purpose: dotless i and long s would fold distinct ASCII-looking names together).
TEST(TextCase, UpcaseAgreesWithGlibc) {
    locale_t loc = newlocale(LC_CTYPE_MASK, "C.UTF-8", nullptr);
    ASSERT_NE(loc, nullptr);
    const std::pair<char32_t, char32_t> covered[] = {
        {0x0000, 0x017F}, {0x0386, 0x03CE}, {0x0400, 0x04FF}, {0x0531, 0x0586},
        {0x1E00, 0x1E95}, {0x1EA0, 0x1EFF}, {0xFF21, 0xFF5A},
    };
    const char32_t exceptions[] = {0x00DF, 0x0131, 0x0149, 0x017F, 0x0390, 0x03B0};
    const auto isCovered = [&](char32_t c) {
        for (char32_t e : exceptions)
            if (c == e) return false;
        for (const auto& r : covered)
            if (c >= r.first && c <= r.second) return true;
        return false;
    };
    int mismatches = 0;
    for (char32_t c = 0; c < 0x10000; ++c) {
        if (c >= 0xD800 && c <= 0xDFFF) continue;
        char32_t ours = UpcaseUnit(static_cast<OLECHAR>(c));
        char32_t theirs = static_cast<char32_t>(towupper_l(static_cast<wint_t>(c), loc));
        bool ok = ours == c ? !isCovered(c) || theirs == c : ours == theirs;
        if (!ok && ++mismatches <= 10)
            ADD_FAILURE() << std::hex << "U+" << uint32_t(c) << ": ours " << uint32_t(ours)
                          << ", glibc " << uint32_t(theirs);
    }
    freelocale(loc);
    EXPECT_EQ(mismatches, 0);
}

TEST(TextCase, CaseInsensitiveComparison) {
    struct Case {
        const OLECHAR* a;
        const OLECHAR* b;
        int sign;
    } cases[] = {
        {OLESTR("Software\\Classes"), OLESTR("SOFTWARE\\classes"), 0},
        {OLESTR("InprocServer32"), OLESTR("inprocserver32"), 0},
        {OLESTR("Привет"), OLESTR("пРИВЕТ"), 0},
        {OLESTR("Ωμέγα"), OLESTR("ΩΜΈΓΑ"), 0},
        {OLESTR("ﬀ"), OLESTR("ﬀ"), 0},
        {OLESTR("abc"), OLESTR("abd"), -1},
        {OLESTR("ABD"), OLESTR("abc"), 1},
        {OLESTR("a"), OLESTR("B"), -1},            // case is ignored before ordering
        {OLESTR("_"), OLESTR("a"), 1},             // ordinal on upper case: '_' (0x5F) > 'A' (0x41)
        {OLESTR("abc"), OLESTR("ABCD"), -1},       // a proper prefix sorts first
        {OLESTR("straße"), OLESTR("STRASSE"), 1},  // no length-changing mappings
    };
    for (const auto& c : cases) {
        auto sign = [](int v) { return (v > 0) - (v < 0); };
        EXPECT_EQ(sign(lstrcmpiW(c.a, c.b)), c.sign) << ToUtf8(c.a) << " vs " << ToUtf8(c.b);
        EXPECT_EQ(sign(lstrcmpiW(c.b, c.a)), -c.sign);
        EXPECT_EQ(sign(CompareNoCase(c.a, c.b)), c.sign);
        EXPECT_EQ(corvane::text::EqualNoCase(c.a, c.b), c.sign == 0);
        EXPECT_EQ(CompareStringOrdinal(c.a, -1, c.b, -1, TRUE), CSTR_EQUAL + c.sign);
        EXPECT_EQ(corvane::EqualIgnoringCase(c.a, c.b), c.sign == 0);
        EXPECT_EQ(corvane::UpperCased(c.a) == corvane::UpperCased(c.b), c.sign == 0);
    }
    // Counted strings: the count decides, NULs included; without bIgnoreCase the order is
    // ordinal by code unit.
    EXPECT_EQ(CompareStringOrdinal(OLESTR("abcX"), 3, OLESTR("ABCY"), 3, TRUE), CSTR_EQUAL);
    EXPECT_EQ(CompareStringOrdinal(OLESTR("a\0b"), 3, OLESTR("a\0c"), 3, TRUE), CSTR_LESS_THAN);
    EXPECT_EQ(CompareStringOrdinal(OLESTR("B"), -1, OLESTR("a"), -1, FALSE), CSTR_LESS_THAN);
    EXPECT_EQ(CompareStringOrdinal(OLESTR("a"), -1, OLESTR("a"), 0, FALSE), CSTR_GREATER_THAN);
    SetLastError(0);
    EXPECT_EQ(CompareStringOrdinal(nullptr, 0, OLESTR("a"), -1, TRUE), 0);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
    EXPECT_EQ(CompareStringOrdinal(OLESTR("a"), -2, OLESTR("a"), -1, TRUE), 0);
    OLECHAR buffer[] = OLESTR("ab\0cd");
    EXPECT_EQ(CharUpperBuffW(buffer, 4), 4u);
    EXPECT_EQ(OleString(buffer, 5), OleString(OLESTR("AB\0Cd"), 5));
    EXPECT_EQ(corvane::UpperCased(OleString(OLESTR("x\0y"), 3)), OleString(OLESTR("X\0Y"), 3));
    EXPECT_EQ(lstrcmpiW(nullptr, nullptr), 0);
    EXPECT_LT(lstrcmpiW(nullptr, OLESTR("")), 0);
    EXPECT_GT(lstrcmpW(OLESTR(""), nullptr), 0);
    EXPECT_LT(lstrcmpW(OLESTR("B"), OLESTR("a")), 0);  // case-sensitive ordinal
    EXPECT_EQ(corvane::text::Upcase(OLESTR("mixed Ünï")), OLESTR("MIXED ÜNÏ"));
}

TEST(TextWide, CopyTruncatesAndTerminates) {
    OLECHAR buffer[6];
    std::fill(std::begin(buffer), std::end(buffer), OLESTR('#'));
    EXPECT_EQ(lstrcpynW(buffer, OLESTR("overflowing"), 4), buffer);
    EXPECT_EQ(OleString(buffer), OLESTR("ove"));
    EXPECT_EQ(buffer[4], OLESTR('#'));
    EXPECT_EQ(lstrcpynW(buffer, OLESTR("ab"), 6), buffer);
    EXPECT_EQ(OleString(buffer), OLESTR("ab"));
    EXPECT_EQ(lstrcpynW(buffer, OLESTR("ab"), 0), nullptr);
}

TEST(TextWin32Conversion, SizesBuffersAndErrors) {
    // Size query including the terminator, then the conversion itself.
    EXPECT_EQ(MultiByteToWideChar(CP_UTF8, 0, u8"Ä€", -1, nullptr, 0), 3);
    OLECHAR wide[8] = {};
    EXPECT_EQ(MultiByteToWideChar(CP_UTF8, 0, u8"Ä€", -1, wide, 8), 3);
    EXPECT_EQ(OleString(wide), OLESTR("Ä€"));
    EXPECT_EQ(WideCharToMultiByte(CP_UTF8, 0, OLESTR("Ä€"), 2, nullptr, 0, nullptr, nullptr), 5);
    char narrow[8] = {};
    EXPECT_EQ(WideCharToMultiByte(CP_UTF8, 0, OLESTR("Ä€"), -1, narrow, 8, nullptr, nullptr), 6);
    EXPECT_STREQ(narrow, u8"Ä€");

    const OLECHAR lone[] = {0xD800, 0};
    struct Failure {
        const char* what;
        std::function<int()> call;
        DWORD error;
    } failures[] = {
        {"narrow buffer too small",
         [&] {
             return WideCharToMultiByte(CP_UTF8, 0, OLESTR("Ä€"), -1, narrow, 3, nullptr, nullptr);
         },
         ERROR_INSUFFICIENT_BUFFER},
        {"wide buffer too small",
         [&] { return MultiByteToWideChar(CP_UTF8, 0, "abc", -1, wide, 2); },
         ERROR_INSUFFICIENT_BUFFER},
        {"strict overlong",
         [&] { return MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, "\xC0\x80", 2, wide, 8); },
         ERROR_NO_UNICODE_TRANSLATION},
        {"strict lone surrogate",
         [&] {
             return WideCharToMultiByte(CP_UTF8, WC_ERR_INVALID_CHARS, lone, -1, narrow, 8, nullptr,
                                        nullptr);
         },
         ERROR_NO_UNICODE_TRANSLATION},
        {"code page", [&] { return MultiByteToWideChar(1252, 0, "abc", -1, wide, 8); },
         ERROR_INVALID_PARAMETER},
        {"null source", [&] { return MultiByteToWideChar(CP_UTF8, 0, nullptr, -1, wide, 8); },
         ERROR_INVALID_PARAMETER},
        {"empty source", [&] { return MultiByteToWideChar(CP_UTF8, 0, "abc", 0, wide, 8); },
         ERROR_INVALID_PARAMETER},
        {"default char with UTF-8",
         [&] {
             return WideCharToMultiByte(CP_UTF8, 0, OLESTR("abc"), -1, narrow, 8, "?", nullptr);
         },
         ERROR_INVALID_PARAMETER},
    };
    for (const auto& f : failures) {
        SetLastError(0);
        EXPECT_EQ(f.call(), 0) << f.what;
        EXPECT_EQ(GetLastError(), f.error) << f.what;
    }
    // Without the strict flag ill-formed input is converted with U+FFFD.
    EXPECT_EQ(MultiByteToWideChar(CP_UTF8, 0, "\xC0\x80", 2, wide, 8), 2);
    EXPECT_EQ(wide[0], OLESTR('\uFFFD'));
}

}  // namespace
