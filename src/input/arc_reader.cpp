#include "input/arc_reader.hpp"

#include <algorithm>
#include <array>
#include <utility>

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
  CHECKSUM_ROW(row, r, band.checksum[part]);
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

// The descriptors of the parts of a band read at once.
struct PartFiles {
  std::int32_t iunit;
  std::size_t parts;
  std::array<FileHandle, kMaxCores> fds;  // a part's own handle, or kNoFile: the connection's
};

// The reading buffers of the parts after the first, which reads through the connection.
char g_part_buffers[kMaxCores][128 * 1024];
// Only the parts in use touch theirs, and only while a band is read on several cores; FIT_CELLS's
// bound on what the run holds beside the store does not count them, so they stay small.
static_assert(sizeof(g_part_buffers) <= std::size_t{2} << 20);

// Puts a reader before the record at `start`: through the connection, or on the part's own
// descriptor.
Reader& PART_READER(const PartFiles& f, std::size_t part, std::int64_t start, Reader& own) {
  if (f.fds[part] == kNoFile) {
    REWIND(f.iunit, start);
    return CONNECTION(f.iunit).reader;
  }
  if (OsError refused = OS_SEEK(f.fds[part], start)) {
    FAIL_IO(kReadError, f.iunit, CONNECTION(f.iunit).name(), refused);
  }
  READER_ATTACH(own, f.fds[part], g_part_buffers[part]);
  own.origin = start;
  return own;
}

void CLOSE_PARTS(PartFiles& f) {
  for (FileHandle& fd : f.fds) {
    if (fd != kNoFile) OS_CLOSE(fd);
    fd = kNoFile;
  }
}

// A descriptor of its own for every part after the first, so that the parts are read at once;
// false, with none kept, where one cannot be had (no /proc, no descriptor left): the parts are
// then read one after the other through the connection.
bool OWN_DESCRIPTORS(PartFiles& f) {
  f.fds.fill(kNoFile);
  for (std::size_t part = 1; part < f.parts; ++part) {
    f.fds[part] = OPEN_AGAIN(f.iunit);
    if (f.fds[part] != kNoFile) continue;
    CLOSE_PARTS(f);
    return false;
  }
  return true;
}

// The first reading of a band on several cores takes the usual layout, each row on a line of its
// own: the bytes from the band's first line are split into stretches at line ends, one a core;
// each counts the lines that start in it, the counts before it place its first line among the
// band's rows, and it reads its lines as those rows. A line that holds not exactly one row (a row
// going on over lines, values beyond the row, a value the statement refuses) stops its stretch
// there: the rows before it stand, and the serial reader goes on from that line, as it would
// have come to it, to report or take what follows.
struct Stretch {
  std::int64_t start = 0;  // where its first line starts
  std::int64_t lines = 0;  // the lines that start in it
  bool refused = false;    // not counted: a refused read, a line that ends the data
  std::int64_t first = 0;  // the band's row (0 the northern) its first line holds
  std::int64_t taken = 0;  // its rows read, each a whole line
  std::int64_t next = 0;   // where the line after them starts
  GridStore notes;         // the range and the blanked cells of those rows
  std::array<std::uint64_t, kMaxCores> checksum{};  // those rows' share of each part's checksum
};

// What the stretches of a band share.
struct Stretching {
  PartFiles files;
  GridStore& g;
  Scale scale;
  BandRows band;
  std::int32_t top;     // the band's northern row, counted from the file's top
  std::int64_t parts;   // the band's parts, for their starts and checksums; 0 for one band
  std::int64_t start;   // where the band's first line starts
  std::int64_t window;  // the bytes from there split into stretches
  std::array<Stretch, kMaxCores> stretches;
};

std::int64_t OFFSET(const Reader& r) { return r.origin + static_cast<std::int64_t>(r.pos); }

// Where stretch t's share of the window starts; its first line is the first that starts there or
// after it.
std::int64_t NOMINAL(const Stretching& w, std::size_t t) {
  auto shares = static_cast<std::int64_t>(w.files.parts);
  return w.start + SHARE_START(static_cast<std::int64_t>(t), w.window, shares);
}

void COUNT_LINES(Stretching& w, std::size_t t) {
  Stretch& s = w.stretches[t];
  std::int64_t from = NOMINAL(w, t), end = NOMINAL(w, t + 1);
  bool last = t + 1 == w.files.parts;
  Reader own;
  Reader& r = PART_READER(w.files, t, t == 0 ? from : from - 1, own);
  s.refused = t > 0 && (RECORD_BEGIN(r) != 0 || RECORD_END(r) != 0);
  s.start = OFFSET(r);
  for (s.lines = 0; !s.refused && OFFSET(r) < end; ++s.lines) {
    int status = RECORD_BEGIN(r);
    if (status == kEndOfData && last) return;  // the end of the data, as the serial reader meets it
    s.refused = status != 0 || RECORD_END(r) != 0;
  }
}

// Passes over the blanks left on the record: true when nothing else is left.
bool REST_BLANK(Reader& r) {
  do {
    while (r.pos < r.visible_end && (r.buf[r.pos] == ' ' || r.buf[r.pos] == '\t')) ++r.pos;
    if (r.pos < r.visible_end) return false;
  } while (RECORD_MORE(r));
  return r.failure == 0;
}

// Reads the next line as the row, as the serial reader reads a row that starts there: true, the
// reader before the next line, when the row took the line and no more.
bool ROW_ON_ITS_LINE(Reader& r, std::span<float> row, bool reused) {
  if (reused) std::fill(row.begin(), row.end(), 0.0f);
  std::int64_t line = r.records + 1;
  Target group = GROUP(row);
  if (RECORD_BEGIN(r) != 0 || READ_FREE_FROM(r, std::span(&group, 1)) != 0) return false;
  return r.records == line && REST_BLANK(r) && RECORD_END(r) == 0;
}

// The row at `place` of the band: where its part starts, when it is the part's first row, and its
// cells in the stretch's share of the part's checksum.
void MARK_ROW(Stretching& w, Stretch& s, std::int64_t place, std::span<const float> row) {
  std::int64_t rows = w.band.count, part = SHARE_OF(place, rows, w.parts);
  BandMark& mark = w.g.cells.bands[static_cast<std::size_t>(BAND_OF(w.g.cells, w.band.north))];
  if (place == SHARE_START(part, rows, w.parts)) mark.start[part] = s.next;
  CHECKSUM_ROW(row, place, s.checksum[static_cast<std::size_t>(part)]);
}

void READ_STRETCH(Stretching& w, std::size_t t) {
  Stretch& s = w.stretches[t];
  s.next = s.start;
  std::int64_t rows = std::min<std::int64_t>(s.lines, w.band.count - s.first);
  if (rows <= 0) return;
  START_RANGE(s.notes);
  Reader own;
  Reader& r = PART_READER(w.files, t, s.start, own);
  auto columns = static_cast<std::size_t>(w.g.nx);
  for (; s.taken < rows; ++s.taken) {
    std::int64_t place = s.first + s.taken;
    std::span<float> row = ROW(w.g.cells, w.band.north - static_cast<std::int32_t>(place), columns);
    if (!ROW_ON_ITS_LINE(r, row, w.parts > 0)) return;
    if (w.parts > 0) MARK_ROW(w, s, place, row);
    CONVERT_ROW(w.scale, row, s.notes, w.top + static_cast<std::int32_t>(place));
    s.next = OFFSET(r);
  }
}

// A stretch's rows, met after those of the stretches before it: the southern of equal extremes
// and the first blanked cell, as the serial reader keeps them.
void MERGE_NOTES(const GridStore& from, GridStore& g) {
  if (from.zmin <= g.zmin) g.zmin = from.zmin;
  if (from.zmax >= g.zmax) g.zmax = from.zmax;
  DroppedValues& d = g.dropped;
  if (d.near_cells == 0 && from.dropped.near_cells > 0) {
    d.near_row = from.dropped.near_row;
    d.near_column = from.dropped.near_column;
    d.near_value = from.dropped.near_value;
  }
  d.near_cells += from.dropped.near_cells;
}

// The rows the stretches read, up to the first line one of them stopped at, and where the line
// after them starts.
std::int64_t ROWS_TAKEN(Stretching& w, std::int64_t& next) {
  std::int64_t done = 0;
  next = w.start;
  BandMark& mark = w.g.cells.bands[static_cast<std::size_t>(BAND_OF(w.g.cells, w.band.north))];
  for (Stretch& s : std::span(w.stretches).first(w.files.parts)) {
    std::int64_t rows = std::min<std::int64_t>(s.lines, w.band.count - s.first);
    if (rows <= 0) continue;
    if (s.taken > 0) {
      MERGE_NOTES(s.notes, w.g);
      for (std::size_t p = 0; p < kMaxCores; ++p) mark.checksum[p] += s.checksum[p];
      done = s.first + s.taken;
      next = s.next;
    }
    if (s.taken < rows) break;
  }
  return done;
}

// The bytes from the band's first line that hold its lines when the lines left are alike: all of
// them for the last band, else the band's share and an eighth more.
std::int64_t WINDOW(std::int64_t bytes_left, std::int64_t rows, std::int64_t rows_left) {
  if (rows >= rows_left) return bytes_left;
  double share = static_cast<double>(bytes_left) * static_cast<double>(rows) /
                     static_cast<double>(rows_left) * 1.125 +
                 65536.0;
  return share >= static_cast<double>(bytes_left) ? bytes_left : static_cast<std::int64_t>(share);
}

// Reads rows from row k (from the file's top), the first of its band, on several cores when the
// band's cells are worth it: how many rows, the connection left before the line after them, as
// the serial reader would have left it. None when the file's size is not known (not a disk file).
std::int32_t ROWS_ON_CORES(std::int32_t iunit, GridStore& g, const Scale& scale, std::int32_t k,
                           std::int64_t file_size) {
  BandRows band = BAND_ROWS(g.cells, BAND_OF(g.cells, g.ny - k + 1), g.ny);
  auto cells = static_cast<std::uint64_t>(band.count) * static_cast<std::uint64_t>(g.nx);
  auto parts = std::min<std::size_t>(SHARES(cells), static_cast<std::size_t>(band.count));
  Reader& line_reader = CONNECTION(iunit).reader;
  std::int64_t start = NEXT_RECORD_START(line_reader), line = line_reader.records;
  if (parts < 2 || file_size <= start || line_reader.failure != 0) return 0;
  bool banded = g.cells.bands.size() > 1;
  Stretching w{{iunit, parts, {}},
               g,
               scale,
               band,
               k,
               banded ? BAND_PARTS(band.count, g.nx) : 0,
               start,
               WINDOW(file_size - start, band.count, g.ny - k + 1),
               {}};
  if (!OWN_DESCRIPTORS(w.files)) return 0;
  ON_CORES(parts, [&w](std::size_t t) { COUNT_LINES(w, t); });
  std::int64_t rows = 0, next = start, first = 0;
  auto stretches = std::span(w.stretches).first(parts);
  if (std::none_of(stretches.begin(), stretches.end(),
                   [](const Stretch& s) { return s.refused; })) {
    for (Stretch& s : stretches) s.first = std::exchange(first, first + s.lines);
    ON_CORES(parts, [&w](std::size_t t) { READ_STRETCH(w, t); });
    rows = ROWS_TAKEN(w, next);
  }
  CLOSE_PARTS(w.files);
  REWIND(iunit, next);
  CONNECTION(iunit).reader.records = line + rows;
  return static_cast<std::int32_t>(rows);
}

// How often the progress line is looked at: rows of a few cells each would otherwise spend
// more on the clock than on their cells.
constexpr std::int32_t kRowsBetweenLooks = 64;

// The size of the file when it is a disk file that the first reading may read on several cores,
// else 0.
std::int64_t SIZE_FOR_CORES(const GridStore& g, const FileIdentity& source) {
  return g.read_on_cores && source.known && source.kind == FileKind::kDisk ? source.size : 0;
}

void READ_ROWS(std::int32_t iunit, GridStore& g, const Scale& scale, CellPhase& phase,
               const BandRead& band_read, std::int64_t file_size) {
  auto columns = static_cast<std::size_t>(std::max(g.nx, 0));
  bool banded = g.cells.bands.size() > 1, reused = banded;
  START_CELL_PHASE(phase);
  for (std::int32_t k = 1; k <= g.ny; ++k) {
    std::int32_t j = g.ny - k + 1;  // the file's first row is the northern one
    std::int32_t b = banded ? BAND_OF(g.cells, j) : 0;
    if (file_size > 0 && j == BAND_ROWS(g.cells, b, g.ny).north) {
      reused = true;  // rows a stretch stopped in hold what it read
      SHOW_HOW_FAR(phase, "rows read", std::uint64_t(k - 1), std::uint64_t(g.ny));
      std::int32_t rows = ROWS_ON_CORES(iunit, g, scale, k, file_size);
      if (rows > 0)
        SHOW_HOW_FAR(phase, "rows read", std::uint64_t(k + rows - 1), std::uint64_t(g.ny));
      if (rows == BAND_ROWS(g.cells, b, g.ny).count) {
        k += rows - 1;
        if (b > 0) band_read(b);
        continue;
      }
      k += rows;
      j = g.ny - k + 1;
    }
    if (k % kRowsBetweenLooks == 0)
      SHOW_HOW_FAR(phase, "rows read", std::uint64_t(k), std::uint64_t(g.ny));
    std::span<float> row = ROW(g.cells, j, columns);
    if (banded) {
      READ_BANDED_ROW(iunit, g, j, row);
    } else {
      READ_ROW(iunit, row, reused);  // a row without cells still reads (and passes over) a record
    }
    if (!row.empty()) NOTE_VALUES_BEYOND(CONNECTION(iunit).reader, g.dropped);
    CONVERT_ROW(scale, row, g, k);
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
  GridStore& g;
  std::int32_t b;
  Scale scale;
  std::int64_t parts;
  PartFiles files;
};

// Reads part `part` of the band again, converts it, and checks it against the first reading:
// the same cells, ending where the next part (or the band south of it) started.
void REREAD_PART(const Rereading& w, std::size_t index) {
  GridCells& cells = w.g.cells;
  const BandMark& band = cells.bands[static_cast<std::size_t>(w.b)];
  auto part = static_cast<std::int64_t>(index);
  BandRows rows_of = BAND_ROWS(cells, w.b, w.g.ny);
  std::int64_t north = rows_of.north, rows = rows_of.count;
  Reader own;
  Reader& r = PART_READER(w.files, index, band.start[index], own);
  std::int32_t iunit = w.files.iunit;
  std::uint64_t checksum = 0;
  std::int64_t last = SHARE_START(part + 1, rows, w.parts);
  for (std::int64_t k = SHARE_START(part, rows, w.parts); k < last; ++k) {
    std::span<float> row =
        ROW(cells, static_cast<std::int32_t>(north - k), static_cast<std::size_t>(w.g.nx));
    READ_AGAIN(iunit, r, row);
    CHECKSUM_ROW(row, k, checksum);
    CONVERT_ROW(w.scale, row, w.g, 0);
  }
  if (RECORD_END(r) != 0) FAIL_IO(kReadError, iunit, CONNECTION(iunit).name(), r.os_error);
  std::int64_t end = r.origin + static_cast<std::int64_t>(r.pos);
  std::int64_t next = part + 1 < w.parts ? band.start[index + 1]
                                         : cells.bands[static_cast<std::size_t>(w.b) - 1].start[0];
  if (w.files.fds[index] != kNoFile) OS_CLOSE(w.files.fds[index]);
  if (checksum != band.checksum[index] || end != next) FAIL_CHANGED(iunit);
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
  READ_ROWS(iunit, g, SCALE_OF(factor, g.nodata), phase, band_read, SIZE_FOR_CORES(g, source));
  REFUSE_CHANGED(iunit, source);
  WARN_DROPPED(g.dropped, g.nodata);
  if (g.cells.bands.size() <= 1) DISCONNECT(iunit);
}

void READ_BAND(std::int32_t iunit, float factor, GridStore& g, std::int32_t b,
               const FileIdentity& source) {
  std::int64_t rows = BAND_ROWS(g.cells, b, g.ny).count;
  Rereading w{g, b, SCALE_OF(factor, g.nodata), BAND_PARTS(rows, g.nx), {}};
  auto parts = static_cast<std::size_t>(w.parts);
  w.files = {iunit, parts, {}};
  REFUSE_CHANGED(iunit, source);
  if (OWN_DESCRIPTORS(w.files)) {
    ON_CORES(parts, [&w](std::size_t part) { REREAD_PART(w, part); });
  } else {
    for (std::size_t part = 0; part < parts; ++part) REREAD_PART(w, part);
  }
  REFUSE_CHANGED(iunit, source);
}

}  // namespace veldrix
