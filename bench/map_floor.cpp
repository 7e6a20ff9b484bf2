// The mapping floor of a whole run: a header of the run's length, then the same number of
// 16-byte cell records copied into the output file through the record layer's own windows (a
// shared mapping of the file, reserved a window at a time), and nothing else. Given an input
// file as well, every byte of it is read once first: the physical floor of the whole job.
//   veldrix_map_floor out.grd 6255001 [dem_2501.asc]
#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "read_once.hpp"
#include "textio/files/connection.hpp"
#include "textio/files/record_slots.hpp"

namespace {}  // namespace

int main(int argc, char** argv) {
  if (argc != 3 && argc != 4) {
    std::fprintf(stderr, "usage: %s <file> <records> [input]\n", argv[0]);
    return 2;
  }
  if (argc == 4 && READ_ONCE(argv[3]) == 0) {
    std::fprintf(stderr, "%s: cannot read or empty\n", argv[3]);
    return 1;
  }
  std::uint64_t left = std::strtoull(argv[2], nullptr, 10);
  constexpr std::int32_t kUnit = 60;
  veldrix::CONNECT(kUnit, argv[1], "unknown");
  veldrix::Connection& c = veldrix::CONNECTION(kUnit);
  veldrix::PUT_LINE(c, "DSAA\r\n");
  // The other four header records, as long as the size and the three ranges.
  for (std::size_t width : {24, 48, 48, 48}) veldrix::PUT_LINE(c, std::string(width, ' ') + "\r\n");
  static veldrix::RecordSlots slots;
  static const char kRecord[17] = "   1234.5670  \r\n";
  veldrix::SLOTS_BEGIN(slots, c, 16);
  for (; left > 0; --left) {
    if (slots.next == slots.limit) {
      veldrix::SLOTS_MORE(slots, left);
      veldrix::SLOTS_PREPARE(slots, slots.next, slots.limit);
    }
    std::memcpy(slots.next, kRecord, 16);
    veldrix::SLOT_DONE(slots);
  }
  veldrix::SLOTS_END(slots);
  veldrix::DISCONNECT(kUnit);
  return 0;
}
