// Names: the typed name made absolute, as the system will find the file by it; folders.
#include <sys/stat.h>
#include <sys/statvfs.h>

#include <algorithm>
#include <filesystem>
#include <string>

#include "os/os.hpp"
#include "os/posix/extras.hpp"

namespace veldrix {
namespace {

// A name and the ".." after it are left out only where the name is a folder: after a symbolic
// link ".." leads to the parent of the link's target, and after a missing name or a file it
// fails, as the system has it when it opens the name.
bool FOLDER_BEFORE_DOTDOT(const std::filesystem::path& path) {
  struct stat info = {};
  return path.filename() != ".." && ::lstat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

// The absolute path as lexically normal, but for a ".." after a name that is not a folder: that
// one is kept, so that the path names the file the system opens by it.
//   /d/./a/../b -> /d/b    /d/a/.. -> /d/    /d/link/../b -> /d/link/../b    /../b -> /b
std::filesystem::path WITHOUT_PLAIN_DOTS(const std::filesystem::path& absolute) {
  std::filesystem::path result;
  bool folder_end = false;  // the path ends in a separator
  for (const std::filesystem::path& part : absolute) {
    folder_end = part.empty() || part == ".";
    if (folder_end) continue;
    if (part != "..") {
      result /= part;
    } else if (result == result.root_path() || FOLDER_BEFORE_DOTDOT(result)) {
      result = result.parent_path();
      folder_end = true;
    } else {
      result /= part;
    }
  }
  if (folder_end && result.has_relative_path()) result /= "";
  return result;
}

}  // namespace

std::size_t OS_FULL_NAME(std::string_view typed, std::span<char, kNameMax + 1> out) {
  std::string_view result = typed;
  std::string absolute;
  if (!typed.empty() && typed.find('\0') == std::string_view::npos) {
    std::error_code error;
    std::filesystem::path path = std::filesystem::absolute(std::filesystem::path(typed), error);
    if (!error) absolute = WITHOUT_PLAIN_DOTS(path).string();
    if (!error && absolute.size() < kNameMax + 1) result = absolute;
  }
  std::size_t n = std::min(result.size(), kNameMax);
  std::copy_n(result.begin(), n, out.begin());
  out[n] = '\0';
  return n;
}

// As parent_path has it: "/a/b" -> "/a", "/b" -> "/", "b" -> "".
std::size_t OS_FOLDER_PART(std::string_view name) {
  std::size_t slash = name.rfind('/');
  if (slash == std::string_view::npos) return 0;
  while (slash > 0 && name[slash - 1] == '/') --slash;
  return slash == 0 ? 1 : slash;
}

std::string_view OS_NAME_FOR_REPORT(std::string_view name, std::span<char>) { return name; }

FolderFacts OS_FOLDER_FACTS(std::string_view folder) {
  std::string name(folder.empty() ? "." : folder);
  struct statvfs room = {};
  if (name.find('\0') != std::string::npos || ::statvfs(name.c_str(), &room) != 0) return {};
  FolderKind kind = FOLDER_KIND(name.c_str());
  auto free_bytes =
      static_cast<std::uint64_t>(room.f_bavail) * static_cast<std::uint64_t>(room.f_frsize);
  return {true, kind.in_memory, kind.may_be_in_memory, free_bytes};
}

}  // namespace veldrix
