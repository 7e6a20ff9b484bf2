#include "input/header_values.hpp"

#include <algorithm>
#include <array>
#include <span>

#include "input/lookup_layouts.hpp"
#include "input/read_notes.hpp"
#include "textio/ending/failure.hpp"
#include "textio/files/connection.hpp"
#include "textio/records/fixed.hpp"
#include "textio/records/free.hpp"

namespace veldrix {
namespace {

constexpr FieldSpec kLineLayout[] = {TEXT(kLookupColumns)};
constexpr FieldSpec kSkipLayout[] = {TEXT()};

// The first keylen columns hold the keyword, the shorter of the two padded with blanks.
bool KEY_MATCHES(std::string_view columns, std::string_view key) {
  std::size_t n = std::max(columns.size(), key.size());
  for (std::size_t i = 0; i < n; ++i) {
    char a = i < columns.size() ? columns[i] : ' ';
    char b = i < key.size() ? key[i] : ' ';
    if (a != b) return false;
  }
  return true;
}

// The first word of a line that holds the keyword in another form, for the line after a fatal one.
struct NearMiss {
  std::array<char, kLookupColumns> text;
  std::size_t size = 0;
};

void NOTE_NEAR_MISS(std::string_view key, std::string_view line, NearMiss& near) {
  if (near.size > 0 || line.empty() || ISBOT(line)) return;
  std::string_view word = line.substr(0, line.find_first_of(" \t"));
  while (!word.empty() && word.back() == ' ') word.remove_suffix(1);  // the field's padding
  if (!KEYWORD_NEAR_MISS(key, word)) return;
  near.size = word.copy(near.text.data(), near.text.size());
}

// Scans from the top for the keyword's line and reads its value; true when a value was read.
bool LOOK_UP(std::int32_t iunit, std::string_view key, std::int32_t keylen, const Target& val,
             NearMiss& near) {
  REWIND(iunit);
  if (keylen < 1 || keylen > kLookupColumns - 1) return false;
  auto width = static_cast<std::size_t>(keylen);
  std::array<char, kLookupColumns> line;
  for (;;) {
    if (READ_FIXED_STATUS(iunit, kLineLayout, {INTO(std::span(line))}) != 0) return false;
    std::string_view text(line.data(), line.size());
    if (!KEY_MATCHES(text.substr(0, width), key) || !ISBOT(text.substr(width))) {
      NOTE_NEAR_MISS(key, text, near);
      continue;
    }
    return READ_FREE_STR(text.substr(width + 1), val) == 0;
  }
}

// What a lookup of one value type shows, and the text that stops a run on a bad policy.
struct ValueKind {
  Layout echo;          // the keyword and the value read
  Layout default_echo;  // the default taken, under the warning policy
  std::string_view bad_policy;
};

// What a failed lookup does under policy 0, and under a policy that is none of 0, 1, 2.
void STOP_OR_BAD_POLICY(std::string_view key, std::int32_t ifail, std::string_view routine,
                        const NearMiss& near) {
  if (ifail == kPolicyStop) {
    WRITE_FIXED(kConsoleOutput, kFatal, {ITEM(key)});
    if (near.size > 0) HINT_KEYWORD(key, std::string_view(near.text.data(), near.size));
    STOP_RUN({});
  }
  if (ifail != kPolicyWarn && ifail != kPolicySilent) STOP_RUN({routine});
}

// The lookup of IREADFIL3 and DREADFIL3, T their value type.
template <class T>
void READ_VALUE(std::int32_t iunit, std::string_view key, std::int32_t keylen, T defval,
                std::int32_t ifail, T& val, const ValueKind& kind) {
  T found = val;  // a null value leaves what the caller passed in
  NearMiss near;
  if (LOOK_UP(iunit, key, keylen, INTO(found), near)) {
    val = found;
    WRITE_FIXED(kConsoleOutput, kind.echo, {ITEM(key), ITEM(val)});
    return;
  }
  STOP_OR_BAD_POLICY(key, ifail, kind.bad_policy, near);
  if (ifail == kPolicyWarn) WRITE_FIXED(kConsoleOutput, kWarning, {ITEM(key)});
  val = defval;
  if (ifail == kPolicyWarn) WRITE_FIXED(kConsoleOutput, kind.default_echo, {ITEM(val)});
}

constexpr ValueKind kIntValue = {kIntEcho, kIntDefault, "Bad value of ifail passed to ireadfil3."};
constexpr ValueKind kRealValue = {kRealEcho, kRealDefault,
                                  "Bad value of ifail passed to dreadfil3."};

}  // namespace

bool ISBOT(std::string_view text) { return !text.empty() && (text[0] == ' ' || text[0] == '\t'); }

void IREADFIL3(std::int32_t iunit, std::string_view key, std::int32_t keylen, std::int32_t defval,
               std::int32_t ifail, std::int32_t& val) {
  READ_VALUE(iunit, key, keylen, defval, ifail, val, kIntValue);
}

void DREADFIL3(std::int32_t iunit, std::string_view key, std::int32_t keylen, double defval,
               std::int32_t ifail, double& val) {
  READ_VALUE(iunit, key, keylen, defval, ifail, val, kRealValue);
}

void SKIP_REC(std::int32_t iunit, std::int32_t nrec) {
  std::array<char, 1> scratch;
  for (std::int32_t i = 0; i < nrec; ++i) {
    READ_FIXED(iunit, kSkipLayout, {INTO(std::span(scratch))});
  }
}

}  // namespace veldrix
