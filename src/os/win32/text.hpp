// Text across the Win32 floor: names cross it as UTF-8, the system takes them wide, and the
// console shows them in its output code page.
#pragma once

#include <cstddef>
#include <span>
#include <string_view>

namespace veldrix {

// The longest wide name the floor builds, its NUL included.
inline constexpr std::size_t kWideNameMax = 32768;

// Converts and ends the result with a NUL; the length without it, 0 when it does not fit or
// the bytes are not valid in the code page.
std::size_t WIDE_FROM(unsigned code_page, std::string_view bytes, std::span<wchar_t> out);
std::size_t BYTES_FROM(unsigned code_page, std::wstring_view wide, std::span<char> out);

// The code page of what goes to the error stream: the console's output code page when it is a
// console, else UTF-8.
unsigned REPORT_CODE_PAGE();

}  // namespace veldrix
