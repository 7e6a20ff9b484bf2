// The two arguments the program answers without asking anything: --help and --version.
#pragma once

#include <span>

namespace veldrix {

// With --help or --version as the only argument: the usage text or the version on standard
// output, and the run ends with status 0, or with the report of a failed write to the console
// output (failure 38, unit -1) when the text cannot be written. Any other arguments are ignored;
// the dialogue runs.
void ANSWER_OPTION(std::span<char* const> arguments);

}  // namespace veldrix
