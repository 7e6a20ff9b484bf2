// Names: the typed name made absolute, as the system will find the file by it.
#include <sys/stat.h>

#include <algorithm>
#include <filesystem>
#include <string>

#include "os/os.hpp"

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

}  // namespace veldrix
