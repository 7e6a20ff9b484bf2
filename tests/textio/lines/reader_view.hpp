// What a reader shows of the current record, for the tests and fuzz targets that look at it; the
// program reads through the record statements instead.
#pragma once

#include <string_view>

#include "textio/lines/input_lines.hpp"

namespace veldrix {

// The visible rest of the current record.
inline std::string_view VISIBLE(const Reader& r) { return {r.buf + r.pos, r.visible_end - r.pos}; }

}  // namespace veldrix
