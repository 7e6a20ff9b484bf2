// The rules by which a typed file name's bytes are read as characters, and the folder part of a
// Windows name: plain byte rules, so that they are tested on every platform.
#pragma once

#include <cstddef>
#include <string_view>

namespace veldrix {

// Whether the bytes are well-formed UTF-8: no overlong form, no surrogate, nothing above
// U+10FFFF, no sequence cut short.
//   "abc", "h\xC3\xB6he" -> true;  "h\xF6he" (Latin-1), "\xC0\xAF", "\xED\xA0\x80" -> false
bool VALID_UTF8(std::string_view bytes);

inline constexpr unsigned kUtf8CodePage = 65001;
inline constexpr unsigned kAnsiCodePage = 0;  // the system's ANSI code page (CP_ACP)

// The code page an answer is read in: the console's input code page when it is typed at a
// console (console_code_page not 0); otherwise UTF-8 where the bytes are valid UTF-8, else the
// ANSI code page, which reads any bytes.
unsigned ANSWER_CODE_PAGE(unsigned console_code_page, std::string_view answer);

// The length of the folder part of a Windows name, which `\` and `/` both separate and a drive
// may begin; a root keeps its separator, a folder drops its trailing ones.
//   "dgm.asc" -> 0;  "C:dgm.asc" -> "C:";  "C:\dgm.asc" -> "C:\";  "a\\b/c" -> "a\\b";  "\x" -> "\"
std::size_t WINDOWS_FOLDER_PART(std::string_view name);

}  // namespace veldrix
