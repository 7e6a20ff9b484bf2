// The free-form statement on a reader of one's own, declared for the tests, fuzz targets and
// benchmarks that drive it without a connection; the program reads through READ_FREE.
#pragma once

#include <span>

#include "textio/lines/input_lines.hpp"
#include "textio/records/layout.hpp"

namespace veldrix {

// The statement of READ_FREE on a reader whose current record has just begun; its status.
int READ_FREE_FROM(Reader& r, std::span<const Target> items);

// The same statement with every value taken by the general scanner: the oracle of the fast paths.
int READ_FREE_FROM_GENERAL(Reader& r, std::span<const Target> items);

}  // namespace veldrix
