// Sends a console control event to a program that runs in its console, once its output file has
// begun to fill: the Windows twin of a signal sent mid-run. Built beside veldrix.exe.
//   event_sender EVENT ANSWERS OUTPUT OFFSET PROGRAM
// EVENT is 0 (control-C) or 1 (control-BREAK); the program reads ANSWERS; the event goes once the
// byte of OUTPUT at OFFSET is not zero. Ends with the program's status; with 3 when the system
// refuses the event, with 4 when the program ended before it could be sent.
#define WIN32_LEAN_AND_MEAN
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <string>

namespace {

// This process shares the console and must outlive the event.
BOOL WINAPI IGNORE_EVENT(DWORD) { return TRUE; }

bool BEGUN(const char* output, long long offset) {
  const HANDLE file =
      CreateFileA(output, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                  nullptr, OPEN_EXISTING, 0, nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  OVERLAPPED at{};
  at.Offset = static_cast<DWORD>(offset);
  at.OffsetHigh = static_cast<DWORD>(offset >> 32);
  char byte = 0;
  DWORD got = 0;
  const bool read = ReadFile(file, &byte, 1, &got, &at) && got == 1;
  CloseHandle(file);
  return read && byte != '\0';
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 6) return 2;
  const DWORD event = std::strtoul(argv[1], nullptr, 10);
  SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
  const HANDLE answers =
      CreateFileA(argv[2], GENERIC_READ, FILE_SHARE_READ, &inherit, OPEN_EXISTING, 0, nullptr);
  if (answers == INVALID_HANDLE_VALUE) return 2;
  SetConsoleCtrlHandler(IGNORE_EVENT, TRUE);
  STARTUPINFOA start{};
  start.cb = sizeof start;
  start.dwFlags = STARTF_USESTDHANDLES;
  start.hStdInput = answers;
  start.hStdOutput = GetStdHandle(STD_OUTPUT_HANDLE);
  start.hStdError = GetStdHandle(STD_ERROR_HANDLE);
  std::string line = std::string("\"") + argv[5] + "\"";
  PROCESS_INFORMATION child{};
  if (!CreateProcessA(nullptr, line.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr, &start,
                      &child)) {
    return 2;
  }
  const long long offset = std::strtoll(argv[4], nullptr, 10);
  bool ended = false;
  while (!(ended = WaitForSingleObject(child.hProcess, 0) == WAIT_OBJECT_0) &&
         !BEGUN(argv[3], offset)) {
    Sleep(1);
  }
  if (ended) return 4;
  if (!GenerateConsoleCtrlEvent(event, 0)) {
    std::fprintf(stderr, "event refused: error %lu\n", GetLastError());
    TerminateProcess(child.hProcess, 0);
    return 3;
  }
  WaitForSingleObject(child.hProcess, INFINITE);
  DWORD status = 0;
  GetExitCodeProcess(child.hProcess, &status);
  return static_cast<int>(status);
}
