// The whole-run benchmark: converts a generated 2501 x 2501 grid with the built program and runs
// two floors in turns, A B C A B C: the write floor (the same number of 16-byte write() calls and
// nothing else) and the mapping floor (the same bytes copied into the output file's mapped
// windows and nothing else). Then it converts a 5000 x 5000 grid once (the grown store). Times are
// wall-clock; the peak resident memory comes from wait4().
//   veldrix_whole_run [--pairs N] [--no-big] [--data DIR]
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

constexpr long kHeaderRecords = 5;
constexpr double kMapRatioTarget = 2.5;     // whole run against the mapping floor
constexpr double kWriteRatioTarget = 0.05;  // whole run against the write floor
constexpr double kSmallRssTarget = 40.0;    // MiB at 2501 x 2501
constexpr double kGrownRssSlack = 16.0;     // MiB beyond 4 bytes a cell for a grown store

struct Outcome {
  double seconds = 0, user = 0, system = 0, rss_mib = 0;
};

[[noreturn]] void DIE(const std::string& what) {
  std::fprintf(stderr, "whole_run: %s\n", what.c_str());
  std::exit(1);
}

double NOW() {
  timespec t{};
  clock_gettime(CLOCK_MONOTONIC, &t);
  return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) * 1e-9;
}

// Runs the program in dir with stdin from a file (or /dev/null) and stdout on /dev/null.
Outcome RUN(const std::vector<std::string>& args, const std::string& dir,
            const std::string& input) {
  std::vector<char*> argv;
  for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
  argv.push_back(nullptr);
  double start = NOW();
  pid_t pid = fork();
  if (pid < 0) DIE("fork failed");
  if (pid == 0) {
    int in = open(input.empty() ? "/dev/null" : input.c_str(), O_RDONLY);
    int out = open("/dev/null", O_WRONLY);
    if (in < 0 || out < 0 || dup2(in, 0) < 0 || dup2(out, 1) < 0 || chdir(dir.c_str()) != 0) {
      _exit(126);
    }
    execv(argv[0], argv.data());
    _exit(127);
  }
  int status = 0;
  rusage usage{};
  if (wait4(pid, &status, 0, &usage) != pid) DIE("wait4 failed");
  Outcome o;
  o.seconds = NOW() - start;
  if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) DIE(args[0] + " did not end with status 0");
  o.user = static_cast<double>(usage.ru_utime.tv_sec) + usage.ru_utime.tv_usec * 1e-6;
  o.system = static_cast<double>(usage.ru_stime.tv_sec) + usage.ru_stime.tv_usec * 1e-6;
  o.rss_mib = static_cast<double>(usage.ru_maxrss) / 1024.0;  // kilobytes on Linux
  return o;
}

bool EXISTS(const std::string& path) {
  struct stat info {};
  return stat(path.c_str(), &info) == 0;
}

void WRITE_TEXT(const std::string& path, const std::string& text) {
  std::FILE* f = std::fopen(path.c_str(), "wb");
  if (f == nullptr || std::fwrite(text.data(), 1, text.size(), f) != text.size() ||
      std::fclose(f) != 0) {
    DIE("cannot write " + path);
  }
}

// The output must be "DSAA" and one line per header record and cell.
void CHECK_OUTPUT(const std::string& path, long cells) {
  std::FILE* f = std::fopen(path.c_str(), "rb");
  if (f == nullptr) DIE("no output " + path);
  std::vector<char> block(1 << 20);
  long lines = 0;
  bool first = true;
  for (std::size_t n; (n = std::fread(block.data(), 1, block.size(), f)) > 0;) {
    if (first && (n < 6 || std::memcmp(block.data(), "DSAA\r\n", 6) != 0)) DIE("not DSAA: " + path);
    first = false;
    lines += std::count(block.begin(), block.begin() + static_cast<std::ptrdiff_t>(n), '\n');
  }
  std::fclose(f);
  if (lines != kHeaderRecords + cells) {
    DIE(path + ": " + std::to_string(lines) + " lines, expected " +
        std::to_string(kHeaderRecords + cells));
  }
}

struct Grid {
  long n;
  std::string name, answers, output;
};

Grid PREPARE(const std::string& data, const std::string& make_grid, long n) {
  Grid g{n, "dem_" + std::to_string(n) + ".asc", data + "/answers_" + std::to_string(n) + ".txt",
         "dem_" + std::to_string(n) + ".grd"};
  if (!EXISTS(data + "/" + g.name)) {
    std::printf("generating %s ...\n", g.name.c_str());
    std::fflush(stdout);
    RUN({make_grid, std::to_string(n), std::to_string(n), g.name}, data, "");
  }
  WRITE_TEXT(g.answers, g.name + "\n" + g.output + "\n1\n");
  return g;
}

double MEDIAN(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  std::size_t m = v.size() / 2;
  return v.size() % 2 != 0 ? v[m] : 0.5 * (v[m - 1] + v[m]);
}

const char* VERDICT(bool met) { return met ? "met" : "MISSED"; }

}  // namespace

int main(int argc, char** argv) {
  int pairs = 3;
  bool big = true;
  std::string data = VELDRIX_BENCH_DATA;
  for (int i = 1; i < argc; ++i) {
    std::string a = argv[i];
    if (a == "--pairs" && i + 1 < argc) {
      pairs = std::max(1, std::atoi(argv[++i]));
    } else if (a == "--no-big") {
      big = false;
    } else if (a == "--data" && i + 1 < argc) {
      data = argv[++i];
    } else {
      std::fprintf(stderr, "usage: %s [--pairs N] [--no-big] [--data DIR]\n", argv[0]);
      return 2;
    }
  }
  mkdir(data.c_str(), 0777);
  const std::string veldrix = VELDRIX_PROGRAM, floor = VELDRIX_FLOOR;
  const std::string map_floor = VELDRIX_MAP_FLOOR;
  Grid small = PREPARE(data, VELDRIX_MAKE_GRID, 2501);
  long cells = small.n * small.n, writes = cells + kHeaderRecords;
  std::string floor_out = data + "/floor.bin", map_out = data + "/map_floor.grd";
  std::printf(
      "grid %ld x %ld: %ld cells, %ld records, %d rounds (whole run, write floor, mapping "
      "floor)\n",
      small.n, small.n, cells, writes, pairs);
  std::vector<double> whole, bare, mapped, to_map, to_write, rss;
  for (int k = 0; k < pairs; ++k) {
    unlink((data + "/" + small.output).c_str());
    Outcome a = RUN({veldrix}, data, small.answers);
    if (k == 0) CHECK_OUTPUT(data + "/" + small.output, cells);
    unlink(floor_out.c_str());
    Outcome b = RUN({floor, floor_out, std::to_string(writes)}, data, "");
    unlink(map_out.c_str());
    Outcome c = RUN({map_floor, map_out, std::to_string(cells)}, data, "");
    if (k == 0) CHECK_OUTPUT(map_out, cells);
    whole.push_back(a.seconds);
    bare.push_back(b.seconds);
    mapped.push_back(c.seconds);
    to_map.push_back(a.seconds / c.seconds);
    to_write.push_back(a.seconds / b.seconds);
    rss.push_back(a.rss_mib);
    std::printf(
        "round %d: whole %.3f s (user %.3f, sys %.3f, %.1f MiB)  write floor %.3f s  mapping "
        "floor %.3f s (user %.3f, sys %.3f)  whole/map %.2f  whole/write %.4f\n",
        k + 1, a.seconds, a.user, a.system, a.rss_mib, b.seconds, c.seconds, c.user, c.system,
        to_map.back(), to_write.back());
    std::fflush(stdout);
  }
  unlink(floor_out.c_str());
  unlink(map_out.c_str());
  double peak = *std::max_element(rss.begin(), rss.end());
  std::printf("median whole %.3f s, median write floor %.3f s, median mapping floor %.3f s\n",
              MEDIAN(whole), MEDIAN(bare), MEDIAN(mapped));
  std::printf(
      "whole / mapping floor: ratio of medians %.2f, median of ratios %.2f (target <= %.1f: %s)\n",
      MEDIAN(whole) / MEDIAN(mapped), MEDIAN(to_map), kMapRatioTarget,
      VERDICT(MEDIAN(to_map) <= kMapRatioTarget));
  std::printf(
      "whole / write floor: ratio of medians %.4f, median of ratios %.4f (target <= %.2f: %s)\n",
      MEDIAN(whole) / MEDIAN(bare), MEDIAN(to_write), kWriteRatioTarget,
      VERDICT(MEDIAN(to_write) <= kWriteRatioTarget));
  std::printf("peak RSS of the conversion %.1f MiB (target <= %.0f MiB: %s)\n", peak,
              kSmallRssTarget, VERDICT(peak <= kSmallRssTarget));
  if (big) {
    Grid grown = PREPARE(data, VELDRIX_MAKE_GRID, 5000);
    long grown_cells = grown.n * grown.n;
    unlink((data + "/" + grown.output).c_str());
    Outcome g = RUN({veldrix}, data, grown.answers);
    CHECK_OUTPUT(data + "/" + grown.output, grown_cells);
    unlink((data + "/" + grown.output).c_str());
    double limit = 4.0 * static_cast<double>(grown_cells) / (1024.0 * 1024.0) + kGrownRssSlack;
    std::printf(
        "grid %ld x %ld (grown store): %.3f s (user %.3f, sys %.3f), peak RSS %.1f MiB "
        "= %.2f bytes/cell (target <= %.1f MiB: %s)\n",
        grown.n, grown.n, g.seconds, g.user, g.system, g.rss_mib,
        g.rss_mib * 1024.0 * 1024.0 / static_cast<double>(grown_cells), limit,
        VERDICT(g.rss_mib <= limit));
  }
  unlink((data + "/" + small.output).c_str());
  return 0;
}
