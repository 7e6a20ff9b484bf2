// Free-form records: values without a column layout.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <span>
#include <string_view>

#include "textio/lines/input_lines.hpp"
#include "textio/records/layout.hpp"

namespace veldrix {

// The longest free-form output record.
inline constexpr std::size_t kFreeRecordLength = 80;

// Writes the items as one record (a text gets one blank before it at the start of a record;
// integers take 12 columns, doubles 24, side by side), ended by CR LF.
//   "mx: ", 2501 -> " mx:         2501"        5, 4 -> "           5           4"
void WRITE_FREE(std::int32_t unit, std::initializer_list<Value> items);

// Reads values for the items from a fresh record on, over as many records as they need.
// The end of data, malformed values and values that do not convert are fatal.
void READ_FREE(std::int32_t unit, std::initializer_list<Target> items);

// Reads values for the items from the reader's current record on, as READ_FREE does after it has
// begun a record: 0, or the status READ_FREE would report (kEndOfData, kReadError, 59, 64).
int READ_FREE_FROM(Reader& r, std::span<const Target> items);

// The same statement with every value taken by the general scanner: the oracle of the fast paths
// for the tests, fuzz targets and benchmarks.
int READ_FREE_FROM_GENERAL(Reader& r, std::span<const Target> items);

// Reads one item from the text taken as one record: 0, -1 (nothing but blanks), 59 or 64.
// An integer item that does not convert is left 0; otherwise a failed item is unchanged.
//   "   2501" -> 2501, 0    "2501.0" -> 2501, 0    "3000000000" -> 64    "abc" -> 59
//   "5.2D5" -> 520000.0     "500,000" -> 500.0     "," -> 0, item unchanged
int READ_FREE_STR(std::string_view text, const Target& item);

// Builds the first record of a free-form write: the items up to the first number that does not
// fit in what is left of it (all of them when they fit in one record); returns its length. The
// tests' view of what WRITE_FREE writes.
std::size_t BUILD_FREE(std::span<char> out, std::span<const Value> items);

}  // namespace veldrix
