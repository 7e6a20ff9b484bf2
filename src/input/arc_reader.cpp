#include "input/arc_reader.hpp"

#include <algorithm>
#include <array>
#include <cerrno>

#include "grid/conversion.hpp"
#include "grid/progress.hpp"
#include "input/header_values.hpp"
#include "input/read_notes.hpp"
#include "textio/ending/failure.hpp"
#include "textio/files/connection.hpp"
#include "textio/files/parallel_fill.hpp"
#include "textio/records/free.hpp"

namespace veldrix {
namespace {

constexpr std::int32_t kHeaderLines = 6;

// Writes " mx: " or " ny: " and the count in a 12-column field.
void REPORT_SIZE(std::string_view label, std::int32_t count) {
  WRITE_FREE(kConsoleOutput, {ITEM(label), ITEM(count)});
}

// Where the record the reader begins next starts in the file; the reader passes over the rest
// of the current one. A refused read leaves it inside that record, for the next read to report.
std::int64_t NEXT_RECORD_START(Reader& r) {
  RECORD_END(r);
  return r.origin + static_cast<std::int64_t>(r.pos);
}

// A cell that a row leaves unread (a slash, a null value) holds 0, as in a fresh store; a store
// that holds a band at a time has had other rows there.
void READ_ROW(std::int32_t iunit, std::span<float> row, bool reused) {
  if (reused) std::fill(row.begin(), row.end(), 0.0f);
  READ_FREE(iunit, {GROUP(row)});
}

// Row j of a grid of several bands, read the first time: where its band's part starts when it
// is the part's first row, and its cells in the part's checksum.
void READ_BANDED_ROW(std::int32_t iunit, GridStore& g, std::int32_t j, std::span<float> row) {
  GridCells& cells = g.cells;
  std::int32_t b = BAND_OF(cells, j);
  BandMark& band = cells.bands[static_cast<std::size_t>(b)];
  BandRows rows_of = BAND_ROWS(cells, b, g.ny);
  std::int64_t north = rows_of.north, rows = rows_of.count;
  std::int64_t r = north - j, parts = BAND_PARTS(rows, g.nx), part = SHARE_OF(r, rows, parts);
  if (r == SHARE_START(part, rows, parts)) {
    band.start[part] = NEXT_RECORD_START(CONNECTION(iunit).reader);
  }
  READ_ROW(iunit, row, true);
  CHECKSUM_ROW(row, band.checksum[part]);
}

// The values left on the current record after a row's last one, up to a slash, which ends the
// values of a record. Counting passes over the rest of the record, as the next row's read would.
std::uint64_t VALUES_LEFT(Reader& r) {
  std::uint64_t values = 0;
  bool in_value = false;
  do {
    for (; r.pos < r.visible_end; ++r.pos) {
      char c = r.buf[r.pos];
      if (c == '/') return values;
      bool separator = c == ' ' || c == '\t' || c == ',';
      values += !separator && !in_value;
      in_value = !separator;
    }
  } while (RECORD_MORE(r));
  return values;
}

// A row that ends before its line does leaves the rest of the line unread: the next row starts on
// the next line. The usual row ends at its line's end, which one comparison tells; a row ended by
// a slash, the slash just taken, leaves the rest of its line as a comment.
void NOTE_VALUES_BEYOND(Reader& r, DroppedValues& dropped) {
  if (r.pos == r.visible_end && r.last_piece) return;
  if (r.pos > 0 && r.buf[r.pos - 1] == '/') return;
  std::int64_t line = r.records;
  std::uint64_t values = VALUES_LEFT(r);
  if (values == 0 || dropped.long_lines++ > 0) return;
  dropped.long_line = line;
  dropped.long_values = values;
}

// How often the progress line is looked at: rows of a few cells each would otherwise spend
// more on the clock than on their cells.
constexpr std::int32_t kRowsBetweenLooks = 64;

void READ_ROWS(std::int32_t iunit, GridStore& g, const Scale& scale, CellPhase& phase,
               const BandRead& band_read) {
  auto columns = static_cast<std::size_t>(std::max(g.nx, 0));
  bool banded = g.cells.bands.size() > 1;
  START_CELL_PHASE(phase);
  for (std::int32_t k = 1; k <= g.ny; ++k) {
    if (k % kRowsBetweenLooks == 0)
      SHOW_HOW_FAR(phase, "rows read", std::uint64_t(k), std::uint64_t(g.ny));
    std::int32_t j = g.ny - k + 1;  // the file's first row is the northern one
    std::span<float> row = ROW(g.cells, j, columns);
    if (banded) {
      READ_BANDED_ROW(iunit, g, j, row);
    } else {
      READ_ROW(iunit, row, false);  // a row without cells still reads (and passes over) a record
    }
    if (!row.empty()) NOTE_VALUES_BEYOND(CONNECTION(iunit).reader, g.dropped);
    CONVERT_ROW(scale, row, g, k);
    std::int32_t b = banded ? BAND_OF(g.cells, j) : 0;
    if (b > 0 && j == BAND_ROWS(g.cells, b, g.ny).south) band_read(b);
  }
}

// A second reading of a row: whatever now fails, but for a read the system refuses, is a file
// that no longer holds what the first reading found.
void READ_AGAIN(std::int32_t iunit, Reader& r, std::span<float> row) {
  std::fill(row.begin(), row.end(), 0.0f);
  Target group = GROUP(row);
  int status = RECORD_BEGIN(r);
  if (status == 0) status = READ_FREE_FROM(r, std::span(&group, 1));
  if (status == kReadError) FAIL_IO(kReadError, iunit, CONNECTION(iunit).name(), r.os_error);
  if (status != 0) FAIL_CHANGED(iunit);
}

// What the parts of a band read again share.
struct Rereading {
  std::int32_t iunit;
  GridStore& g;
  std::int32_t b;
  Scale scale;
  std::int64_t parts;
  std::array<FileHandle, kMaxCores> fds;  // a part's own handle, or kNoFile: the connection's
};

// The reading buffers of the parts after the first, which reads through the connection.
char g_part_buffers[kMaxCores][128 * 1024];
// Only the parts in use touch theirs, and only while a band is read again; FIT_CELLS's bound on
// what the run holds beside the store does not count them, so they stay small.
static_assert(sizeof(g_part_buffers) <= std::size_t{2} << 20);

// Puts a reader before the record at `start`: through the connection, or on the part's own
// descriptor.
Reader& PART_READER(const Rereading& w, std::size_t part, std::int64_t start, Reader& own) {
  if (w.fds[part] == kNoFile) {
    REWIND(w.iunit, start);
    return CONNECTION(w.iunit).reader;
  }
  if (OsError refused = OS_SEEK(w.fds[part], start)) {
    FAIL_IO(kReadError, w.iunit, CONNECTION(w.iunit).name(), refused);
  }
  READER_ATTACH(own, w.fds[part], g_part_buffers[part]);
  own.origin = start;
  return own;
}

// A descriptor of its own for every part after the first, so that the parts are read at once;
// false, with none kept, where one cannot be had (no /proc, no descriptor left): the parts are
// then read one after the other through the connection.
bool OWN_DESCRIPTORS(Rereading& w) {
  w.fds.fill(kNoFile);
  for (std::size_t part = 1; part < static_cast<std::size_t>(w.parts); ++part) {
    w.fds[part] = OPEN_AGAIN(w.iunit);
    if (w.fds[part] != kNoFile) continue;
    for (FileHandle& fd : w.fds) {
      if (fd != kNoFile) OS_CLOSE(fd);
      fd = kNoFile;
    }
    return false;
  }
  return true;
}

// Reads part `part` of the band again, converts it, and checks it against the first reading:
// the same cells, ending where the next part (or the band south of it) started.
void REREAD_PART(const Rereading& w, std::size_t index) {
  GridCells& cells = w.g.cells;
  const BandMark& band = cells.bands[static_cast<std::size_t>(w.b)];
  auto part = static_cast<std::int64_t>(index);
  BandRows rows_of = BAND_ROWS(cells, w.b, w.g.ny);
  std::int64_t north = rows_of.north, rows = rows_of.count;
  Reader own;
  Reader& r = PART_READER(w, index, band.start[index], own);
  std::uint64_t checksum = 0;
  std::int64_t last = SHARE_START(part + 1, rows, w.parts);
  for (std::int64_t k = SHARE_START(part, rows, w.parts); k < last; ++k) {
    std::span<float> row =
        ROW(cells, static_cast<std::int32_t>(north - k), static_cast<std::size_t>(w.g.nx));
    READ_AGAIN(w.iunit, r, row);
    CHECKSUM_ROW(row, checksum);
    CONVERT_ROW(w.scale, row, w.g, 0);
  }
  if (RECORD_END(r) != 0) FAIL_IO(kReadError, w.iunit, CONNECTION(w.iunit).name(), r.os_error);
  std::int64_t end = r.origin + static_cast<std::int64_t>(r.pos);
  std::int64_t next = part + 1 < w.parts ? band.start[index + 1]
                                         : cells.bands[static_cast<std::size_t>(w.b) - 1].start[0];
  if (w.fds[index] != kNoFile) OS_CLOSE(w.fds[index]);
  if (checksum != band.checksum[index] || end != next) FAIL_CHANGED(w.iunit);
}

}  // namespace

void READ_ARC(std::int32_t iunit, std::string_view name_field, float factor, GridStore& g,
              FileIdentity& source, CellPhase& phase, const BandRead& band_read) {
  CONNECT(iunit, name_field, "old");
  source = IDENTITY_OF(iunit);
  IREADFIL3(iunit, "ncols", 5, 0, kPolicyStop, g.nx);
  IREADFIL3(iunit, "nrows", 5, 0, kPolicyStop, g.ny);
  FIT_CELLS(g.cells, g.nx, g.ny);
  REPORT_SIZE("mx: ", g.nx);
  REPORT_SIZE("ny: ", g.ny);
  double cellsize = 0.0;
  DREADFIL3(iunit, "xllcorner", 9, 0.0, kPolicyStop, g.xmin);
  DREADFIL3(iunit, "yllcorner", 9, 0.0, kPolicyStop, g.ymin);
  DREADFIL3(iunit, "cellsize", 8, 0.0, kPolicyStop, cellsize);
  DREADFIL3(iunit, "NODATA_value", 12, 0.0, kPolicyStop, g.nodata);
  double half = cellsize * 0.5;
  g.xmin = g.xmin + half;
  g.ymin = g.ymin + half;
  // In double, so that no count from a file can overflow the subtraction.
  g.xmax = (static_cast<double>(g.nx) - 1) * cellsize + g.xmin;
  g.ymax = (static_cast<double>(g.ny) - 1) * cellsize + g.ymin;
  REWIND(iunit);
  PREPARE_ROWS(g.cells);
  SKIP_REC(iunit, kHeaderLines);
  START_RANGE(g);
  READ_ROWS(iunit, g, SCALE_OF(factor, g.nodata), phase, band_read);
  REFUSE_CHANGED(iunit, source);
  WARN_DROPPED(g.dropped, g.nodata);
  if (g.cells.bands.size() <= 1) DISCONNECT(iunit);
}

void READ_BAND(std::int32_t iunit, float factor, GridStore& g, std::int32_t b,
               const FileIdentity& source) {
  std::int64_t rows = BAND_ROWS(g.cells, b, g.ny).count;
  Rereading w{iunit, g, b, SCALE_OF(factor, g.nodata), BAND_PARTS(rows, g.nx), {}};
  REFUSE_CHANGED(iunit, source);
  auto parts = static_cast<std::size_t>(w.parts);
  if (OWN_DESCRIPTORS(w)) {
    ON_CORES(parts, [&w](std::size_t part) { REREAD_PART(w, part); });
  } else {
    for (std::size_t part = 0; part < parts; ++part) REREAD_PART(w, part);
  }
  REFUSE_CHANGED(iunit, source);
}

}  // namespace veldrix
