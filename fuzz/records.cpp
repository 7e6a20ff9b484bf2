// The line splitter and the 80-column header lookup. The fuzz bytes (after two control bytes)
// are a file; its records are split once by a plain reference rule (LF ends a line, a CR just
// before it is dropped, a last line without LF counts, a line of one Ctrl-Z ends the data) and
// must come out the same
//   - through RECORD_BEGIN / RECORD_MORE on a reader with a small buffer, whole or in part;
//   - through 80-column text reads of the file connected as unit 70;
//   - as the line that the ncols and NODATA_value lookups pick.
#include <fcntl.h>
#include <sys/mman.h>
#include <unistd.h>

#include <array>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "input/header_values.hpp"
#include "textio/files/connection.hpp"
#include "textio/lines/input_lines.hpp"
#include "textio/records/fixed.hpp"
#include "textio/records/free.hpp"

using namespace veldrix;

namespace {

constexpr std::int32_t kUnit = 70;
constexpr std::size_t kSmallestBuffer = 3;  // room for a Ctrl-Z, CR and LF
constexpr FieldSpec kLine[] = {TEXT(kLookupColumns)};

void CHECK(bool ok, const char* what, std::size_t record) {
  if (ok) return;
  std::fprintf(stderr, "records: %s (record %zu)\n", what, record);
  std::abort();
}

std::vector<std::string_view> REFERENCE(std::string_view s) {
  std::vector<std::string_view> records;
  std::size_t p = 0;
  while (p < s.size()) {
    std::size_t lf = s.find('\n', p);
    std::string_view line = s.substr(p, lf == std::string_view::npos ? s.npos : lf - p);
    if (lf != std::string_view::npos && !line.empty() && line.back() == '\r') line.remove_suffix(1);
    if (line == "\x1a") break;
    records.push_back(line);
    p = lf == std::string_view::npos ? s.size() : lf + 1;
  }
  return records;
}

int MEMORY_FILE(std::string_view bytes) {
  int fd = memfd_create("records", MFD_CLOEXEC);
  if (fd < 0 || write(fd, bytes.data(), bytes.size()) != static_cast<ssize_t>(bytes.size()) ||
      lseek(fd, 0, SEEK_SET) != 0) {
    std::abort();
  }
  return fd;
}

// Takes up to limit bytes of the current record, piece by piece.
std::string TAKE(Reader& r, std::size_t limit) {
  std::string got;
  for (;;) {
    std::string_view piece = VISIBLE(r).substr(0, limit - got.size());
    got += piece;
    r.pos += piece.size();
    if (r.pos < r.visible_end || !RECORD_MORE(r)) return got;
  }
}

void SPLIT_SMALL(int fd, std::size_t capacity, std::size_t limit,
                 const std::vector<std::string_view>& expected) {
  std::vector<char> storage(capacity);
  Reader r;
  READER_ATTACH(r, fd, storage);
  for (std::size_t k = 0;; ++k) {
    int status = RECORD_BEGIN(r);
    if (status == kEndOfData) return CHECK(k == expected.size(), "end of data too early", k);
    CHECK(status == 0 && k < expected.size(), "a record past the end", k);
    CHECK(TAKE(r, limit) == expected[k].substr(0, limit), "record bytes", k);
    CHECK(r.failure == 0, "read failure", k);
  }
}

std::string COLUMNS(std::string_view record) {
  std::string c(record.substr(0, kLookupColumns));
  c.resize(kLookupColumns, ' ');
  return c;
}

// The value of the first line holding the keyword, or the default.
template <class T>
T REFERENCE_LOOKUP(const std::vector<std::string_view>& records, std::string_view key, T start,
                   T fallback) {
  for (std::string_view record : records) {
    std::string c = COLUMNS(record);
    if (c.compare(0, key.size(), key) != 0 || !ISBOT(std::string_view(c).substr(key.size()))) {
      continue;
    }
    T v = start;
    return READ_FREE_STR(std::string_view(c).substr(key.size() + 1), INTO(v)) == 0 ? v : fallback;
  }
  return fallback;
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  int null = open("/dev/null", O_WRONLY);  // the lookups echo what they find
  if (null < 0 || dup2(null, STDOUT_FILENO) < 0) std::abort();
  close(null);
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 2) return 0;
  std::size_t capacity = kSmallestBuffer + data[0] % 62;
  std::size_t limit = data[1] % 4 == 0 ? std::string_view::npos : data[1] / 4;
  std::string_view bytes(reinterpret_cast<const char*>(data) + 2, size - 2);
  std::vector<std::string_view> expected = REFERENCE(bytes);
  int fd = MEMORY_FILE(bytes);
  SPLIT_SMALL(fd, capacity, limit, expected);

  CONNECT(kUnit, "/proc/self/fd/" + std::to_string(fd), "old");
  std::array<char, kLookupColumns> line;
  for (std::size_t k = 0;; ++k) {
    int status = READ_FIXED_STATUS(kUnit, kLine, {INTO(std::span(line))});
    if (status == kEndOfData) {
      CHECK(k == expected.size(), "80-column reads end too early", k);
      break;
    }
    CHECK(status == 0 && k < expected.size(), "80-column read past the end", k);
    CHECK(std::string_view(line.data(), line.size()) == COLUMNS(expected[k]), "80 columns", k);
  }
  std::int32_t ncols = 12345;
  IREADFIL3(kUnit, "ncols", 5, -777, kPolicySilent, ncols);
  CHECK(ncols == REFERENCE_LOOKUP<std::int32_t>(expected, "ncols", 12345, -777), "ncols", 0);
  double nodata = 0.25;
  DREADFIL3(kUnit, "NODATA_value", 12, -0.75, kPolicySilent, nodata);
  double want = REFERENCE_LOOKUP<double>(expected, "NODATA_value", 0.25, -0.75);
  CHECK(std::memcmp(&nodata, &want, sizeof want) == 0, "NODATA_value", 0);
  DISCONNECT(kUnit);
  close(fd);
  return 0;
}
