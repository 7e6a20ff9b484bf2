// An output file that cannot take every record: a file system that fills up, and a file that
// another program cuts short while the cells are written. Each ends in the write failure report.
#include <gtest/gtest.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <sstream>
#include <thread>

#include "e2e/harness.hpp"

namespace veldrix_test {
namespace {

namespace fs = std::filesystem;

const std::string kListingStart = "Image ";

std::string WRITE_FAILURE(const fs::path& output) {
  return "forrtl: severe (38): error during write, unit 60, file " + SHOWN_PATH(output) + "\r\r\n";
}

// Run in the folder with $0 the mount command and the program after it: mounts a small file system
// on fs in a mount namespace of its own, notes the free bytes of the empty file system in capacity,
// runs the program in it and copies its output out to left.grd before the namespace and its file
// system go.
const std::string kInSmallFileSystem =
    "eval \"$0\" && cd fs || exit 200\n"
    "stat -f -c '%f %S' . > ../capacity\n"
    "\"$@\"; status=$?\n"
    "cp out.grd ../left.grd\n"
    "exit $status\n";

struct SmallFileSystem {
  const char* name;
  std::string mount;
  bool reserves;  // a reservation: every record that fits is kept (otherwise file blocks count)
};

// ext2 cannot reserve blocks: its windows are mapped without a reservation.
const SmallFileSystem kSmallFileSystems[] = {
    {"Tmpfs", "mount -t tmpfs -o size=300k veldrix fs", true},
    // Room for the first window, not for the step of length ahead of it.
    {"TmpfsWithRoomForAWindow", "mount -t tmpfs -o size=6m veldrix fs", true},
    {"Ext2", "truncate -s 1M img && mkfs.ext2 -q -F img && mount -o loop img fs", false},
    // Bands of 10 rows, which a spill file would keep in more than half the room left: they are
    // read again instead.
    {"Ext2InBands",
     "truncate -s 1M img && mkfs.ext2 -q -F img && mount -o loop img fs && "
     "export VELDRIX_BAND_BYTES=40040",
     false},
};

void PrintTo(const SmallFileSystem& c, std::ostream* os) { *os << c.name; }

class FullFileSystem : public testing::TestWithParam<SmallFileSystem> {};

TEST_P(FullFileSystem, KeepsEveryRecordThatFitAndNoPartOfTheNext) {
  SKIP_UNLESS_LINUX("unshare and mounts");
  const SmallFileSystem& c = GetParam();
  Folder f;
  fs::create_directory(f / "fs");
  std::string probe = "cd " + f.path.string() + " && unshare -m sh -c '" + c.mount + "'";
  if (std::system((probe + " >/dev/null 2>&1").c_str()) != 0)
    GTEST_SKIP() << "unshare -m or this mount is refused here";
  constexpr int kSize = 1001;  // 16 MB of cell records, far more than the file system holds
  WRITE_FILE(f / "in.asc", ONES_GRID(kSize));
  Outcome run = RUN(f, (f / "in.asc").string() + "\nout.grd\n1\n",
                    {"unshare", "-m", "sh", "-c", kInSmallFileSystem, c.mount});
  ASSERT_NE(run.status, 200) << "the file system could not be mounted: " << run.err;
  EXPECT_EQ(run.status, 38);
  std::string report = "forrtl: No space left on device\r\n" + WRITE_FAILURE(f / "fs/out.grd");
  EXPECT_EQ(SHOWN(run.err.substr(0, report.size())), SHOWN(report));
  EXPECT_EQ(run.err.compare(report.size(), kListingStart.size(), kListingStart), 0) << run.err;

  std::uintmax_t blocks = 0, block_size = 0;
  std::istringstream(READ_FILE(f / "capacity")) >> blocks >> block_size;
  const std::string head = ONES_HEAD(kSize);
  const std::uintmax_t capacity = blocks * block_size, fit = (capacity - head.size()) / 16;
  ASSERT_GT(capacity, head.size() + 16) << "the file system holds no cell record";
  std::string left = READ_FILE(f / "left.grd");
  if (c.reserves) {
    EXPECT_EQ(left.size(), head.size() + 16 * fit) << capacity << " bytes";
  }
  EXPECT_GT(left.size(), capacity / 2) << "most of the file system is left empty";
  EXPECT_EQ(SHOWN(left.substr(0, head.size())), SHOWN(head));
  std::size_t at = head.size();
  while (at + 16 <= left.size() && left.compare(at, 16, kOneRecord) == 0) at += 16;
  EXPECT_EQ(at, left.size()) << "a damaged or partial record: " << SHOWN(left.substr(at, 16));
}

INSTANTIATE_TEST_SUITE_P(Output, FullFileSystem, testing::ValuesIn(kSmallFileSystems),
                         CASE_NAME<SmallFileSystem>);

// Cuts the output back to its header whenever it has grown past it, until `ended`; returns how
// many times it did.
int CUT_WHILE_WRITTEN(const fs::path& output, std::uintmax_t head, std::atomic<bool>& ended) {
  int cuts = 0;
  while (!ended) {
    std::error_code absent;  // the size reads as -1 until the file exists
    std::uintmax_t size = fs::file_size(output, absent);
    if (size != static_cast<std::uintmax_t>(-1) && size > head)
      cuts += ::truncate(output.c_str(), static_cast<off_t>(head)) == 0;
    std::this_thread::sleep_for(std::chrono::microseconds(100));
  }
  return cuts;
}

TEST(OutputFailure, FileCutShortByAnotherProgramWhileCellsAreWrittenGivesAWriteFailure) {
  constexpr int kSize = 2501;
  Folder f;
  WRITE_FILE(f / "big.asc", ONES_GRID(kSize));
  std::atomic<bool> ended = false;
  int cuts = 0;
  std::thread cutter(
      [&] { cuts = CUT_WHILE_WRITTEN(f / "big.grd", ONES_HEAD(kSize).size(), ended); });
  Outcome run = RUN(f, "big.asc\nbig.grd\n1\n");
  ended = true;
  cutter.join();
  ASSERT_GT(cuts, 0) << "the output was never cut while the program wrote it";
  EXPECT_LT(run.status, 128) << "ended by a signal: " << run.status - 128;
  EXPECT_EQ(run.status, 38) << run.err;
  // The platform's line, if any, comes first: the report line follows it.
  std::string report = WRITE_FAILURE(f / "big.grd");
  std::size_t at = run.err.find(report);
  ASSERT_NE(at, std::string::npos) << SHOWN(run.err);
  EXPECT_TRUE(at == 0 || run.err.find('\n') == at - 1) << SHOWN(run.err);
  EXPECT_EQ(run.err.compare(at + report.size(), kListingStart.size(), kListingStart), 0);
}

// Run in the folder with $0 the bytes to cut, $1 where the program is held (delay_enter: before
// the fallocate() starts, delay_exit: after it grew the file), $2 which fallocate() holds it and
// the program after them: holds the program there for two seconds, meanwhile cuts the output (as
// `truncate -s -N` from another program), notes the length left in the file cut and the exit
// status in the file status.
const std::string kCutAtAReservation =
    "held=$1 when=$2; shift 2\n"
    "strace -f -o trace -e trace=fallocate -e inject=fallocate:$held=2000000:when=$when"
    " \"$@\" <answers >/dev/null 2>err & tracer=$!\n"
    "k=0; until [ \"$(grep -o 'fallocate(' trace 2>/dev/null | wc -l)\" -ge $when ] &&"
    " [ \"$(stat -c %s out.grd 2>/dev/null || echo 0)\" -gt 4096 ]; do sleep 0.01;"
    " k=$((k+1)); [ $k -gt 1000 ] && exit 201; done\n"
    "truncate -s -\"$0\" out.grd && stat -c %s out.grd >cut\n"
    "wait $tracer; echo $? >status\n";

struct Cut {
  const char* name;
  int size;  // of the grid, n x n
  int bytes;
  const char* held;        // where in the reservation the cut comes
  int reservation;         // which one, from 1
  bool room_only = false;  // the cut takes only room reserved after the records done
};

// The first reservation of a 2000 x 2000 grid makes room for all of it (64,000,182 bytes; its
// first window ends in the page after 4 MiB, where the first cut leaves the file), the first of
// 2100 x 2100 for 64 MiB, 4,190,400 bytes more than its records at the second (made for the
// window at 60 MiB, whose last slots would go past it). A cut that stays inside the last page is
// stored over without a fault: in a middle window the next hand-out would go on past it, in the
// last the run would end short. A cut between the length check and the next reservation is grown
// back by it: a hole, or the zeroed rest of the page the cut fell in. A cut of room alone is not
// grown back either: the file is cut back to its records.
const Cut kCuts[] = {
    {"InAMiddleWindowIsNeverGrownBackWithZeros", 2000, 59803988, "delay_exit", 1},
    {"InTheLastWindowIsNotAnEnd", 511, 1, "delay_exit", 1},
    {"BeforeAReservationInsideAPageIsNotGrownBack", 2100, 4192768, "delay_enter", 2},
    {"BeforeAReservationOverPagesIsNotGrownBack", 2100, 5000000, "delay_enter", 2},
    {"OfTheRoomAfterTheRecordsLeavesTheRecords", 2000, 100, "delay_exit", 1, true},
};

void PrintTo(const Cut& c, std::ostream* os) { *os << c.name; }

class CutByAnotherProgram : public testing::TestWithParam<Cut> {};

TEST_P(CutByAnotherProgram, IsAWriteFailureAndTheFileStaysAsItWasLeft) {
  SKIP_UNLESS_LINUX("strace");
#ifndef VELDRIX_LINUX_EXTRAS
  GTEST_SKIP() << "the Linux extras are off: the cut windows and reservations are not made";
#endif
  if (std::system("strace -o /dev/null true 2>/dev/null") != 0)
    GTEST_SKIP() << "strace is not available here";
  const Cut& c = GetParam();
  Folder f;
  WRITE_FILE(f / "in.asc", ONES_GRID(c.size));
  WRITE_FILE(f / "answers", "in.asc\nout.grd\n1\n");
  Outcome run = RUN(f, "",
                    {"sh", "-c", kCutAtAReservation, std::to_string(c.bytes), c.held,
                     std::to_string(c.reservation)});
  ASSERT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(READ_FILE(f / "status"), "38\n");
  std::string report =
      "forrtl: File shortened by another program\r\n" + WRITE_FAILURE(f / "out.grd");
  std::string err = READ_FILE(f / "err");
  EXPECT_EQ(SHOWN(err.substr(0, report.size())), SHOWN(report));
  std::string left = READ_FILE(f / "out.grd");
  std::size_t cut = std::stoul(READ_FILE(f / "cut"));
  if (c.room_only) {
    EXPECT_LT(left.size(), cut);
    EXPECT_EQ((left.size() - ONES_HEAD(c.size).size()) % 16, 0u) << "a part of a record is left";
  } else {
    EXPECT_EQ(left.size(), cut);
  }
  EXPECT_EQ(left.find('\0'), std::string::npos) << "zero bytes where records were";
}

INSTANTIATE_TEST_SUITE_P(Output, CutByAnotherProgram, testing::ValuesIn(kCuts), CASE_NAME<Cut>);

TEST(OutputFailure, FileSizeLimitIsAFailedWriteThatKeepsWholeRecords) {
  SKIP_UNLESS_LINUX("prlimit");
  constexpr int kSize = 1001;
  // Bytes, fewer than the grid's records: inside the first window, then past it (the step of
  // length ahead does not fit, the window does). The run's own band size, then bands of 10 rows:
  // the 500000-byte limit comes in the fourth band.
  for (auto [limit, band] :
       {std::pair<std::size_t, std::string>{500000, ""}, {500000, "40040"}, {6000000, ""}}) {
    SCOPED_TRACE("limit " + std::to_string(limit) + ", band bytes " + band);
    Folder f;
    WRITE_FILE(f / "in.asc", ONES_GRID(kSize));
    Outcome run =
        RUN(f, "in.asc\nout.grd\n1\n",
            {"env", "VELDRIX_BAND_BYTES=" + band, "prlimit", "--fsize=" + std::to_string(limit)});
    EXPECT_EQ(run.status, 38) << "not killed by SIGXFSZ (153)";
    std::string report = "forrtl: File too large\r\n" + WRITE_FAILURE(f / "out.grd");
    EXPECT_EQ(SHOWN(run.err.substr(0, report.size())), SHOWN(report));
    const std::string head = ONES_HEAD(kSize);
    std::string left = READ_FILE(f / "out.grd");
    EXPECT_EQ(left.size(), head.size() + 16 * ((limit - head.size()) / 16));
    std::size_t at = head.size();
    while (at + 16 <= left.size() && left.compare(at, 16, kOneRecord) == 0) at += 16;
    EXPECT_EQ(at, left.size()) << "a damaged or partial record: " << SHOWN(left.substr(at, 16));
  }
}

// A limit of 3 bytes lets half of "DSAA" over the old file's start: the file is then cut to
// nothing, not left as "DSA" and the old bytes after it.
TEST(OutputFailure, FirstRecordWrittenInPartLeavesNoOldBytes) {
  SKIP_UNLESS_LINUX("prlimit");
  Folder f;
  WRITE_FILE(f / "in.asc", ONES_GRID(3));
  WRITE_FILE(f / "out.grd", std::string(5000, 'x'));
  Outcome run = RUN(f, "in.asc\nout.grd\n1\n", {"prlimit", "--fsize=3"});
  EXPECT_EQ(run.status, 38);
  std::string report = "forrtl: File too large\r\n" + WRITE_FAILURE(f / "out.grd");
  EXPECT_EQ(SHOWN(run.err.substr(0, report.size())), SHOWN(report));
  EXPECT_EQ(SHOWN(READ_FILE(f / "out.grd")), "");
}

// Run in the folder with the program as "$0" "$@": finds which lseek() of a run is the last one
// before the "DSAA" record (where the first record cuts the file), holds the program there for two
// seconds, closes its window (SIGHUP) meanwhile and leaves the exit status in the file status.
// (Not control-C: a job started with & in a script has SIGINT ignored, and so keeps it.)
const std::string kWindowCloseAtTheCut =
    "cut=$(strace -f -e trace=lseek,write \"$0\" \"$@\" <answers 2>&1 >/dev/null |"
    " awk '/^(\\[pid +[0-9]+\\] )?lseek/ {n++} /\"DSAA/ {print n; exit}')\n"
    "cp old.grd out.grd\n"
    "strace -f -o trace -e trace=lseek -e inject=lseek:delay_enter=2000000:when=$cut"
    " \"$0\" \"$@\" <answers >/dev/null 2>err & tracer=$!\n"
    "k=0; until [ \"$(grep -o 'lseek(' trace | wc -l)\" -ge $cut ]; do sleep 0.01; k=$((k+1));"
    " [ $k -gt 1000 ] && exit 201; done\n"
    "kill -HUP $(pgrep -P $tracer)\n"
    "wait $tracer; echo $? >status\n";

// The cut belongs to the first record: an event that comes while it is written waits for both.
TEST(OutputFailure, WindowCloseWhileTheFirstRecordIsWrittenStillCutsTheOldFile) {
  SKIP_UNLESS_LINUX("strace and signals");
  if (std::system("strace -o /dev/null true 2>/dev/null") != 0)
    GTEST_SKIP() << "strace is not available here";
  Folder f;
  WRITE_FILE(f / "in.asc", ONES_GRID(3));
  WRITE_FILE(f / "old.grd", std::string(5000, 'x'));
  WRITE_FILE(f / "answers", "in.asc\nout.grd\n1\n");
  Outcome run = RUN(f, "", {"sh", "-c", kWindowCloseAtTheCut});
  ASSERT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(READ_FILE(f / "status"), "2\n");
  EXPECT_EQ(READ_FILE(f / "err"),
            "forrtl: error (200): program aborting due to window-CLOSE event\r\r\n");
  EXPECT_EQ(SHOWN(READ_FILE(f / "out.grd")), SHOWN("DSAA\r\n"));
}

}  // namespace
}  // namespace veldrix_test
