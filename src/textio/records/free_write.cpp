#include <algorithm>

#include "textio/files/connection.hpp"
#include "textio/lines/record_output.hpp"
#include "textio/numbers/number_format.hpp"
#include "textio/records/free.hpp"

namespace veldrix {
namespace {

struct FreeRecord {
  RecordBuffer buffer;
  std::int32_t unit = 0;  // kNoUnit when the record only goes into a text
  bool at_start = true;   // nothing written since the record began
};

constexpr std::int32_t kNoUnit = -1000;

std::size_t ROOM(const FreeRecord& r) {
  return r.buffer.length < kFreeRecordLength ? kFreeRecordLength - r.buffer.length : 0;
}

void PUT(FreeRecord& r, std::string_view text) {
  std::size_t n = std::min(text.size(), kRecordMax - r.buffer.length);
  std::copy_n(text.begin(), n,
              r.buffer.bytes.begin() + static_cast<std::ptrdiff_t>(r.buffer.length));
  r.buffer.length += n;
}

void NUMBER_FIELD(FreeRecord& r, const Value& item) {
  char field[kFreeDoubleWidth];
  std::size_t width = item.type == ItemType::Int32 ? kFreeIntWidth : kFreeDoubleWidth;
  if (width > ROOM(r) && r.unit != kNoUnit) {
    PUT_RECORD(r.unit, r.buffer);
    r.buffer.length = 0;
  }
  if (item.type == ItemType::Int32) {
    FORMAT_FREE_INT(*static_cast<const std::int32_t*>(item.at),
                    std::span(field).first<kFreeIntWidth>());
  } else {
    // Widening is exact, and these digits come from the exact value.
    double v = item.type == ItemType::Real32 ? *static_cast<const float*>(item.at)
                                             : *static_cast<const double*>(item.at);
    FORMAT_FREE_DOUBLE(v, field);
  }
  PUT(r, std::string_view(field, width));
}

void ITEMS(FreeRecord& r, std::span<const Value> items) {
  for (const Value& item : items) {
    if (item.type == ItemType::Text) {
      std::string_view text(static_cast<const char*>(item.at), item.length);
      if (r.at_start && text.size() < ROOM(r)) PUT(r, " ");
      PUT(r, text);
    } else {
      NUMBER_FIELD(r, item);
    }
    r.at_start = false;
  }
}

}  // namespace

void WRITE_FREE(std::int32_t unit, std::initializer_list<Value> items) {
  FreeRecord r;
  r.unit = unit;
  ITEMS(r, std::span(items.begin(), items.size()));
  PUT_RECORD(unit, r.buffer);
}

std::size_t BUILD_FREE(std::span<char> out, std::span<const Value> items) {
  FreeRecord r;
  r.unit = kNoUnit;
  ITEMS(r, items);
  std::size_t n = std::min(out.size(), r.buffer.length);
  std::copy_n(r.buffer.bytes.begin(), n, out.begin());
  return n;
}

}  // namespace veldrix
