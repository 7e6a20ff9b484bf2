// Fixed-field records: a layout places every item in known columns.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <span>

#include "textio/records/layout.hpp"

namespace veldrix {

// Builds one record from the layout and the items and writes it, ended by CR LF.
//   SKIP(1), TEXT(), SKIP(4), INT(7) with "ncols", 100 -> " ncols        100"
void WRITE_FIXED(std::int32_t unit, Layout layout, std::initializer_list<Value> items);

// Reads the next record into text targets; the end of data and read errors are fatal.
void READ_FIXED(std::int32_t unit, Layout layout, std::initializer_list<Target> items);

// The same read with a status: 0, -1 at the end of data, 39 when the system refused the read.
int READ_FIXED_STATUS(std::int32_t unit, Layout layout, std::initializer_list<Target> items);

// Builds a record into out (blanks in the columns the layout spans); returns its length, the
// highest column written. WRITE_FIXED writes what it builds.
std::size_t BUILD_FIXED(std::span<char> out, Layout layout, std::span<const Value> items);

// Builds the record into text (blank-filled first, no line end): a fixed-field write into a text,
// for the tests and benchmarks.
void WRITE_FIXED_STR(std::span<char> text, Layout layout, std::initializer_list<Value> items);

}  // namespace veldrix
