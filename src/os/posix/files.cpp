// Files: open, identity, length, position, cut and close.
#include <unistd.h>

#include <cerrno>

#include "os/os.hpp"

namespace veldrix {

OsError OS_CLOSE(FileHandle file) { return ::close(static_cast<int>(file)) == 0 ? 0 : errno; }

}  // namespace veldrix
