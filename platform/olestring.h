// The wide-string vocabulary of portable code. OLECHAR is char16_t on Linux and wchar_t on
// Windows: the same size, but different C++ types, so shared code names neither and writes
// these aliases and OLESTR("...") instead. The same line then means u"..." on Linux and L"..."
// on Windows, and meets BSTR and LPCOLESTR on both.
#pragma once

#include <string>
#include <string_view>

#if !defined(OLESTR)
#if defined(_WIN32)
#define OLESTR(s) L##s
#else
#define OLESTR(s) u##s
#endif
#endif

static_assert(sizeof(OLECHAR) == 2, "OLECHAR is one UTF-16 code unit on every target");

namespace corvane {

// Owning and viewing strings of OLECHAR code units (UTF-16, no terminator counted in size()).
using OleString = std::basic_string<OLECHAR>;
using OleStringView = std::basic_string_view<OLECHAR>;

}  // namespace corvane
