// The program's one control flow: the dialogue, the read, the conversion pass and the write.
#pragma once

namespace veldrix {

inline constexpr int kInputUnit = 50;
inline constexpr int kOutputUnit = 60;

// Asks for the input file, the output file and the factor, then converts. Every failure ends
// the run inside the routine that meets it.
void RUN_CONVERSION();

}  // namespace veldrix
