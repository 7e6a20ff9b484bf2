#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <random>
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

}  // namespace
}  // namespace veldrix
