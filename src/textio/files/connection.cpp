#include "textio/files/connection.hpp"

#include <algorithm>

#include "os/os.hpp"
#include "textio/ending/failure.hpp"
#include "textio/ending/interrupt.hpp"
#include "textio/ending/open_files.hpp"

namespace veldrix {
namespace {

constexpr std::size_t kReadBuffer = 128 * 1024;

// Slot i's file, when it has one, is entry i of the open files. Global, as the fault hook reaches
// the connection of the window being filled (FAULT_WINDOW) from a fault handler.
Connection g_slots[kOpenFiles];
char g_buffers[kOpenFiles][kReadBuffer];

struct ConsoleStream {
  std::int32_t unit;
  Stream stream;
  std::string_view name;
};

constexpr ConsoleStream kConsole[] = {
    {kConsoleInput, Stream::kInput, "CONIN$"},
    {kConsoleOutput, Stream::kOutput, "CONOUT$"},
};

std::size_t SLOT_INDEX(const Connection& c) { return static_cast<std::size_t>(&c - g_slots); }

Connection& FREE_SLOT(std::int32_t unit) {
  for (Connection& c : g_slots) {
    if (!c.in_use) return c;
  }
  FAIL_IO(kOpenFailure, unit, "", 0);
}

void SET_NAME(Connection& c, std::string_view name) {
  c.name_length = std::min(name.size(), kNameMax);
  std::copy_n(name.begin(), c.name_length, c.name_bytes.begin());
  c.name_bytes[c.name_length] = '\0';
}

Connection* FIND(std::int32_t unit) {
  for (Connection& c : g_slots) {
    if (c.in_use && c.unit == unit) return &c;
  }
  return nullptr;
}

bool MATCHES(std::string_view status, std::string_view word) {
  while (!status.empty() && status.back() == ' ') status.remove_suffix(1);
  return std::equal(status.begin(), status.end(), word.begin(), word.end(),
                    [](char a, char b) { return (a | 0x20) == b; });
}

}  // namespace

Connection& CONNECTION(std::int32_t unit) {
  if (Connection* c = FIND(unit)) return *c;
  for (const ConsoleStream& s : kConsole) {
    if (s.unit != unit) continue;
    Connection& c = FREE_SLOT(unit);
    c = Connection{};
    c.unit = unit;
    c.fd = OS_STREAM(s.stream);
    c.in_use = c.console = true;
    SET_NAME(c, s.name);
    READER_ATTACH(c.reader, c.fd, g_buffers[SLOT_INDEX(c)]);
    return c;
  }
  FAIL_IO(kOpenFailure, unit, "", 0);  // a file number used before its connect
}

std::size_t RESOLVE_NAME(std::string_view field, std::span<char, kNameMax + 1> out) {
  std::size_t first = field.find_first_not_of(' ');
  std::string_view name = first == std::string_view::npos ? "" : field.substr(first);
  while (!name.empty() && (name.back() == ' ' || name.back() == '\0')) name.remove_suffix(1);
  return OS_FULL_NAME(name, out);
}

void CONNECT(std::int32_t unit, std::string_view name_field, std::string_view status) {
  Connection& c = FREE_SLOT(unit);
  c = Connection{};
  c.unit = unit;
  c.name_length = RESOLVE_NAME(name_field, c.name_bytes);
  if (c.name().find('\0') != std::string_view::npos) FAIL_IO(kBadFileName, unit, c.name(), 0);
  bool create = MATCHES(status, "unknown");
  if (!create && !MATCHES(status, "old")) FAIL_IO(kOpenFailure, unit, c.name(), 0);
  OpenedFile opened;
  OsError error = OS_OPEN(c.name(), create ? OpenFor::kWriting : OpenFor::kReading, opened);
  if (error != 0) OPEN_FAILURE(error, unit, c.name());
  c.fd = opened.handle;
  c.read_only = opened.read_only;
  c.cut_before_write = opened.kind == FileKind::kDisk;
  FILE_OF(c).kept.store(-1);
  FILE_OF(c).fd.store(c.fd);
  c.in_use = true;
  READER_ATTACH(c.reader, c.fd, g_buffers[SLOT_INDEX(c)]);
}

void REWIND(std::int32_t unit, std::int64_t offset) {
  Connection& c = CONNECTION(unit);
  if (OsError error = OS_SEEK(c.fd, offset); error != 0)
    FAIL_IO(kRewindError, unit, c.name(), error);
  READER_ATTACH(c.reader, c.fd, g_buffers[SLOT_INDEX(c)]);
  c.reader.origin = offset;
}

FileHandle OPEN_AGAIN(std::int32_t unit) {
  FileHandle again = kNoFile;
  return OS_OPEN_AGAIN(CONNECTION(unit).fd, again) == 0 ? again : kNoFile;
}

void DISCONNECT(std::int32_t unit) {
  Connection& c = CONNECTION(unit);
  if (c.console) {
    c.in_use = false;
    return;
  }
  REFUSE_SHORTENED(c, FILE_OF(c).kept.load());
  if (int error = TRIM(FILE_OF(c)); error != 0) FAIL_IO(kCloseError, unit, c.name(), error);
  FILE_OF(c).kept.store(-1);
  FILE_OF(c).fd.store(kNoFile);
  c.in_use = false;
  if (OsError error = OS_CLOSE(c.fd); error != 0) FAIL_IO(kCloseError, unit, c.name(), error);
}

OpenFile& FILE_OF(const Connection& c) { return OPEN_FILE(SLOT_INDEX(c)); }

std::size_t FILE_INDEX(const Connection& c) { return SLOT_INDEX(c); }

const Connection& CONNECTION_OF_FILE(std::size_t index) { return g_slots[index]; }

std::atomic<std::int64_t>& KEPT_LENGTH(const Connection& c) { return FILE_OF(c).kept; }

void REFUSE_SHORTENED(const Connection& c, std::int64_t length) {
  std::int64_t now = 0;
  if (c.console || length <= 0 || OS_LENGTH(c.fd, now) != 0 || now >= length) return;
  FAIL_IO_BECAUSE(kWriteError, c.unit, c.name(), kFileShortened);
}

void PUT_RECORD(std::int32_t unit, RecordBuffer& record) {
  record.bytes[record.length] = '\r';
  record.bytes[record.length + 1] = '\n';
  PUT_LINE(CONNECTION(unit), std::string_view(record.bytes.data(), record.length + 2));
}

namespace {

// The first record written to a disk file starts it anew: the old file is cut where the record
// goes, before the record, so that however the run ends (SIGKILL included) no byte of a longer
// old file follows a record of this run.
OsError CUT_BEFORE_FIRST_RECORD(Connection& c) {
  c.cut_before_write = false;
  std::int64_t here = 0;
  OsError error = OS_POSITION(c.fd, here);
  if (error == 0) error = OS_SET_LENGTH(c.fd, here);
  if (error == 0) KEPT_LENGTH(c).store(here);
  return error;
}

}  // namespace

// A console event that comes while the record goes out waits for it, the first record's cut
// included; a failure report wins over a waiting event. A record written only in part is not
// counted, so every ending trims it.
void PUT_LINE(Connection& c, std::string_view line) {
  if (c.read_only) FAIL_IO(kWriteReadOnly, c.unit, c.name(), 0);
  HOLD_EVENTS();
  OsError error = c.cut_before_write ? CUT_BEFORE_FIRST_RECORD(c) : 0;
  std::size_t written = 0;
  if (error == 0) error = WRITE_ALL(c.fd, line, written);
  if (error > 0) FAIL_IO(kWriteError, c.unit, c.name(), error);
  std::atomic<std::int64_t>& kept = KEPT_LENGTH(c);
  if (error == 0 && kept.load() >= 0) kept.store(kept.load() + static_cast<std::int64_t>(written));
  SERVE_HELD_EVENT();
}

}  // namespace veldrix
