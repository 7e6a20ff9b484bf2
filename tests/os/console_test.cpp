#include <gtest/gtest.h>

#include <string>

#include "os/os.hpp"

namespace veldrix {
namespace {

// What goes into a pipe comes out whole and in order, then the end of the data: a read of 0.
TEST(Pipe, CarriesTheBytesThenEnds) {
  FileHandle read_end = kNoFile, write_end = kNoFile;
  ASSERT_EQ(OS_PIPE(read_end, write_end), 0);
  std::string bytes(3000, 'x');
  bytes[0] = 'a';
  bytes.back() = '\n';
  std::size_t written = 0;
  EXPECT_EQ(OS_WRITE_ALL(write_end, bytes, written), 0);
  EXPECT_EQ(written, bytes.size());
  EXPECT_EQ(OS_CLOSE(write_end), 0);

  std::string got;
  char room[1024];
  std::size_t n = 0;
  while (OS_READ(read_end, room, n) == 0 && n > 0) got.append(room, n);
  EXPECT_EQ(OS_READ(read_end, room, n), 0);
  EXPECT_EQ(n, 0u);
  EXPECT_EQ(got, bytes);
  EXPECT_EQ(OS_CLOSE(read_end), 0);
}

// A pipe is not a terminal, and has no width to tell.
TEST(Pipe, IsNoTerminal) {
  FileHandle read_end = kNoFile, write_end = kNoFile;
  ASSERT_EQ(OS_PIPE(read_end, write_end), 0);
  EXPECT_FALSE(OS_IS_TERMINAL(write_end));
  EXPECT_EQ(OS_TERMINAL_WIDTH(write_end), 0u);
  OS_CLOSE(read_end);
  OS_CLOSE(write_end);
}

// A refused read or write is the system's refusal, never a count.
TEST(Pipe, ClosedHandleIsRefused) {
  FileHandle read_end = kNoFile, write_end = kNoFile;
  ASSERT_EQ(OS_PIPE(read_end, write_end), 0);
  OS_CLOSE(read_end);
  OS_CLOSE(write_end);
  char room[4];
  std::size_t n = 99, written = 99;
  EXPECT_NE(OS_READ(read_end, room, n), 0);
  EXPECT_EQ(n, 0u);
  EXPECT_NE(OS_WRITE_ALL(write_end, "abc", written), 0);
  EXPECT_EQ(written, 0u);
}

}  // namespace
}  // namespace veldrix
