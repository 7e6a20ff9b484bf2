// Byte search: the C library's, which is vectorized.
#include <cstring>

#include "os/os.hpp"

namespace veldrix {

const char* OS_FIND_BYTE(std::string_view bytes, char byte) {
  return static_cast<const char*>(std::memchr(bytes.data(), byte, bytes.size()));
}

}  // namespace veldrix
