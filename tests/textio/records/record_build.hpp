// The record builders behind WRITE_FIXED and WRITE_FREE, declared for their tests only: the
// program builds and writes a record in one statement.
#pragma once

#include <cstddef>
#include <initializer_list>
#include <span>

#include "textio/records/layout.hpp"

namespace veldrix {

// Builds a record into out (blanks in the columns the layout spans); returns its length, the
// highest column written.
std::size_t BUILD_FIXED(std::span<char> out, Layout layout, std::span<const Value> items);

// Builds the record into text (blank-filled first, no line end): a fixed-field write into a text.
void WRITE_FIXED_STR(std::span<char> text, Layout layout, std::initializer_list<Value> items);

// Builds the first record of a free-form write: the items up to the first number that does not
// fit in what is left of it (all of them when they fit in one record); returns its length.
std::size_t BUILD_FREE(std::span<char> out, std::span<const Value> items);

}  // namespace veldrix
