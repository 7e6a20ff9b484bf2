#include "textio/records/fixed.hpp"

#include <algorithm>

#include "textio/ending/failure.hpp"
#include "textio/files/connection.hpp"
#include "textio/lines/record_output.hpp"
#include "textio/numbers/number_format.hpp"

namespace veldrix {
namespace {

void PUT_TEXT(const Value& item, std::span<char> field) {
  std::string_view text(static_cast<const char*>(item.at), item.length);
  if (text.size() > field.size()) text = text.substr(0, field.size());
  std::copy(text.begin(), text.end(), field.end() - static_cast<std::ptrdiff_t>(text.size()));
}

// Writes one data field; an item of the wrong kind for its field shows as asterisks.
void PUT_FIELD(const FieldSpec& f, const Value& item, std::span<char> field) {
  bool fits = (f.kind == FieldKind::Text && item.type == ItemType::Text) ||
              (f.kind == FieldKind::Int && item.type == ItemType::Int32) ||
              (f.kind == FieldKind::Real &&
               (item.type == ItemType::Real32 || item.type == ItemType::Real64));
  if (!fits) return std::fill(field.begin(), field.end(), '*');
  switch (item.type) {
    case ItemType::Text: return PUT_TEXT(item, field);
    case ItemType::Int32: return FORMAT_I(*static_cast<const std::int32_t*>(item.at), field);
    case ItemType::Real32: return FORMAT_G(*static_cast<const float*>(item.at), f.digits, field);
    case ItemType::Real64: return FORMAT_G(*static_cast<const double*>(item.at), f.digits, field);
  }
}

// Copies the next w columns of the current record into dst; columns past its end are blanks.
int TAKE_COLUMNS(Reader& r, char* dst, std::size_t w) {
  std::size_t got = 0;
  while (got < w) {
    if (r.pos == r.visible_end && !RECORD_MORE(r)) break;
    std::size_t k = std::min(w - got, r.visible_end - r.pos);
    std::copy_n(r.buf + r.pos, k, dst + got);
    r.pos += k;
    got += k;
  }
  std::fill(dst + got, dst + w, ' ');
  return r.failure;
}

// One text field into its item: the field's columns, blank-padded or cut to the item's length.
int READ_TEXT_FIELD(Reader& r, const FieldSpec& f, const Target& item) {
  char* text = static_cast<char*>(item.at);
  std::size_t n = item.count;
  std::size_t w = f.width == 0 ? n : static_cast<std::size_t>(f.width);
  if (w <= n) {
    std::fill(text + w, text + n, ' ');
    return TAKE_COLUMNS(r, text, w);
  }
  // A field wider than its text keeps the field's last n characters.
  int status = TAKE_COLUMNS(r, text, n);
  for (std::size_t i = n; i < w && status == 0; ++i) {
    char c;
    status = TAKE_COLUMNS(r, &c, 1);
    std::copy(text + 1, text + n, text);
    text[n - 1] = c;
  }
  return status;
}

}  // namespace

std::size_t BUILD_FIXED(std::span<char> out, Layout layout, std::span<const Value> items) {
  std::size_t column = 0, length = 0;
  const Value* item = items.data();
  const Value* last = items.data() + items.size();
  for (const FieldSpec& f : layout) {
    std::size_t width = static_cast<std::size_t>(f.width);
    if (f.kind == FieldKind::Text && width == 0 && item != last) width = item->length;
    width = std::min(width, out.size() - std::min(column, out.size()));
    std::span<char> field = out.subspan(std::min(column, out.size()), width);
    // Each field blanks its own columns, skips included: a record buffer is much wider than
    // most records, so nothing beyond the layout is touched.
    std::fill(field.begin(), field.end(), ' ');
    if (f.kind == FieldKind::Literal) {
      std::copy_n(f.literal.begin(), width, field.begin());
    } else if (f.kind != FieldKind::Skip && item != last) {
      PUT_FIELD(f, *item++, field);
    }
    column += width;
    if (f.kind != FieldKind::Skip) length = column;
  }
  return std::min(length, out.size());
}

void WRITE_FIXED(std::int32_t unit, Layout layout, std::initializer_list<Value> items) {
  RecordBuffer record;
  record.length = BUILD_FIXED(std::span(record.bytes).first(kRecordMax), layout,
                              std::span(items.begin(), items.size()));
  PUT_RECORD(unit, record);
}

void WRITE_FIXED_STR(std::span<char> text, Layout layout, std::initializer_list<Value> items) {
  std::fill(text.begin(), text.end(), ' ');  // columns after the record keep their blanks
  BUILD_FIXED(text, layout, std::span(items.begin(), items.size()));
}

int READ_FIXED_STATUS(std::int32_t unit, Layout layout, std::initializer_list<Target> items) {
  Reader& r = CONNECTION(unit).reader;
  if (int status = RECORD_BEGIN(r); status != 0) return status;
  const Target* item = items.begin();
  for (const FieldSpec& f : layout) {
    if (f.kind != FieldKind::Text || item == items.end()) continue;
    if (item->type != ItemType::Text) return kReadError;
    if (int status = READ_TEXT_FIELD(r, f, *item++); status != 0) return status;
  }
  return 0;
}

void READ_FIXED(std::int32_t unit, Layout layout, std::initializer_list<Target> items) {
  int status = READ_FIXED_STATUS(unit, layout, items);
  if (status == 0) return;
  Connection& c = CONNECTION(unit);
  if (status == kEndOfData) FAIL_IO(kEndOfFile, unit, c.name(), 0);
  FAIL_IO(kReadError, unit, c.name(), c.reader.os_error);
}

}  // namespace veldrix
