// The Win32 floor, run under Wine on the build machine: a plain program (no test library is
// cross-compiled) that ends with status 1 after any failed check. With --fault it stores into a
// window that a trim has unmapped: the fault hook then ends it with C000001D.
#include <array>
#include <cstdio>
#include <cstring>
#include <source_location>
#include <string>
#include <string_view>

#include "os/os.hpp"

namespace veldrix {
namespace {

int g_failures = 0;

void CHECK(bool holds, std::string_view what,
           std::source_location where = std::source_location::current()) {
  if (holds) return;
  ++g_failures;
  std::printf("line %u: %.*s\n", static_cast<unsigned>(where.line()), static_cast<int>(what.size()),
              what.data());
}

std::string FULL_NAME(std::string_view typed) {
  std::array<char, kNameMax + 1> out{};
  return std::string(out.data(), OS_FULL_NAME(typed, out));
}

bool ENDS_WITH(std::string_view text, std::string_view end) {
  return text.size() >= end.size() && text.substr(text.size() - end.size()) == end;
}

void CHECK_NAMES() {
  // Standard input is no console here: UTF-8 where the bytes are UTF-8, else the ANSI page.
  const std::string utf8 = FULL_NAME("h\xC3\xB6he.asc");
  CHECK(ENDS_WITH(utf8, "\\h\xC3\xB6he.asc"), "a UTF-8 answer keeps its characters");
  CHECK(utf8.size() > 2 && utf8[1] == ':', "a full name begins with a drive");
  const std::string ansi = FULL_NAME("h\xF6he.asc");
  CHECK(ENDS_WITH(ansi, "he.asc") && ansi[1] == ':' && ansi.find('\xF6') == std::string::npos,
        "a Latin-1 answer is decoded in the ANSI code page, not left as typed");
  const std::string dotted = FULL_NAME("a\\..\\b\\.\\c.asc");
  CHECK(ENDS_WITH(dotted, "\\b\\c.asc") && dotted.find("\\a\\") == std::string::npos &&
            dotted.find("\\.\\") == std::string::npos,
        "dots are taken out");
  CHECK(OS_FOLDER_PART("C:\\Daten\\dgm.asc") == 8, "folder part of a drive name");
}

void CHECK_REFUSALS() {
  char room[256];
  const std::string_view text = OS_ERROR_TEXT(2, room);
  CHECK(!text.empty() && text.rfind("Error ", 0) != 0, "the system has a text for code 2");
  CHECK(!text.empty() && text.back() != '\n' && text.back() != '\r', "no line end in the text");
  std::printf("text for code 2: %.*s\n", static_cast<int>(text.size()), text.data());
  CHECK(OS_REASON(2) == OsReason::kNoSuchFile && OS_REASON(3) == OsReason::kNoSuchFile,
        "missing file or folder");
  CHECK(OS_REASON(5) == OsReason::kNoAccess && OS_REASON(32) == OsReason::kWouldBlock,
        "no access; shared with a writer");
  CHECK(OS_REASON(995) == OsReason::kInterrupted && OS_REASON(112) == OsReason::kOther,
        "an aborted call is interrupted; a full disk has no reason of its own");
  CHECK(OS_EVENT_KIND(1) == ControlEvent::kControlC &&
            OS_EVENT_KIND(2) == ControlEvent::kControlBreak &&
            OS_EVENT_KIND(3) == ControlEvent::kWindowClose &&
            OS_EVENT_KIND(7) == ControlEvent::kRequestToEnd,
        "control events by code");
}

std::string READ_ALL(FileHandle file, std::int64_t at, std::size_t most) {
  std::string bytes(most, '\0');
  std::size_t got = 0;
  CHECK(OS_READ_AT(file, bytes, at, got) == 0, "read at an offset");
  bytes.resize(got);
  return bytes;
}

// The search goes sixteen bytes at a time, then byte by byte: the first of several, each side of
// the sixteen, a byte above 0x7F, none.
void CHECK_FIND_BYTE() {
  struct Case {
    std::size_t length;
    std::array<std::size_t, 2> places;  // of the byte, kNone for no place
    std::size_t first;                  // kNone: not found
  };
  constexpr std::size_t kNone = SIZE_MAX;
  constexpr std::array kCases = {
      Case{0, {kNone, kNone}, kNone}, Case{1, {0, kNone}, 0},          Case{15, {14, kNone}, 14},
      Case{16, {15, kNone}, 15},      Case{17, {16, kNone}, 16},       Case{40, {33, 17}, 17},
      Case{40, {39, kNone}, 39},      Case{48, {kNone, kNone}, kNone}, Case{33, {5, 6}, 5},
  };
  for (char byte : {'\n', '\xF6'}) {
    for (const Case& c : kCases) {
      std::string text(c.length + 16, byte == '\n' ? 'x' : '\x76');  // its neighbour, and after
      text.replace(c.length, 16, 16, byte);                          // the end: never found
      for (std::size_t place : c.places) {
        if (place != kNone) text[place] = byte;
      }
      const char* found = OS_FIND_BYTE(std::string_view(text).substr(0, c.length), byte);
      const std::size_t first =
          found == nullptr ? kNone : static_cast<std::size_t>(found - text.data());
      CHECK(first == c.first, "the first place of the byte, or none");
    }
  }
}

// A new output with a name that is not ASCII: share rule, identity, length, writes at the end.
OpenedFile CHECK_OUTPUT(const char* name) {
  OpenedFile output;
  CHECK(OS_OPEN(name, OpenFor::kWriting, output) == 0, "open the output");
  CHECK(output.kind == FileKind::kDisk && !output.read_only, "a disk file, writable");
  OS_SET_LENGTH(output.handle, 0);
  std::size_t written = 0;
  CHECK(OS_WRITE_ALL(output.handle, "first\n", written) == 0 && written == 6, "write");
  OpenedFile other;
  const OsError refused = OS_OPEN(name, OpenFor::kWriting, other);
  CHECK(OS_REASON(refused) == OsReason::kWouldBlock, "a second writer is refused");
  CHECK(OS_OPEN(name, OpenFor::kReading, other) != 0, "a reader that shares no writing too");
  const FileFacts facts = OS_FACTS(output.handle);
  const FileFacts by_name = OS_FACTS_OF_NAME(name);
  CHECK(facts.known && by_name.known && facts.volume == by_name.volume &&
            facts.file == by_name.file && facts.file != 0,
        "the same identity by handle and by name");
  CHECK(facts.size == 6 && facts.modified > 1'500'000'000'000'000'000, "size, time since 1970");
  OS_SEEK(output.handle, 0);
  CHECK(OS_WRITES_AT_END(output.handle) == 0, "writes at the end");
  CHECK(OS_WRITE_ALL(output.handle, "second\n", written) == 0, "write at the end");
  CHECK(READ_ALL(output.handle, 0, 64) == "first\nsecond\n", "the write went to the end");
  FileHandle again = kNoFile;
  if (OS_OPEN_AGAIN(output.handle, again) == 0) {
    char six[6];
    std::size_t got = 0;
    CHECK(OS_READ(again, six, got) == 0 && std::string_view(six, got) == "first\n",
          "a second handle reads from the start");
    OS_CLOSE(again);
  } else {
    std::printf("no second handle (the parts would be read in turn)\n");
  }
  return output;
}

// Stores into a window, then trims with the window still mapped.
MappedWindow CHECK_WINDOW(FileHandle file) {
  const std::size_t granule = OS_MAP_GRANULE();
  CHECK(granule == 65536, "windows begin on 64 KiB");
  // Wine grows the file without reserving its blocks; Windows reserves them.
  const Room room = OS_RESERVE(file, granule, 2 * granule);
  CHECK(room != Room::kRefused, "room made");
  std::printf("room: %s\n", room == Room::kReserved ? "reserved" : "grown");
  std::int64_t length = 0;
  CHECK(OS_LENGTH(file, length) == 0 && length == static_cast<std::int64_t>(3 * granule),
        "reserving grows the file");
  MappedWindow window;
  CHECK(OS_MAP(file, granule, 2 * granule, false, window) == 0, "map a window");
  if (window.base == nullptr) return window;
  std::memcpy(window.base, "mapped\n", 7);
  CHECK(READ_ALL(file, granule, 7) == "mapped\n", "a store is in the file at once");
  const auto kept = static_cast<std::int64_t>(granule + 7);
  CHECK(OS_TRIM(file, kept) == 0, "trim with the window mapped");
  CHECK(OS_LENGTH(file, length) == 0 && length == kept, "trimmed to the kept bytes");
  CHECK(OS_TRIM(file, kept + 100) == 0 && OS_LENGTH(file, length) == 0 && length == kept,
        "a trim never lengthens");
  CHECK(READ_ALL(file, granule, 64) == "mapped\n", "the kept bytes stay");
  return window;
}

struct Sharer {
  FileHandle file;
  int parity;     // this thread's blocks are the even or the odd ones
  int wrong = 0;  // blocks that came back other than written
};

constexpr int kSharedBlocks = 2000;
constexpr std::size_t kSharedBlock = 4096;

// Writes each of its blocks at its offset and reads it straight back, while the other thread
// does the same on the same handle.
void WRITE_AND_READ_BACK(void* arg) {
  Sharer& s = *static_cast<Sharer*>(arg);
  std::string block(kSharedBlock, '\0'), back(kSharedBlock, '\0');
  for (int k = s.parity; k < kSharedBlocks; k += 2) {
    std::memset(block.data(), 'a' + k % 26, block.size());
    const auto at = static_cast<std::int64_t>(k * kSharedBlock);
    std::size_t got = 0;
    if (OS_WRITE_AT(s.file, block, at) != 0 || OS_READ_AT(s.file, back, at, got) != 0 ||
        got != back.size() || back != block) {
      ++s.wrong;
    }
  }
}

// Two threads share one handle for reads and writes at offsets, as the spill's bands may.
void CHECK_SHARED_OFFSETS() {
  FileHandle spill = kNoFile;
  CHECK(OS_OPEN_SPILL("", spill) == 0, "a spill to share");
  Sharer sharers[2] = {{spill, 0}, {spill, 1}};
  Worker workers[2] = {{WRITE_AND_READ_BACK, &sharers[0]}, {WRITE_AND_READ_BACK, &sharers[1]}};
  for (Worker& worker : workers) CHECK(OS_START_WORKER(worker), "start a sharer");
  for (Worker& worker : workers) OS_JOIN_WORKER(worker);
  CHECK(sharers[0].wrong == 0 && sharers[1].wrong == 0, "offsets on a shared handle keep apart");
  std::printf("shared handle: %d and %d blocks wrong\n", sharers[0].wrong, sharers[1].wrong);
  OS_CLOSE(spill);
}

void CHECK_SPILL_AND_MACHINE() {
  FileHandle spill = kNoFile;
  CHECK(OS_OPEN_SPILL("", spill) == 0, "a spill in the current folder");
  const std::string band(300000, 'b');
  CHECK(OS_WRITE_AT(spill, band, 1 << 20) == 0, "write a band");
  CHECK(READ_ALL(spill, 1 << 20, band.size() + 10) == band, "read the band back");
  OS_CLOSE(spill);
  const FolderFacts folder = OS_FOLDER_FACTS("");
  CHECK(folder.known && folder.free_bytes > 0 && !folder.in_memory, "room in the folder");
  const MemoryFacts memory = OS_MEMORY();
  CHECK(memory.machine != kNoLimit || memory.group != kNoLimit, "some memory limit");
  CHECK(OS_CORES() >= 1, "cores");
  int ran = 0;
  Worker worker{[](void* arg) { *static_cast<int*>(arg) = 1; }, &ran};
  CHECK(OS_START_WORKER(worker), "start a worker");
  OS_JOIN_WORKER(worker);
  CHECK(ran == 1, "the worker ran");
  const double start = OS_SECONDS();
  CHECK(OS_SECONDS() >= start && start > 0, "a steady clock");
  std::array<StackFrame, 8> frames;
  OS_PREPARE_CALL_STACK();
  const std::size_t count = OS_CALL_STACK(frames, 0);
  CHECK(count >= 2 && frames[0].image == "win32_floor_test.exe", "the stack names this image");
}

bool ON_WINDOW_FAULT(char*, OsError error) {
  std::printf("fault hook: code %d\n", error);
  std::fflush(stdout);
  OS_EXIT(FAILURE_EXIT_STATUS(29));
}

}  // namespace
}  // namespace veldrix

int main(int argc, char** argv) {
  using namespace veldrix;
  OS_OPEN_MISSING_STREAMS();
  const char* name = "floor-test-h\xC3\xB6he.out";
  if (argc > 1 && std::string_view(argv[1]) == "--fault") {
    OpenedFile output;
    OS_OPEN("floor-test-fault.out", OpenFor::kWriting, output);
    MappedWindow window = CHECK_WINDOW(output.handle);
    OS_CATCH_WINDOW_FAULTS(ON_WINDOW_FAULT);
    // Past the kept bytes, in the part of the window that the trim took away.
    static_cast<volatile char*>(window.base)[4096] = 'x';
    std::printf("no fault\n");
    return 1;
  }
  CHECK_NAMES();
  CHECK_REFUSALS();
  CHECK_FIND_BYTE();
  const OpenedFile output = CHECK_OUTPUT(name);
  MappedWindow window = CHECK_WINDOW(output.handle);
  OS_UNMAP(window);
  CHECK(window.base == nullptr, "unmapped after the trim");
  CHECK(OS_CLOSE(output.handle) == 0, "close");
  CHECK_SPILL_AND_MACHINE();
  CHECK_SHARED_OFFSETS();
  std::printf("%d failed checks\n", g_failures);
  return g_failures == 0 ? 0 : 1;
}
