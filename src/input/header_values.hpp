// Header values picked out of a text file by keyword, whatever line they stand on.
#pragma once

#include <cstdint>
#include <string_view>

namespace veldrix {

// Failure policies of a lookup.
inline constexpr std::int32_t kPolicyStop = 0;    // "Fatal error reading " and the keyword, stop
inline constexpr std::int32_t kPolicyWarn = 1;    // warn, take the default and show it
inline constexpr std::int32_t kPolicySilent = 2;  // take the default silently

// The line columns a lookup examines.
inline constexpr int kLookupColumns = 80;

// Rewinds the file and scans it from the top for the first line that starts with the keyword in
// its first keylen columns followed by a blank or tab, then reads the value free-form from the
// rest of the line up to column 80, echoing it: " ncols        100". A failed lookup (no such
// line, an unreadable line before it, or no value of the type on it) acts on the policy.
void IREADFIL3(std::int32_t iunit, std::string_view key, std::int32_t keylen, std::int32_t defval,
               std::int32_t ifail, std::int32_t& val);
void DREADFIL3(std::int32_t iunit, std::string_view key, std::int32_t keylen, double defval,
               std::int32_t ifail, double& val);

// True when the first character is a blank or a horizontal tab.
bool ISBOT(std::string_view text);

// Passes over nrec lines of the connection (none when nrec <= 0); running out is fatal.
void SKIP_REC(std::int32_t iunit, std::int32_t nrec);

}  // namespace veldrix
