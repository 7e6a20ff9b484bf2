#include "textio/files/file_identity.hpp"

#include <sys/stat.h>

#include <array>

#include "textio/ending/failure.hpp"
#include "textio/files/connection.hpp"

namespace veldrix {
namespace {

FileIdentity IDENTITY(bool found, const struct stat& info) {
  if (!found) return {};
  return {static_cast<std::uint64_t>(info.st_dev), static_cast<std::uint64_t>(info.st_ino), true};
}

}  // namespace

FileIdentity IDENTITY_OF(std::int32_t unit) {
  struct stat info = {};
  return IDENTITY(::fstat(CONNECTION(unit).fd, &info) == 0, info);
}

namespace {

std::int64_t NANOSECONDS(const timespec& t) {
  return static_cast<std::int64_t>(t.tv_sec) * 1000000000 + t.tv_nsec;
}

bool SAME_VERSION(const FileVersion& a, const FileVersion& b) {
  return a.file.known == b.file.known && a.file.device == b.file.device &&
         a.file.inode == b.file.inode && a.size == b.size && a.modified_ns == b.modified_ns &&
         a.changed_ns == b.changed_ns;
}

}  // namespace

FileVersion VERSION_OF(std::int32_t unit) {
  struct stat info = {};
  bool found = ::fstat(CONNECTION(unit).fd, &info) == 0;
  if (!found) return {};
  return {IDENTITY(true, info), static_cast<std::int64_t>(info.st_size), NANOSECONDS(info.st_mtim),
          NANOSECONDS(info.st_ctim)};
}

void REFUSE_CHANGED(std::int32_t unit, const FileVersion& version) {
  if (!SAME_VERSION(VERSION_OF(unit), version)) FAIL_CHANGED(unit);
}

void FAIL_CHANGED(std::int32_t unit) {
  Connection& c = CONNECTION(unit);
  FAIL_IO_SAYING(kReadError, unit, c.name(), "The file changed while it was read");
}

void REFUSE_SAME_FILE(std::string_view name_field, const FileIdentity& input) {
  std::array<char, kNameMax + 1> name;
  std::size_t length = RESOLVE_NAME(name_field, name);
  // A name with a NUL names no file here; its connect reports it.
  if (std::string_view(name.data(), length).find('\0') != std::string_view::npos) return;
  struct stat info = {};
  FileIdentity output = IDENTITY(::stat(name.data(), &info) == 0, info);
  if (!input.known || !output.known) return;  // a missing output is created, never the input
  if (output.device != input.device || output.inode != input.inode) return;
  STOP_RUN({"Output file is the input file: ", std::string_view(name.data(), length)});
}

}  // namespace veldrix
