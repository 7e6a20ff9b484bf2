#include "textio/files/file_identity.hpp"

#include <array>

#include "textio/ending/failure.hpp"
#include "textio/files/connection.hpp"

namespace veldrix {

FileIdentity IDENTITY_OF(std::int32_t unit) { return OS_FACTS(CONNECTION(unit).fd); }

void REFUSE_CHANGED(std::int32_t unit, const FileIdentity& before) {
  if (before.kind != FileKind::kDisk) return;
  FileIdentity now = IDENTITY_OF(unit);
  if (now.known && now.volume == before.volume && now.file == before.file &&
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
  FileIdentity output = OS_FACTS_OF_NAME({name.data(), length});
  if (!input.known || !output.known) return;  // a missing output is created, never the input
  if (output.volume != input.volume || output.file != input.file) return;
  STOP_RUN({"Output file is the input file: ", std::string_view(name.data(), length)});
}

}  // namespace veldrix
