// What the reading tells beyond its failures: values its rules passed over or blanked, and a
// keyword that a file holds in a form the lookup does not take.
#pragma once

#include <string_view>

#include "grid/grid_store.hpp"

namespace veldrix {

// One warning line on the error stream for the cells the 0.1 tolerance blanked without their
// being NODATA_value, and one for the lines that held values beyond their row; nothing for what
// did not happen.
void WARN_DROPPED(const DroppedValues& dropped, double nodata);

// Whether a line that starts with `word` holds `key` in another case, or a word used in its place.
bool KEYWORD_NEAR_MISS(std::string_view key, std::string_view word);

// The line after a missing keyword's fatal line, when a line of the file starts with `found`:
// the keyword in another case, or a word used in its place.
void HINT_KEYWORD(std::string_view key, std::string_view found);

}  // namespace veldrix
