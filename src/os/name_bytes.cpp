#include "os/name_bytes.hpp"

namespace veldrix {
namespace {

// The bytes a sequence takes after its lead byte, with the range its second byte must fall in
// (which excludes the overlong forms, the surrogates and what lies above U+10FFFF); 0 trailing
// bytes for an ASCII lead, -1 for a byte that never leads.
struct LeadRule {
  int trailing;
  unsigned char low;
  unsigned char high;
};

constexpr LeadRule LEAD_RULE(unsigned char lead) {
  if (lead < 0x80) return {0, 0, 0};
  if (lead < 0xC2) return {-1, 0, 0};  // a trailing byte, or an overlong two-byte lead
  if (lead < 0xE0) return {1, 0x80, 0xBF};
  if (lead == 0xE0) return {2, 0xA0, 0xBF};
  if (lead == 0xED) return {2, 0x80, 0x9F};
  if (lead < 0xF0) return {2, 0x80, 0xBF};
  if (lead == 0xF0) return {3, 0x90, 0xBF};
  if (lead < 0xF4) return {3, 0x80, 0xBF};
  if (lead == 0xF4) return {3, 0x80, 0x8F};
  return {-1, 0, 0};
}

constexpr bool IS_SEPARATOR(char c) { return c == '\\' || c == '/'; }

}  // namespace

bool VALID_UTF8(std::string_view bytes) {
  std::size_t at = 0;
  while (at < bytes.size()) {
    const LeadRule rule = LEAD_RULE(static_cast<unsigned char>(bytes[at]));
    if (rule.trailing < 0) return false;
    ++at;
    if (rule.trailing == 0) continue;
    if (bytes.size() - at < static_cast<std::size_t>(rule.trailing)) return false;
    const auto second = static_cast<unsigned char>(bytes[at]);
    if (second < rule.low || second > rule.high) return false;
    for (int more = 1; more < rule.trailing; ++more) {
      if ((static_cast<unsigned char>(bytes[at + more]) & 0xC0) != 0x80) return false;
    }
    at += rule.trailing;
  }
  return true;
}

unsigned ANSWER_CODE_PAGE(unsigned console_code_page, std::string_view answer) {
  if (console_code_page != 0) return console_code_page;
  return VALID_UTF8(answer) ? kUtf8CodePage : kAnsiCodePage;
}

std::size_t WINDOWS_FOLDER_PART(std::string_view name) {
  const std::size_t drive = name.size() >= 2 && name[1] == ':' ? 2 : 0;
  std::size_t end = name.size();
  while (end > drive && !IS_SEPARATOR(name[end - 1])) --end;
  if (end == drive) return drive;
  // `end` is just past a separator: drop the run of them, unless it is the root's.
  std::size_t kept = end - 1;
  while (kept > drive && IS_SEPARATOR(name[kept - 1])) --kept;
  return kept == drive ? drive + 1 : kept;
}

}  // namespace veldrix
