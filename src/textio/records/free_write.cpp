#include <algorithm>

#include "textio/files/connection.hpp"
#include "textio/lines/record_output.hpp"
#include "textio/numbers/number_format.hpp"
#include "textio/records/free.hpp"

namespace veldrix {
namespace {

struct FreeRecord {
  RecordBuffer buffer;
  bool at_start = true;  // nothing written since the write began
};

std::size_t ROOM(const FreeRecord& r) {
  return r.buffer.length < kFreeRecordLength ? kFreeRecordLength - r.buffer.length : 0;
}

void PUT(FreeRecord& r, std::string_view text) {
  std::size_t n = std::min(text.size(), kRecordMax - r.buffer.length);
  std::copy_n(text.begin(), n,
              r.buffer.bytes.begin() + static_cast<std::ptrdiff_t>(r.buffer.length));
  r.buffer.length += n;
}

std::size_t NUMBER_WIDTH(const Value& item) {
  return item.type == ItemType::Int32 ? kFreeIntWidth : kFreeDoubleWidth;
}

void NUMBER_FIELD(FreeRecord& r, const Value& item) {
  char field[kFreeDoubleWidth];
  if (item.type == ItemType::Int32) {
    FORMAT_FREE_INT(*static_cast<const std::int32_t*>(item.at),
                    std::span(field).first<kFreeIntWidth>());
  } else {
    // Widening is exact, and these digits come from the exact value.
    double v = item.type == ItemType::Real32 ? *static_cast<const float*>(item.at)
                                             : *static_cast<const double*>(item.at);
    FORMAT_FREE_DOUBLE(v, field);
  }
  PUT(r, std::string_view(field, NUMBER_WIDTH(item)));
}

// Puts items into the record until a number does not fit in what is left of it; returns how
// many went in. Texts always go in, cut at the longest record.
std::size_t FILL_RECORD(FreeRecord& r, std::span<const Value> items) {
  for (std::size_t n = 0; n < items.size(); ++n) {
    const Value& item = items[n];
    if (item.type == ItemType::Text) {
      std::string_view text(static_cast<const char*>(item.at), item.length);
      if (r.at_start && text.size() < ROOM(r)) PUT(r, " ");
      PUT(r, text);
    } else {
      if (NUMBER_WIDTH(item) > ROOM(r) && r.buffer.length > 0) return n;
      NUMBER_FIELD(r, item);
    }
    r.at_start = false;
  }
  return items.size();
}

}  // namespace

void WRITE_FREE(std::int32_t unit, std::initializer_list<Value> items) {
  FreeRecord r;
  std::span<const Value> rest(items.begin(), items.size());
  // A number that does not fit in what is left of a record starts the next one.
  for (std::size_t n; (n = FILL_RECORD(r, rest)) < rest.size(); rest = rest.subspan(n)) {
    PUT_RECORD(unit, r.buffer);
    r.buffer.length = 0;
  }
  PUT_RECORD(unit, r.buffer);
}

std::size_t BUILD_FREE(std::span<char> out, std::span<const Value> items) {
  FreeRecord r;
  FILL_RECORD(r, items);
  std::size_t n = std::min(out.size(), r.buffer.length);
  std::copy_n(r.buffer.bytes.begin(), n, out.begin());
  return n;
}

}  // namespace veldrix
