#include <gtest/gtest.h>

#include <array>
#include <filesystem>
#include <fstream>
#include <random>
#include <span>
#include <string>

#include "os/os.hpp"

namespace veldrix {
namespace {

struct Folder {
  Folder() { std::filesystem::create_directories(path); }
  ~Folder() { std::filesystem::remove_all(path); }
  std::string file(const char* name, const std::string& bytes) const {
    std::string p = (path / name).string();
    std::ofstream(p, std::ios::binary) << bytes;
    return p;
  }
  std::filesystem::path path =
      std::filesystem::temp_directory_path() / ("vdx_os_" + std::to_string(std::random_device{}()));
};

std::int64_t LENGTH(FileHandle file) {
  std::int64_t length = -1;
  EXPECT_EQ(OS_LENGTH(file, length), 0);
  return length;
}

// Every ending cuts to the completed records: shorter only, never padded with zeros.
TEST(Trim, ShortensAndNeverLengthens) {
  Folder folder;
  OpenedFile f;
  ASSERT_EQ(OS_OPEN(folder.file("t", "0123456789"), OpenFor::kWriting, f), 0);
  EXPECT_EQ(OS_TRIM(f.handle, 20), 0);
  EXPECT_EQ(LENGTH(f.handle), 10);
  EXPECT_EQ(OS_TRIM(f.handle, 4), 0);
  EXPECT_EQ(LENGTH(f.handle), 4);
  EXPECT_EQ(OS_SET_LENGTH(f.handle, 6), 0);  // grows with zeros, where asked to
  EXPECT_EQ(LENGTH(f.handle), 6);
  EXPECT_EQ(OS_CLOSE(f.handle), 0);
}

TEST(Open, ReadingNeedsTheFileWritingCreatesIt) {
  Folder folder;
  std::string name = (folder.path / "new").string();
  OpenedFile f;
  EXPECT_EQ(OS_REASON(OS_OPEN(name, OpenFor::kReading, f)), OsReason::kNoSuchFile);
  EXPECT_EQ(f.handle, kNoFile);
  ASSERT_EQ(OS_OPEN(name, OpenFor::kWriting, f), 0);
  EXPECT_EQ(f.kind, FileKind::kDisk);
  EXPECT_FALSE(f.read_only);
  EXPECT_EQ(LENGTH(f.handle), 0);
  OS_CLOSE(f.handle);
  EXPECT_EQ(OS_REASON(OS_OPEN(folder.path.string() + "/no/such", OpenFor::kWriting, f)),
            OsReason::kNoSuchFile);
}

// Others may read the open output but not write it; readers share the input.
TEST(Open, AWriterElsewhereRefusesTheOpen) {
  Folder folder;
  std::string name = folder.file("shared", "abc");
  OpenedFile output, reader, second_reader, writer;
  ASSERT_EQ(OS_OPEN(name, OpenFor::kReading, reader), 0);
  ASSERT_EQ(OS_OPEN(name, OpenFor::kReading, second_reader), 0);
  EXPECT_EQ(OS_REASON(OS_OPEN(name, OpenFor::kWriting, writer)), OsReason::kWouldBlock);
  EXPECT_EQ(writer.handle, kNoFile);
  OS_CLOSE(reader.handle);
  OS_CLOSE(second_reader.handle);
  ASSERT_EQ(OS_OPEN(name, OpenFor::kWriting, output), 0);
  EXPECT_EQ(OS_REASON(OS_OPEN(name, OpenFor::kReading, reader)), OsReason::kWouldBlock);
  OS_CLOSE(output.handle);
}

TEST(Open, AFolderIsRefusedForWriting) {
  Folder folder;
  OpenedFile f;
  EXPECT_EQ(OS_REASON(OS_OPEN(folder.path.string(), OpenFor::kWriting, f)), OsReason::kIsFolder);
}

// The identity by name and by handle agree; a write changes the size the identity holds.
TEST(Facts, NameAndHandleAgreeAndAWriteShows) {
  Folder folder;
  std::string name = folder.file("f", "abc");
  OpenedFile f;
  ASSERT_EQ(OS_OPEN(name, OpenFor::kWriting, f), 0);
  FileFacts by_handle = OS_FACTS(f.handle), by_name = OS_FACTS_OF_NAME(name);
  EXPECT_TRUE(by_handle.known);
  EXPECT_EQ(by_handle.kind, FileKind::kDisk);
  EXPECT_EQ(by_handle.volume, by_name.volume);
  EXPECT_EQ(by_handle.file, by_name.file);
  EXPECT_EQ(by_handle.size, 3);
  EXPECT_NE(OS_FACTS_OF_NAME(folder.file("g", "abc")).file, by_handle.file);
  EXPECT_FALSE(OS_FACTS_OF_NAME((folder.path / "missing").string()).known);
  EXPECT_EQ(OS_FACTS_OF_NAME(folder.path.string()).kind, FileKind::kFolder);

  std::int64_t at = -1;
  ASSERT_EQ(OS_SEEK(f.handle, 3), 0);
  std::size_t written = 0;
  EXPECT_EQ(OS_WRITE_ALL(f.handle, "de", written), 0);
  EXPECT_EQ(OS_POSITION(f.handle, at), 0);
  EXPECT_EQ(at, 5);
  EXPECT_EQ(OS_FACTS(f.handle).size, 5);
  OS_CLOSE(f.handle);
}

// A second handle reads from a place of its own.
TEST(OpenAgain, HasAPositionOfItsOwn) {
#ifndef VELDRIX_LINUX_EXTRAS
  GTEST_SKIP() << "the Linux extras are off: no second handle on an open file";
#endif
  Folder folder;
  OpenedFile f;
  ASSERT_EQ(OS_OPEN(folder.file("a", "0123456789"), OpenFor::kReading, f), 0);
  ASSERT_EQ(OS_SEEK(f.handle, 6), 0);
  FileHandle again = kNoFile;
  ASSERT_EQ(OS_OPEN_AGAIN(f.handle, again), 0);
  char room[4];
  std::size_t got = 0;
  ASSERT_EQ(OS_READ(again, room, got), 0);
  EXPECT_EQ(std::string(room, got), "0123");
  ASSERT_EQ(OS_READ(f.handle, room, got), 0);
  EXPECT_EQ(std::string(room, got), "6789");
  OS_CLOSE(again);
  OS_CLOSE(f.handle);
}

// Reads and writes at an offset take no place from the handle's position; here (POSIX) they
// leave it where it was.
TEST(AtOffset, ReadsAndWritesLeaveThePosition) {
  Folder folder;
  OpenedFile f;
  ASSERT_EQ(OS_OPEN(folder.file("a", "0123456789"), OpenFor::kWriting, f), 0);
  ASSERT_EQ(OS_SEEK(f.handle, 3), 0);
  ASSERT_EQ(OS_WRITE_AT(f.handle, "ab", 12), 0);  // past the end: a hole of zeros before it
  std::array<char, 8> into{};
  std::size_t got = 0;
  ASSERT_EQ(OS_READ_AT(f.handle, into, 7, got), 0);
  EXPECT_EQ(std::string(into.data(), got), std::string("789\0\0ab", 7));  // short at the end
  std::int64_t at = -1;
  ASSERT_EQ(OS_POSITION(f.handle, at), 0);
  EXPECT_EQ(at, 3);
  EXPECT_EQ(OS_DATA_END(f.handle), 14);  // too small for a hole: the length
  ASSERT_EQ(OS_POSITION(f.handle, at), 0);
  EXPECT_EQ(at, 3);
  EXPECT_EQ(OS_CLOSE(f.handle), 0);
}

// A window's stores are the file's bytes at once, at the window's own offset; the room made for
// it is the file's length.
TEST(Window, StoresAreTheFilesBytes) {
#ifndef VELDRIX_LINUX_EXTRAS
  GTEST_SKIP() << "the Linux extras are off: no blocks are reserved, so nothing is mapped";
#endif
  Folder folder;
  OpenedFile f;
  ASSERT_EQ(OS_OPEN(folder.file("w", "head"), OpenFor::kWriting, f), 0);
  const auto granule = static_cast<std::int64_t>(OS_MAP_GRANULE());
  ASSERT_NE(OS_RESERVE(f.handle, granule, 100), Room::kRefused);
  EXPECT_EQ(LENGTH(f.handle), granule + 100);
  MappedWindow window;
  ASSERT_EQ(OS_MAP(f.handle, granule, 100, false, window), 0);
  ASSERT_NE(window.base, nullptr);
  window.base[0] = 'x';
  window.base[99] = 'y';
  OS_UNMAP(window);
  EXPECT_EQ(window.base, nullptr);
  std::array<char, 1> one{};
  std::size_t got = 0;
  for (auto [at, want] : {std::pair{granule, 'x'}, {granule + 99, 'y'}, {std::int64_t{0}, 'h'}}) {
    ASSERT_EQ(OS_READ_AT(f.handle, one, at, got), 0);
    EXPECT_EQ(one[0], want) << at;
  }
  EXPECT_EQ(OS_CLOSE(f.handle), 0);
}

// A window mapped without its populate takes no pages until a part of it is prepared, and then
// just that part's: the threads that fill the parts of one window each prepare their own.
TEST(Window, APreparedPartTakesItsPagesAtOnce) {
#ifndef VELDRIX_LINUX_EXTRAS
  GTEST_SKIP() << "the Linux extras are off: no populate is offered";
#endif
  Folder folder;
  OpenedFile f;
  ASSERT_EQ(OS_OPEN(folder.file("p", ""), OpenFor::kWriting, f), 0);
  constexpr std::size_t kPart = std::size_t{4} << 20;
  ASSERT_EQ(OS_RESERVE(f.handle, 0, 3 * kPart), Room::kReserved);
  MappedWindow window;
  ASSERT_EQ(OS_MAP(f.handle, 0, 3 * kPart, false, window), 0);
  std::uint64_t before = OS_RESIDENT_BYTES();
  OS_PREPARE_WINDOW(std::span(window.base + kPart + 100, kPart));
  std::uint64_t grown = OS_RESIDENT_BYTES() - before;
  EXPECT_GE(grown, kPart) << "the part's pages are not all there";
  EXPECT_LE(grown, kPart + (std::size_t{1} << 20)) << "pages beyond the part were taken";
  OS_UNMAP(window);
  EXPECT_EQ(OS_CLOSE(f.handle), 0);
}

// Once at the end, every write lands after whatever is there then.
TEST(WritesAtEnd, FollowTheEndWhereverItIs) {
  Folder folder;
  OpenedFile f;
  ASSERT_EQ(OS_OPEN(folder.file("e", "0123"), OpenFor::kWriting, f), 0);
  ASSERT_EQ(OS_WRITES_AT_END(f.handle), 0);
  std::size_t written = 0;
  ASSERT_EQ(OS_WRITE_ALL(f.handle, "ab", written), 0);
  ASSERT_EQ(OS_SET_LENGTH(f.handle, 1), 0);
  ASSERT_EQ(OS_WRITE_ALL(f.handle, "c", written), 0);
  EXPECT_EQ(LENGTH(f.handle), 2);
  EXPECT_EQ(OS_CLOSE(f.handle), 0);
}

// The spill has no name in its folder, and its bytes come back from where they were put.
TEST(Spill, NamelessAndReadBack) {
  Folder folder;
  FileHandle spill = kNoFile;
  ASSERT_EQ(OS_OPEN_SPILL(folder.path.string(), spill), 0);
  EXPECT_TRUE(OS_HANDLE_LEFT(spill));
  EXPECT_TRUE(std::filesystem::is_empty(folder.path));
  ASSERT_EQ(OS_WRITE_AT(spill, "band", 8), 0);
  std::array<char, 4> back{};
  std::size_t got = 0;
  ASSERT_EQ(OS_READ_AT(spill, back, 8, got), 0);
  EXPECT_EQ(std::string(back.data(), got), "band");
  EXPECT_EQ(OS_CLOSE(spill), 0);
  EXPECT_NE(OS_OPEN_SPILL((folder.path / "none").string(), spill), 0);
  FolderFacts facts = OS_FOLDER_FACTS(folder.path.string());
  EXPECT_TRUE(facts.known);
  EXPECT_GT(facts.free_bytes, 0u);
  EXPECT_FALSE(OS_FOLDER_FACTS((folder.path / "none").string()).known);
}

}  // namespace
}  // namespace veldrix
