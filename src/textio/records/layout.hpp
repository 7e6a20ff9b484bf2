// Field layouts and the items that statements pass through them.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string_view>

namespace veldrix {

enum class FieldKind : std::uint8_t {
  Skip,     // nX: moves the column position n columns right; columns never written stay blank
  Literal,  // "text": the literal's characters
  Text,     // A (width 0: as wide as its item) or Aw
  Int,      // Iw: integer right-justified in w columns, asterisks when too wide
  Real,     // Gw.d: general real field, w columns, d significant digits
};

struct FieldSpec {
  FieldKind kind;
  int width;                 // n of nX, w of Aw / Iw / Gw.d, 0 for A
  int digits;                // d of Gw.d
  std::string_view literal;  // text of a literal
};

constexpr FieldSpec SKIP(int n) { return {FieldKind::Skip, n, 0, {}}; }
constexpr FieldSpec LITERAL(std::string_view text) {
  return {FieldKind::Literal, static_cast<int>(text.size()), 0, text};
}
constexpr FieldSpec TEXT(int w = 0) { return {FieldKind::Text, w, 0, {}}; }
constexpr FieldSpec INT(int w) { return {FieldKind::Int, w, 0, {}}; }
constexpr FieldSpec REAL(int w, int d) { return {FieldKind::Real, w, d, {}}; }

using Layout = std::span<const FieldSpec>;

// The columns a layout occupies when every A field's item is `text_width` long.
constexpr int LAYOUT_WIDTH(Layout layout, int text_width) {
  int column = 0;
  for (const FieldSpec& f : layout) {
    column += (f.kind == FieldKind::Text && f.width == 0) ? text_width : f.width;
  }
  return column;
}

enum class ItemType : std::uint8_t { Text, Int32, Real32, Real64 };

// An item of a write statement: the item's type, where it is, and its length (texts).
struct Value {
  ItemType type;
  const void* at;
  std::size_t length;
};

inline Value ITEM(const std::int32_t& v) { return {ItemType::Int32, &v, 1}; }
inline Value ITEM(const float& v) { return {ItemType::Real32, &v, 1}; }
inline Value ITEM(const double& v) { return {ItemType::Real64, &v, 1}; }
inline Value ITEM(std::string_view text) { return {ItemType::Text, text.data(), text.size()}; }

// An item of a read statement. A group of single-precision reals (a grid row) is one target
// with `count` values, read first to last; a text's count is its length.
struct Target {
  ItemType type;
  void* at;
  std::size_t count;
};

inline Target INTO(std::int32_t& v) { return {ItemType::Int32, &v, 1}; }
inline Target INTO(float& v) { return {ItemType::Real32, &v, 1}; }
inline Target INTO(double& v) { return {ItemType::Real64, &v, 1}; }
inline Target INTO(std::span<char> text) { return {ItemType::Text, text.data(), text.size()}; }
inline Target GROUP(std::span<float> values) {
  return {ItemType::Real32, values.data(), values.size()};
}

}  // namespace veldrix
