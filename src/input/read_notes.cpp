#include "input/read_notes.hpp"

#include <charconv>
#include <cstdint>

#include "textio/ending/error_stream.hpp"

namespace veldrix {
namespace {

// The shortest text that reads back as the value.
template <class T>
struct Digits {
  char text[32];
  std::string_view view;
  explicit Digits(T value)
      : view(text,
             static_cast<std::size_t>(std::to_chars(text, text + sizeof text, value).ptr - text)) {}
};

bool SAME_WORD_ANY_CASE(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    char x = a[i] >= 'A' && a[i] <= 'Z' ? static_cast<char>(a[i] - 'A' + 'a') : a[i];
    char y = b[i] >= 'A' && b[i] <= 'Z' ? static_cast<char>(b[i] - 'A' + 'a') : b[i];
    if (x != y) return false;
  }
  return true;
}

constexpr std::string_view kRecipe =
    "; the README's section \"Files that are refused, and how to prepare them\" shows how to "
    "prepare the file";

}  // namespace

void WARN_DROPPED(const DroppedValues& dropped, double nodata) {
  if (dropped.near_cells > 0) {
    bool one = dropped.near_cells == 1;
    ERROR_WRITE({"Warning: ", Digits(dropped.near_cells).view, one ? " cell was" : " cells were",
                 " written as no-data for lying within 0.1 of NODATA_value ", Digits(nodata).view,
                 " without being equal to it; the first is in row ", Digits(dropped.near_row).view,
                 " from the top, column ", Digits(dropped.near_column).view, ", value ",
                 Digits(dropped.near_value).view},
                "\r\n");
  }
  if (dropped.long_lines > 0) {
    bool one = dropped.long_lines == 1;
    ERROR_WRITE({"Warning: ", Digits(dropped.long_lines).view,
                 one ? " line held values beyond the end of its row"
                     : " lines held values beyond the end of their row",
                 ", which were skipped, as a row starts on a new line; the first is line ",
                 Digits(dropped.long_line).view, ", with ", Digits(dropped.long_values).view,
                 " more. The file's rows are likely wrapped at a fixed count of values a line"},
                "\r\n");
  }
}

bool KEYWORD_NEAR_MISS(std::string_view key, std::string_view word) {
  struct Instead {
    std::string_view key, word;
  };
  constexpr Instead kInstead[] = {{"xllcorner", "xllcenter"},
                                  {"yllcorner", "yllcenter"},
                                  {"cellsize", "dx"},
                                  {"cellsize", "dy"}};
  if (word != key && SAME_WORD_ANY_CASE(word, key)) return true;
  for (const Instead& i : kInstead) {
    if (i.key == key && SAME_WORD_ANY_CASE(word, i.word)) return true;
  }
  return false;
}

void HINT_KEYWORD(std::string_view key, std::string_view found) {
  bool cased = SAME_WORD_ANY_CASE(found, key);
  ERROR_WRITE({"Warning: \"", key, "\" not found, but a line starts with \"", found,
               cased ? "\": keywords are matched exactly, case included"
                     : "\", which is not read in its place",
               kRecipe},
              "\r\n");
}

}  // namespace veldrix
