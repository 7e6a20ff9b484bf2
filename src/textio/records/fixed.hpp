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

}  // namespace veldrix
