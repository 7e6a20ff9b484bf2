// The ground of the program: every call into the operating system, in the program's own words.
// One implementation a platform: os/posix/ (os/posix/linux_*.cpp for the Linux extras, with
// portable twins) and os/win32/. No other folder includes an operating-system header.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string_view>

namespace veldrix {

// ---- Refusals

// The system's own code for a refusal (errno; GetLastError), 0 for none.
using OsError = int;

// What the program makes of a refusal: the opens and the writes decide by it.
enum class OsReason {
  kOther,
  kNoSuchFile,
  kNoAccess,
  kReadOnlyDisk,
  kIsFolder,
  kNoDevice,
  kBadName,
  kTooManyOpen,
  kInterrupted,
  kNotSupported,
  kNoLocks,
  kWouldBlock
};
OsReason OS_REASON(OsError error);

// The platform's line for a refusal, no line end, in the encoding of the error stream.
// Async-signal-safe: written into `room`.
std::string_view OS_ERROR_TEXT(OsError error, std::span<char> room);

// What WRITE_ALL returns when it gives up before any byte is out (an event waits).
inline constexpr OsError kWriteAbandoned = -1;

// ---- Exit statuses

#if defined(_WIN32)
inline constexpr std::uint32_t kControlCStatus = 0xC000013A;  // the system's own for control-C
constexpr std::uint32_t FAILURE_EXIT_STATUS(int number) { return 0xC0000000u + number; }
#else
inline constexpr std::uint32_t kControlCStatus = 130;
constexpr std::uint32_t FAILURE_EXIT_STATUS(int number) { return number & 0xFF; }
#endif

// Ends the process at once with the status. Async-signal-safe.
[[noreturn]] void OS_EXIT(std::uint32_t status);

// ---- Files

// An open file or console stream: a descriptor, or a HANDLE widened. kNoFile: none.
using FileHandle = std::intptr_t;
inline constexpr FileHandle kNoFile = -1;

// The longest name a connection keeps; the floor adds the NUL.
inline constexpr std::size_t kNameMax = 255;

enum class FileKind { kUnknown, kDisk, kPipe, kDevice, kFolder };

// Which file it is, and what changes when its bytes change. known is false when there was no
// file to ask. Times in nanoseconds since 1970.
struct FileFacts {
  bool known = false;
  FileKind kind = FileKind::kUnknown;
  std::uint64_t volume = 0;  // st_dev; the volume serial number
  std::uint64_t file = 0;    // st_ino; the file index
  std::int64_t size = 0;
  std::int64_t modified = 0;
  std::int64_t changed = 0;  // st_ctim; ChangeTime
};
FileFacts OS_FACTS(FileHandle file);
FileFacts OS_FACTS_OF_NAME(std::string_view name);  // links followed

// kReading: the file must exist. kWriting: it is created when missing, and a pipe is opened for
// writing alone. Both try read-write first, then read-only when write access is refused
// (read_only). Others may read the open file but not write it: POSIX takes a non-blocking flock
// (shared for reading, exclusive for writing, on disk files only, where the file system has
// locks); Win32 opens with FILE_SHARE_READ. A writer elsewhere refuses the open.
enum class OpenFor { kReading, kWriting };
struct OpenedFile {
  FileHandle handle = kNoFile;
  FileKind kind = FileKind::kUnknown;
  bool read_only = false;
};
OsError OS_OPEN(std::string_view name, OpenFor how, OpenedFile& file);

// A second read-only handle on the same open file, with a position of its own; an error where
// the platform offers none (the parts are then read in turn).
OsError OS_OPEN_AGAIN(FileHandle file, FileHandle& again);

OsError OS_CLOSE(FileHandle file);  // async-signal-safe

// One read at the current position; got 0 means the end of the data (a closed pipe included).
OsError OS_READ(FileHandle file, std::span<char> into, std::size_t& got);
// All of the bytes, going on after short and interrupted writes. When `abandon` says so before
// the first byte is out, the result is kWriteAbandoned. `written`: the bytes that are out.
// Async-signal-safe.
OsError OS_WRITE_ALL(FileHandle file, std::string_view bytes, std::size_t& written,
                     bool (*abandon)() = nullptr);
// From now on every write goes to the end of the file, wherever that is then.
OsError OS_WRITES_AT_END(FileHandle file);

// The whole span from offset `at`, in as many calls as it takes; got < size only at the end of
// the file. Neither call takes its place from the handle's position nor seeks, so threads may
// share a handle for them; a caller may not rely on the position after one (POSIX leaves it;
// Win32 moves it past the bytes moved).
OsError OS_READ_AT(FileHandle file, std::span<char> into, std::int64_t at, std::size_t& got);
OsError OS_WRITE_AT(FileHandle file, std::string_view bytes, std::int64_t at);  // all of it

OsError OS_SEEK(FileHandle file, std::int64_t to);
OsError OS_POSITION(FileHandle file, std::int64_t& at);
OsError OS_LENGTH(FileHandle file, std::int64_t& length);
OsError OS_SET_LENGTH(FileHandle file, std::int64_t length);  // grows with zeros or cuts
// The first hole of a sparse file, or its length; -1 when neither can be had.
std::int64_t OS_DATA_END(FileHandle file);

// Cuts the file to `kept` bytes when it is longer, never lengthening it (Win32 first unmaps
// every window of the file). Async-signal-safe.
OsError OS_TRIM(FileHandle file, std::int64_t kept);

// Room for `bytes` after `at`: blocks reserved (a full disk is refused here), only grown (no
// reservation on this file system: a mapped window must then be populated), or refused.
enum class Room { kReserved, kGrown, kRefused };
Room OS_RESERVE(FileHandle file, std::int64_t at, std::int64_t bytes);

// What a window's file offset is aligned to (page size; allocation granularity on Win32).
std::size_t OS_MAP_GRANULE();

// The bytes of an output window. A view's first stores cost more the smaller the view is where
// nothing makes its pages writable ahead of them (Win32).
// Fast path: under Wine, a 2501 x 2501 run with views of 16 MiB takes 0.93 of its time with
// views of 4 MiB (15 interleaved pairs, Wine's start included); 32 MiB gains no more.
#if defined(_WIN32)
inline constexpr std::size_t kOsWindowBytes = std::size_t{16} << 20;
#else
inline constexpr std::size_t kOsWindowBytes = std::size_t{4} << 20;
#endif

// A shared, writable window of the file's bytes [offset, offset + bytes), offset a multiple of
// the granule. With `populate` every page is made writable in one call where the platform offers
// it (POSIX), and the map is refused where that fails or is not offered; where a store into a
// page that could not be backed reaches the window fault hook anyway (Win32's in-page error), the
// window is mapped as it is. Without it the pages are left for OS_PREPARE_WINDOW.
struct MappedWindow {
  char* base = nullptr;
  std::size_t bytes = 0;
};
OsError OS_MAP(FileHandle file, std::int64_t offset, std::size_t bytes, bool populate,
               MappedWindow& window);
void OS_UNMAP(MappedWindow& window);

// Makes the pages under `part` of a mapped window writable in one call where the platform offers
// it; nothing where not (a store then faults its page in). A failure is not reported: the stores
// fault the pages in instead.
void OS_PREPARE_WINDOW(std::span<char> part);

// Called from the fault handler (SIGBUS; an in-page error or access violation) with the faulting
// address and the platform's refusal. It does not return when the fault is its window's and ends
// the run. true: handled, the store is tried again; false: not its window's, the fault takes its
// default course.
using WindowFaultHook = bool (*)(char* at, OsError error);
void OS_CATCH_WINDOW_FAULTS(WindowFaultHook hook);

// ---- Names and folders

// The absolute, lexically normal form of a typed name. POSIX: a ".." after a name that is not a
// folder is kept. Win32: the answer decoded (console input code page; with no console, UTF-8
// where valid, else the ANSI code page), then GetFullPathNameW, then UTF-8. Left as typed (cut
// to kNameMax bytes) when the result needs more than kNameMax bytes, and when the typed name is
// empty or holds a NUL. `out` ends with a NUL; returns the length before it.
std::size_t OS_FULL_NAME(std::string_view typed, std::span<char, kNameMax + 1> out);
// The length of the folder part of a name (0: the current folder).
std::size_t OS_FOLDER_PART(std::string_view name);
// A name as the console shows it (POSIX: as it is; Win32: UTF-8 to the output code page).
std::string_view OS_NAME_FOR_REPORT(std::string_view name, std::span<char> room);

struct FolderFacts {
  bool known = false;
  bool in_memory = false;         // tmpfs, ramfs; a RAM disk
  bool may_be_in_memory = false;  // an overlay, whose upper layer may be tmpfs
  std::uint64_t free_bytes = 0;   // room left to this process
};
FolderFacts OS_FOLDER_FACTS(std::string_view folder);

// A file in the folder with no name left, gone with the process however it ends.
OsError OS_OPEN_SPILL(std::string_view folder, FileHandle& spill);
// Whether one more handle can still be opened beside this one.
bool OS_HANDLE_LEFT(FileHandle file);

// ---- Console streams

enum class Stream { kInput, kOutput, kError };
FileHandle OS_STREAM(Stream stream);
// Gives each closed standard stream the null device, so that no file takes its place.
void OS_OPEN_MISSING_STREAMS();
bool OS_IS_TERMINAL(FileHandle stream);
std::size_t OS_TERMINAL_WIDTH(FileHandle stream);              // 0 when it does not say
OsError OS_PIPE(FileHandle& read_end, FileHandle& write_end);  // for the tests' readers

// ---- Memory

inline constexpr std::uint64_t kNoLimit = UINT64_MAX;

// The limits that can end the process (kNoLimit where there is none): the machine's memory;
// the least limit of its memory cgroups (Linux) or its job object (Win32, which then leaves the
// other two at kNoLimit); the process's own (RLIMIT_AS, RLIMIT_DATA; the commit limit).
struct MemoryFacts {
  std::uint64_t machine = kNoLimit;
  std::uint64_t group = kNoLimit;
  std::uint64_t process = kNoLimit;
};
MemoryFacts OS_MEMORY();
std::uint64_t OS_RESIDENT_BYTES();  // 0 where it cannot be told

// Zeroed pages, backed only where touched; nullptr when refused.
void* OS_ZEROED_PAGES(std::uint64_t bytes);
// Makes the pages writable in one call where the platform can (speed only).
void OS_PREPARE_PAGES(std::span<std::byte> pages);

// The first `byte` in `bytes`, nullptr when there is none: the C runtime's memchr, save where
// that looks at one byte at a time (Wine's msvcrt).
const char* OS_FIND_BYTE(std::string_view bytes, char byte);

// ---- Cores and workers

std::size_t OS_CORES();  // the cores this process may run on, at least 1

// The process's environment, "NAME=value" each.
std::span<const char* const> OS_ENVIRONMENT();

// A thread that runs run(arg) and leaves control events to the thread that started it. The
// Worker must outlive the thread. `id` is the floor's own (a pthread_t; Win32: the thread's
// handle): it is not comparable with OS_THREAD_ID.
struct Worker {
  void (*run)(void* arg) = nullptr;
  void* arg = nullptr;
  std::uintptr_t id = 0;
};
bool OS_START_WORKER(Worker& worker);
void OS_JOIN_WORKER(Worker& worker);

std::uintptr_t OS_THREAD_ID();        // async-signal-safe
[[noreturn]] void OS_WAIT_FOREVER();  // until the process ends

// ---- Control events

enum class ControlEvent { kNone, kControlC, kControlBreak, kWindowClose, kRequestToEnd };

// An event's code is never 0: the signal number, or the CTRL_*_EVENT value plus 1.
ControlEvent OS_EVENT_KIND(int code);

// Calls hook(code) on every control event and request to end, except one the starter ignored
// (POSIX). Broken pipes and file-size limits become refused writes. Win32: the hook runs on the
// event's own thread, which waits for the process to end if the hook returns.
using EventHook = void (*)(int code);
void OS_WATCH_EVENTS(EventHook hook);

// The calling thread no longer receives events (POSIX: masked; Win32: nothing to do).
// Async-signal-safe.
void OS_BLOCK_EVENTS();

// Ends the process the way a request to end would have without the program (its signal's
// default action; Win32: kControlCStatus).
[[noreturn]] void OS_END_BY_EVENT(int code);

// ---- Clock and call stack

double OS_SECONDS();  // a steady clock

struct StackFrame {
  std::string_view image;  // the module's base name; valid until the next capture
  std::uintptr_t offset = 0;
};
void OS_PREPARE_CALL_STACK();  // loads what a capture needs, so a failure never has to
// The caller's callers, innermost first, `skip` frames left out; 0 where the platform has none.
std::size_t OS_CALL_STACK(std::span<StackFrame> frames, std::size_t skip);

}  // namespace veldrix
