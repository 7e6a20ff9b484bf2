#include "output/grd_writer.hpp"

#include <algorithm>
#include <array>
#include <iterator>

#include "grid/progress.hpp"
#include "textio/files/connection.hpp"
#include "textio/files/parallel_fill.hpp"
#include "textio/files/record_slots.hpp"
#include "textio/numbers/number_format.hpp"
#include "textio/records/fixed.hpp"
#include "textio/records/free.hpp"

namespace veldrix {
namespace {

constexpr FieldSpec kMarkerLayout[] = {TEXT(4)};
constexpr FieldSpec kCellLayout[] = {TEXT(14)};
constexpr FieldSpec kCellValue[] = {REAL(14, 8)};
static_assert(std::size(kCellValue) == 1 && kCellValue[0].kind == FieldKind::Real);
static_assert(LAYOUT_WIDTH(kCellValue, 0) == kBlankCell.size());
static_assert(LAYOUT_WIDTH(kCellLayout, 0) == kBlankCell.size());

// A cell record is its 14-character text in the A14 layout, and A14 of a 14-character text is
// that text unchanged; so each cell's text is built in place in its line. The G14.8 layout is
// one field over all 14 columns: its number field fills them.
void CELL_TEXT(float cell, std::span<char> text) {
  if (NO_DATA_CELL(cell)) {
    std::copy(kBlankCell.begin(), kBlankCell.end(), text.begin());
  } else {
    FORMAT_G(cell, kCellValue[0].digits, text);
  }
}

constexpr std::size_t kLineLength = kBlankCell.size() + 2;  // the cell text and CR LF

// The record of a cell in its slot: the text, then CR LF.
inline void CELL_RECORD(float cell, char* line) {
  CELL_TEXT(cell, std::span(line, kBlankCell.size()));
  line[kLineLength - 2] = '\r';
  line[kLineLength - 1] = '\n';
}

struct Share {
  SlotRun run;
  std::span<const float> cells;
};

void FILL(Share& share) {
  RUN_PREPARE(share.run);
  for (float cell : share.cells) {
    CELL_RECORD(cell, share.run.next);
    RUN_SLOT_DONE(share.run);
  }
}

// The cells' records, one share per core, into slots handed out for all of them.
void FILL_ON_CORES(RecordSlots& slots, std::span<const float> cells, std::size_t parts) {
  std::array<SlotRun, kMaxCores> runs;
  std::array<Share, kMaxCores> shares;
  SLOTS_SPLIT(slots, cells.size(), std::span(runs.data(), parts));
  for (std::size_t i = 0, at = 0; i < parts; ++i) {
    std::size_t count = static_cast<std::size_t>(runs[i].limit - runs[i].next) / kLineLength;
    shares[i] = {runs[i], cells.subspan(at, count)};
    at += count;
  }
  ON_CORES(parts, [&shares](std::size_t part) { FILL(shares[part]); });
  SLOTS_JOINED(slots, cells.size());
}

// Each cell's text goes straight into the slot of its record; the record layer decides how the
// slots reach the file. `left` counts the records still to come in the grid. Slots of the file's
// own pages are shared among the cores when there are enough of them.
void WRITE_CELLS(GrdOutput& out, std::span<const float> cells, std::uint64_t& left) {
  RecordSlots& slots = *out.slots;
  while (!cells.empty()) {
    SHOW_HOW_FAR(*out.phase, "cell records written", out.records - left, out.records);
    if (slots.next == slots.limit) SLOTS_MORE(slots, static_cast<std::size_t>(left));
    std::size_t n =
        std::min(cells.size(), static_cast<std::size_t>(slots.limit - slots.next) / kLineLength);
    std::size_t parts = slots.mapped ? SHARES(n) : 1;
    if (parts >= 2) {
      FILL_ON_CORES(slots, cells.first(n), parts);
    } else {
      SLOTS_PREPARE(slots, slots.next, slots.next + n * kLineLength);
      for (float cell : cells.first(n)) {
        CELL_RECORD(cell, slots.next);
        SLOT_DONE(slots);
      }
    }
    cells = cells.subspan(n);
    left -= n;
  }
}

}  // namespace

void WRITE_GRD_HEAD(GrdOutput& out, CellPhase& phase, std::int32_t iunit,
                    std::string_view name_field, std::int32_t nx, std::int32_t ny, double xmin,
                    double xmax, double ymin, double ymax, double zmin, double zmax) {
  CONNECT(iunit, name_field, "unknown");
  WRITE_FIXED(iunit, kMarkerLayout, {ITEM(std::string_view("DSAA"))});
  WRITE_FREE(iunit, {ITEM(nx), ITEM(ny)});
  WRITE_FREE(iunit, {ITEM(xmin), ITEM(xmax)});
  WRITE_FREE(iunit, {ITEM(ymin), ITEM(ymax)});
  WRITE_FREE(iunit, {ITEM(zmin), ITEM(zmax)});
  if (nx < 1) return;
  SLOTS_BEGIN(*out.slots, CONNECTION(iunit), kLineLength);
  out.records = std::uint64_t(nx) * std::uint64_t(std::max(ny, 0));
  out.phase = &phase;
  START_CELL_PHASE(phase);
}

void WRITE_GRD_ROWS(GrdOutput& out, const GridCells& cells, std::int32_t nx, std::int32_t ny,
                    std::int32_t south, std::int32_t north) {
  if (nx < 1) return;
  auto columns = static_cast<std::size_t>(nx);
  std::uint64_t left = std::uint64_t(nx) * std::uint64_t(ny - south + 1);
  // The rows of a band lie one after the other in the store, as their records do in the file.
  std::span<const float> band(ROW(cells, south, columns).data(),
                              columns * static_cast<std::size_t>(north - south + 1));
  WRITE_CELLS(out, band, left);
}

void WRITE_GRD_END(GrdOutput& out, std::int32_t iunit, std::int32_t nx) {
  if (nx >= 1) SLOTS_END(*out.slots);
  DISCONNECT(iunit);
}

}  // namespace veldrix
