#include "textio/files/file_identity.hpp"

#include <sys/stat.h>

#include <array>

#include "textio/ending/failure.hpp"
#include "textio/files/connection.hpp"

namespace veldrix {
namespace {

constexpr std::int64_t NANOSECONDS(const struct timespec& t) {
  return static_cast<std::int64_t>(t.tv_sec) * 1000000000 + t.tv_nsec;
}

FileIdentity IDENTITY(bool found, const struct stat& info) {
  if (!found) return {};
  return {static_cast<std::uint64_t>(info.st_dev),
          static_cast<std::uint64_t>(info.st_ino),
          true,
          S_ISREG(info.st_mode),
          static_cast<std::int64_t>(info.st_size),
          NANOSECONDS(info.st_mtim),
          NANOSECONDS(info.st_ctim)};
}

}  // namespace

FileIdentity IDENTITY_OF(std::int32_t unit) {
  struct stat info = {};
  return IDENTITY(::fstat(CONNECTION(unit).fd, &info) == 0, info);
}

void REFUSE_CHANGED(std::int32_t unit, const FileIdentity& before) {
  if (!before.regular) return;
  FileIdentity now = IDENTITY_OF(unit);
  if (now.known && now.device == before.device && now.inode == before.inode &&
      now.size == before.size && now.modified == before.modified && now.changed == before.changed)
    return;
  FAIL_CHANGED(unit);
}

void FAIL_CHANGED(std::int32_t unit) {
  FAIL_IO_BECAUSE(kReadError, unit, CONNECTION(unit).name(), kFileChanged);
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
