// The console records of the header lookups.
#pragma once

#include "textio/records/layout.hpp"

namespace veldrix {

inline constexpr FieldSpec kIntEcho[] = {SKIP(1), TEXT(), SKIP(4), INT(7)};
inline constexpr FieldSpec kRealEcho[] = {SKIP(1), TEXT(), SKIP(4), REAL(14, 8)};
inline constexpr FieldSpec kWarning[] = {SKIP(1), LITERAL("Warning: Could not read "), TEXT()};
inline constexpr FieldSpec kFatal[] = {SKIP(1), LITERAL("Fatal error reading "), TEXT()};
inline constexpr FieldSpec kIntDefault[] = {SKIP(1), LITERAL("Using default value of: "), INT(8)};
inline constexpr FieldSpec kRealDefault[] = {SKIP(1), LITERAL("Using default value of: "),
                                             REAL(12, 6)};

}  // namespace veldrix
