// Free-form group reads: statements of 16 singles (a grid row) read one after another from a
// file, with a small buffer and with one that holds the whole file, and with the latter again
// through the general scanner alone. Neither where the pieces of a record end nor the fast paths
// of the usual tokens may change anything: the statuses and every stored value agree bit for bit.
#include <sys/mman.h>
#include <unistd.h>

#include <array>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "textio/lines/input_lines.hpp"
#include "textio/records/free.hpp"

using namespace veldrix;

namespace {

constexpr std::size_t kGroup = 16;
constexpr std::size_t kStatements = 64;
constexpr std::size_t kSmallestBuffer = 3;        // room for a Ctrl-Z, CR and LF
constexpr std::uint32_t kUntouched = 0x7FA5A5A5;  // a NaN that no read produces

struct Statement {
  int status;
  std::array<std::uint32_t, kGroup> bits;
};

int MEMORY_FILE(const std::uint8_t* bytes, std::size_t size) {
  int fd = memfd_create("group", MFD_CLOEXEC);
  if (fd < 0 || write(fd, bytes, size) != static_cast<ssize_t>(size)) std::abort();
  return fd;
}

std::vector<Statement> READ_ALL(int fd, std::size_t capacity, bool general = false) {
  if (lseek(fd, 0, SEEK_SET) != 0) std::abort();
  std::vector<char> storage(capacity);
  Reader r;
  READER_ATTACH(r, fd, storage);
  std::vector<Statement> out;
  while (out.size() < kStatements) {
    std::array<float, kGroup> row;
    for (float& v : row) std::memcpy(&v, &kUntouched, sizeof v);
    Target group = GROUP(row);
    int status = RECORD_BEGIN(r);
    if (status == 0) {
      status = general ? READ_FREE_FROM_GENERAL(r, std::span(&group, 1))
                       : READ_FREE_FROM(r, std::span(&group, 1));
    }
    Statement s{status, {}};
    std::memcpy(s.bits.data(), row.data(), sizeof row);
    out.push_back(s);
    if (status != 0) break;
  }
  return out;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 1) return 0;
  std::size_t capacity = kSmallestBuffer + data[0] % 30;
  int fd = MEMORY_FILE(data + 1, size - 1);
  std::vector<Statement> small = READ_ALL(fd, capacity);
  std::vector<Statement> whole = READ_ALL(fd, size + 1);
  std::vector<Statement> general = READ_ALL(fd, size + 1, true);
  close(fd);
  if (general.size() != whole.size()) std::abort();
  for (std::size_t k = 0; k < whole.size(); ++k) {
    if (general[k].status != whole[k].status || general[k].bits != whole[k].bits) {
      std::fprintf(stderr, "free_group: statement %zu differs from the general scanner's\n", k);
      std::abort();
    }
  }
  for (const Statement& s : small) {
    int k = s.status;
    if (k != 0 && k != kEndOfData && k != kSyntaxError && k != kConversionError) std::abort();
  }
  if (small.size() != whole.size()) {
    std::fprintf(stderr, "free_group: %zu statements with a %zu-byte buffer, %zu with one of %zu\n",
                 small.size(), capacity, whole.size(), size + 1);
    std::abort();
  }
  for (std::size_t k = 0; k < small.size(); ++k) {
    if (small[k].status != whole[k].status || small[k].bits != whole[k].bits) {
      std::fprintf(stderr,
                   "free_group: statement %zu differs (status %d / %d) with a %zu-byte "
                   "buffer\n",
                   k, small[k].status, whole[k].status, capacity);
      std::abort();
    }
  }
  return 0;
}
