// Runs the built program in a fresh folder with answers on standard input and collects what it
// printed, its exit status and the files it left.
#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

namespace veldrix_test {

struct Outcome {
  std::string out;
  std::string err;
  int status = -1;  // the exit status, or 128 + the signal that ended the process
};

// A temporary folder, removed with everything in it at the end of the test.
struct Folder {
  explicit Folder(const std::filesystem::path& parent = std::filesystem::temp_directory_path());
  ~Folder();
  Folder(const Folder&) = delete;
  Folder& operator=(const Folder&) = delete;
  std::filesystem::path path;
  std::filesystem::path operator/(const std::string& name) const { return path / name; }
};

// The words that start the program under test: the built program, or the one named by
// VELDRIX_E2E_PROGRAM, after the runner named by VELDRIX_E2E_RUNNER when that is set (Wine for the
// Windows build: VELDRIX_E2E_PROGRAM=build/windows/veldrix.exe
// VELDRIX_E2E_RUNNER=/usr/lib/wine/wine64).
std::vector<std::string> PROGRAM_WORDS();

// Whether the program under test is a Windows one (its name ends in .exe), run under Wine.
bool ON_WINDOWS();

// A path as the program shows it in a report: under Wine, drive Z: is the Linux root, so /tmp/a
// is Z:\tmp\a.
std::string SHOWN_PATH(const std::filesystem::path& path);

// Skips the rest of a test whose mechanism is Linux's alone (signals, FIFOs, cgroups, ...) when
// the program is a Windows one; `facility` says which, for the skip message.
#define SKIP_UNLESS_LINUX(facility) \
  if (::veldrix_test::ON_WINDOWS()) GTEST_SKIP() << "Linux only, needs " << (facility)

// Skips a test of Windows behaviour when the program is a Linux one.
#define SKIP_UNLESS_WINDOWS(what) \
  if (!::veldrix_test::ON_WINDOWS()) GTEST_SKIP() << "Windows only: " << (what)

// Runs the command `words` in `folder` with `input` on standard input (then end of file).
Outcome RUN_WORDS(const Folder& folder, const std::string& input, std::vector<std::string> words);

// Runs the program in `folder` with `input` on standard input (then end of file). `prefix` goes
// before the program on the command line (for example setpriv and its options), `arguments`
// after it; a script in `prefix` finds the program's words in "$0" "$@".
Outcome RUN(const Folder& folder, const std::string& input,
            const std::vector<std::string>& prefix = {},
            const std::vector<std::string>& arguments = {});

// What a run wrote into a FIFO put in place of its output file.
struct Piped {
  Outcome run;
  std::string bytes;  // everything read from the FIFO; "" when the run never opened it
};

// Runs the program as RUN does with a FIFO named `output` in `folder` in place of the output
// file (a file of that name is removed first), reading the FIFO until the program has ended.
Piped RUN_TO_FIFO(const Folder& folder, const std::string& input, const std::string& output,
                  const std::vector<std::string>& prefix = {});

// Expects the run through a FIFO to match `run` into a regular file of the same name in the same
// folder, which left `bytes` ("" when it wrote nothing): the same status, console streams and
// bytes.
void EXPECT_SAME_RUN(const Piped& piped, const Outcome& run, const std::string& bytes);

// An n x n grid of cells 1 with its corner at the origin, and the five header records and the
// cell record of its conversion with the factor 1.
std::string ONES_GRID(int n);
std::string ONES_HEAD(int n);
extern const std::string kOneRecord;

std::string READ_FILE(const std::filesystem::path& path);
void WRITE_FILE(const std::filesystem::path& path, const std::string& bytes);

// The bytes with blanks, CR and LF made visible, for failure messages.
std::string SHOWN(const std::string& bytes);

// The warning after a keyword's fatal line when a line starts with `found` in its stead.
std::string HINTED(const std::string& key, const std::string& found);

// The banner, notes and prompts every run starts with, in the order the dialogue writes them.
extern const std::string kDialogue;

// The 3 x 2 grid of the worked example, one cell of it no-data.
extern const std::string kWorkedGrid;

// Names a case of a table after its row's `name`.
template <class Row>
std::string CASE_NAME(const testing::TestParamInfo<Row>& info) {
  return info.param.name;
}

}  // namespace veldrix_test
