// The whole-run benchmark: converts a generated 2501 x 2501 grid with the built program and runs
// four floors in turns, A B C D E A B C D E: the write floor (the same number of 16-byte write()
// calls and nothing else), the mapping floor (the same bytes copied into the output file's mapped
// windows and nothing else), the job floor (the input grid read once, then the mapping floor) and
// the page floor (the input read once, the whole output reserved, mapped and populated at once,
// then the records stored: the least the kernel asks of any program that writes these bytes).
// Then 5000 x 5000 and 10000 x 10000 once each (a store that holds one band of rows at a time),
// the latter again inside a 256 MiB memory cgroup where one can be made. Times are wall-clock;
// the peak resident memory comes from wait4(). With --against, another build's program runs in
// turns with this one and the two job floors (A B D E A B D E) on the same grid, and the two
// outputs must be the same bytes: the medians and the medians of the ratios tell which build is
// faster and how far each is from the floor. --size picks another square grid for those turns
// (10000: 830 MB in). With --gdal DRIVER, GDAL's gdal_translate -of DRIVER writes the same grid in
// turns with this build's program, where it is installed: DRIVER is the name GDAL gives its
// writer of DSAA text grids (gdal_translate --formats lists it).
// With --wine, the Windows build (veldrix.exe) runs under Wine in turns with this one on the
// 2501 x 2501 grid, A W S A W S: this build, the .exe, and the .exe's --version, which is Wine's
// own start. The outputs must be the same bytes; the figure is the median of (W - S) / A against
// the bar of 2. Wine is $VELDRIX_WINE or /usr/lib/wine/wine64, with one wineserver kept for all.
// --program puts another program in the place of this build's; --against-one-core runs it in turns
// with itself on one core alone.
//   veldrix_whole_run [--pairs N] [--no-big] [--no-floors] [--against PROGRAM] [--size N]
//                     [--gdal DRIVER] [--wine EXE] [--program PROGRAM] [--against-one-core]
//                     [--data DIR]
#include <fcntl.h>
#include <sched.h>
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
#include <filesystem>
#include <string>
#include <utility>
#include <vector>

namespace {

constexpr long kHeaderRecords = 5;
constexpr double kMapRatioTarget = 2.5;     // whole run against the mapping floor
constexpr double kWriteRatioTarget = 0.05;  // whole run against the write floor
constexpr double kPageRatioTarget = 3.0;    // whole run on two cores or more against the page floor
constexpr double kPinnedPageRatioTarget = 3.5;  // the same on one core
constexpr double kGdalRatioTarget = 0.025;      // whole run against GDAL's DSAA writer
constexpr double kCoresGainTarget = 1.3;        // a run on one core against the same on all of them
constexpr double kSmallRssTarget = 40.0;        // MiB at 2501 x 2501
constexpr double kBandRssBound = 64.0;          // MiB for any grid, besides kRowBytes a row
constexpr double kRowBytes = 8.0;
constexpr double kWineRatioTarget = 2.0;  // under Wine, its start taken off, against Linux

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

// The first core of those this process may use, alone.
void PIN_TO_ONE_CORE() {
  cpu_set_t set;
  CPU_ZERO(&set);
  if (sched_getaffinity(0, sizeof set, &set) != 0) _exit(125);
  int first = 0;
  while (!CPU_ISSET(first, &set)) ++first;
  CPU_ZERO(&set);
  CPU_SET(first, &set);
  if (sched_setaffinity(0, sizeof set, &set) != 0) _exit(125);
}

// Runs the program in dir with stdin from a file (or /dev/null) and stdout on /dev/null; on one
// core alone when `one_core`.
Outcome RUN(const std::vector<std::string>& args, const std::string& dir, const std::string& input,
            bool one_core = false) {
  std::vector<char*> argv;
  for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
  argv.push_back(nullptr);
  double start = NOW();
  pid_t pid = fork();
  if (pid < 0) DIE("fork failed");
  if (pid == 0) {
    if (one_core) PIN_TO_ONE_CORE();
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

struct Options {
  int pairs = 3;
  bool big = true;
  bool floors = true;
  std::string program = VELDRIX_PROGRAM;  // A: this build's, unless --program names another
  std::string against;                    // another build's program, run in turns with this one
  std::string gdal;     // GDAL's DSAA writer, run by gdal_translate in turns with this build's
  bool pinned = false;  // B is A on one core alone
  long size = 2501;     // the square grid of the turns
  std::string wine;     // veldrix.exe, run under Wine in turns with this build
  std::string data = VELDRIX_BENCH_DATA;
};

constexpr int kLeastAbPairs = 7;  // fewer turns leave the median at the mercy of the other load

bool PARSE(int argc, char** argv, Options& o) {
  bool pairs_given = false;
  for (int i = 1; i < argc; ++i) {
    std::string a = argv[i];
    bool more = i + 1 < argc;
    if (a == "--pairs" && more) {
      o.pairs = std::max(1, std::atoi(argv[++i]));
      pairs_given = true;
    } else if (a == "--no-big") {
      o.big = false;
    } else if (a == "--no-floors") {
      o.floors = false;
    } else if (a == "--against" && more) {
      o.against = std::filesystem::absolute(argv[++i]).string();
    } else if (a == "--program" && more) {
      o.program = std::filesystem::absolute(argv[++i]).string();
    } else if (a == "--against-one-core") {
      o.pinned = true;
    } else if (a == "--gdal" && more) {
      o.gdal = argv[++i];
    } else if (a == "--size" && more) {
      o.size = std::max(1, std::atoi(argv[++i]));
    } else if (a == "--wine" && more) {
      o.wine = std::filesystem::absolute(argv[++i]).string();
    } else if (a == "--data" && more) {
      o.data = argv[++i];
    } else {
      return false;
    }
  }
  if (o.pinned) o.against = o.program;
  if ((!o.against.empty() || !o.gdal.empty() || !o.wine.empty()) && !pairs_given)
    o.pairs = kLeastAbPairs;
  return true;
}

bool SAME_BYTES(const std::string& a, const std::string& b) {
  std::FILE* fa = std::fopen(a.c_str(), "rb");
  std::FILE* fb = std::fopen(b.c_str(), "rb");
  bool same = fa != nullptr && fb != nullptr;
  std::vector<char> ba(1 << 20), bb(1 << 20);
  while (same) {
    std::size_t na = std::fread(ba.data(), 1, ba.size(), fa);
    std::size_t nb = std::fread(bb.data(), 1, bb.size(), fb);
    same = na == nb && std::memcmp(ba.data(), bb.data(), na) == 0;
    if (na == 0) break;
  }
  if (fa != nullptr) std::fclose(fa);
  if (fb != nullptr) std::fclose(fb);
  return same;
}

// A floor program on a grid: its input read once, its records stored into an output of its own.
Outcome INPUT_FLOOR(const char* program, const Options& o, const Grid& g) {
  std::string out = o.data + "/floor_" + std::to_string(g.n) + ".grd";
  unlink(out.c_str());
  Outcome d = RUN({program, out, std::to_string(g.n * g.n), o.data + "/" + g.name}, o.data, "");
  unlink(out.c_str());
  return d;
}

// The job floor: the records stored into the mapped output's windows.
Outcome JOB_FLOOR(const Options& o, const Grid& g) { return INPUT_FLOOR(VELDRIX_MAP_FLOOR, o, g); }

// The page floor: the records stored after one populate of the whole output.
Outcome PAGE_FLOOR(const Options& o, const Grid& g) {
  return INPUT_FLOOR(VELDRIX_PAGE_FLOOR, o, g);
}

// The page floor's bar depends on how many cores the runs may use.
double PAGE_TARGET() {
  cpu_set_t set;
  CPU_ZERO(&set);
  bool one = sched_getaffinity(0, sizeof set, &set) == 0 && CPU_COUNT(&set) == 1;
  return one ? kPinnedPageRatioTarget : kPageRatioTarget;
}

// This build's program (A), another (B) and the two job floors (D, E) in turns on the same grid;
// the first pair's outputs must be the same bytes.
void AGAINST(const Options& o, const Grid& g) {
  const std::string out = o.data + "/" + g.output, kept = out + ".a";
  std::vector<double> a_times, b_times, ratios, a_floor, b_floor, a_page, b_page;
  std::printf("A = %s\nB = %s%s\n%d rounds A B job-floor page-floor on %ld x %ld\n",
              o.program.c_str(), o.against.c_str(), o.pinned ? " on one core" : "", o.pairs, g.n,
              g.n);
  for (int k = 0; k < o.pairs; ++k) {
    unlink(out.c_str());
    Outcome a = RUN({o.program}, o.data, g.answers);
    if (k == 0 && std::rename(out.c_str(), kept.c_str()) != 0) DIE("no output " + out);
    unlink(out.c_str());
    Outcome b = RUN({o.against}, o.data, g.answers, o.pinned);
    if (k == 0 && !SAME_BYTES(kept, out)) DIE("the outputs of A and B differ");
    unlink(out.c_str());
    Outcome d = JOB_FLOOR(o, g);
    Outcome e = PAGE_FLOOR(o, g);
    a_times.push_back(a.seconds);
    b_times.push_back(b.seconds);
    ratios.push_back(a.seconds / b.seconds);
    a_floor.push_back(a.seconds / d.seconds);
    b_floor.push_back(b.seconds / d.seconds);
    a_page.push_back(a.seconds / e.seconds);
    b_page.push_back(b.seconds / e.seconds);
    std::printf(
        "round %d: A %.3f s (user %.3f)  B %.3f s (user %.3f)  floor %.3f s (user %.3f)  page "
        "floor %.3f s  A/B %.4f  A/floor %.2f  B/floor %.2f  A/page %.2f  B/page %.2f\n",
        k + 1, a.seconds, a.user, b.seconds, b.user, d.seconds, d.user, e.seconds, ratios.back(),
        a_floor.back(), b_floor.back(), a_page.back(), b_page.back());
    std::fflush(stdout);
  }
  unlink(kept.c_str());
  unlink(out.c_str());
  std::printf("outputs identical; median A %.3f s, median B %.3f s, median of A/B %.4f\n",
              MEDIAN(a_times), MEDIAN(b_times), MEDIAN(ratios));
  std::printf("median of A/job floor %.2f, median of B/job floor %.2f\n", MEDIAN(a_floor),
              MEDIAN(b_floor));
  std::printf("median of A/page floor %.2f (target <= %.1f: %s), median of B/page floor %.2f\n",
              MEDIAN(a_page), PAGE_TARGET(), VERDICT(MEDIAN(a_page) <= PAGE_TARGET()),
              MEDIAN(b_page));
  if (o.pinned) {
    double gain = 1.0 / MEDIAN(ratios);
    std::printf("one core / all cores: %.2f (target >= %.1f: %s)\n", gain, kCoresGainTarget,
                VERDICT(gain >= kCoresGainTarget));
  }
}

// This build's program (A) and GDAL's translation of the same grid to a DSAA grid (G) in turns.
void AGAINST_GDAL(const Options& o, const Grid& g) {
  const std::string gdal = "/usr/bin/gdal_translate";
  if (!EXISTS(gdal)) {
    std::printf("against GDAL: skipped, no %s\n", gdal.c_str());
    return;
  }
  const std::string out = o.data + "/" + g.output, theirs = o.data + "/gdal.grd";
  std::vector<double> ratios;
  std::printf("%d rounds A GDAL on %ld x %ld\n", o.pairs, g.n, g.n);
  for (int k = 0; k < o.pairs; ++k) {
    unlink(out.c_str());
    Outcome a = RUN({o.program}, o.data, g.answers);
    unlink(theirs.c_str());
    Outcome t = RUN({gdal, "-q", "-of", o.gdal, g.name, theirs}, o.data, "");
    ratios.push_back(a.seconds / t.seconds);
    std::printf("round %d: A %.3f s  GDAL %.3f s (user %.3f)  A/GDAL %.4f\n", k + 1, a.seconds,
                t.seconds, t.user, ratios.back());
    std::fflush(stdout);
  }
  unlink(out.c_str());
  unlink(theirs.c_str());
  unlink((theirs + ".aux.xml").c_str());
  std::printf("median of A/GDAL %.4f (target <= %.3f: %s)\n", MEDIAN(ratios), kGdalRatioTarget,
              VERDICT(MEDIAN(ratios) <= kGdalRatioTarget));
}

// Wine and its server: the prefix is made on the first start, and one server, kept for a minute
// after its last client, serves every turn. Neither the server nor Wine's services, which the
// first start leaves running, may hold this program's standard error open.
std::string START_WINE(const Options& o) {
  const char* given = std::getenv("VELDRIX_WINE");
  std::string wine = given != nullptr && *given != '\0' ? given : "/usr/lib/wine/wine64";
  setenv("WINEDEBUG", "-all", 1);
  setenv("LC_ALL", "C.UTF-8", 1);
  std::string server = wine.substr(0, wine.rfind('/') + 1) + "wineserver";
  // The server may be running already, which it says with a status of its own.
  if (EXISTS(server)) RUN({"/bin/sh", "-c", "\"$0\" -p60 2>/dev/null || true", server}, o.data, "");
  RUN({"/bin/sh", "-c", "\"$0\" \"$1\" --version 2>/dev/null", wine, o.wine}, o.data, "");
  return wine;
}

// This build (A), the .exe under Wine (W) and Wine's start (S) in turns on the same grid.
void UNDER_WINE(const Options& o, const Grid& g) {
  const std::string wine = START_WINE(o);
  const std::string out = o.data + "/" + g.output, kept = out + ".a";
  std::vector<double> a_times, w_times, s_times, ratios;
  std::printf("A = %s\nW = %s %s\n%d rounds A W S (S: W's --version) on %ld x %ld\n",
              o.program.c_str(), wine.c_str(), o.wine.c_str(), o.pairs, g.n, g.n);
  for (int k = 0; k < o.pairs; ++k) {
    unlink(out.c_str());
    Outcome a = RUN({o.program}, o.data, g.answers);
    if (std::rename(out.c_str(), kept.c_str()) != 0) DIE("no output " + out);
    Outcome w = RUN({wine, o.wine}, o.data, g.answers);
    if (!SAME_BYTES(kept, out)) DIE("the outputs of A and W differ");
    unlink(out.c_str());
    Outcome s = RUN({wine, o.wine, "--version"}, o.data, "");
    a_times.push_back(a.seconds);
    w_times.push_back(w.seconds);
    s_times.push_back(s.seconds);
    ratios.push_back((w.seconds - s.seconds) / a.seconds);
    std::printf(
        "round %d: A %.3f s (user %.3f)  W %.3f s (user %.3f, sys %.3f)  S %.3f s  (W-S)/A %.2f\n",
        k + 1, a.seconds, a.user, w.seconds, w.user, w.system, s.seconds, ratios.back());
    std::fflush(stdout);
  }
  unlink(kept.c_str());
  std::printf("outputs identical; median A %.3f s, median W %.3f s, median S %.3f s\n",
              MEDIAN(a_times), MEDIAN(w_times), MEDIAN(s_times));
  std::printf(
      "under Wine, its start taken off, / Linux: median of (W-S)/A %.2f (target <= %.1f: %s)\n",
      MEDIAN(ratios), kWineRatioTarget, VERDICT(MEDIAN(ratios) <= kWineRatioTarget));
}

void REPORT_FLOORS(const std::vector<double>& whole, const std::vector<double>& bare,
                   const std::vector<double>& mapped, const std::vector<double>& to_map,
                   const std::vector<double>& to_write, const std::vector<double>& rss) {
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
}

// The whole run and the two floors in turns, A B C A B C.
void FLOORS(const Options& o, const Grid& small) {
  long cells = small.n * small.n, writes = cells + kHeaderRecords;
  const std::string& data = o.data;
  std::string floor_out = data + "/floor.bin", map_out = data + "/map_floor.grd";
  std::printf(
      "grid %ld x %ld: %ld cells, %ld records, %d rounds (whole run, write floor, mapping "
      "floor)\n",
      small.n, small.n, cells, writes, o.pairs);
  std::vector<double> whole, bare, mapped, to_map, to_write, to_job, to_page, rss;
  for (int k = 0; k < o.pairs; ++k) {
    unlink((data + "/" + small.output).c_str());
    Outcome a = RUN({o.program}, data, small.answers);
    if (k == 0) CHECK_OUTPUT(data + "/" + small.output, cells);
    unlink(floor_out.c_str());
    Outcome b = RUN({VELDRIX_FLOOR, floor_out, std::to_string(writes)}, data, "");
    unlink(map_out.c_str());
    Outcome c = RUN({VELDRIX_MAP_FLOOR, map_out, std::to_string(cells)}, data, "");
    if (k == 0) CHECK_OUTPUT(map_out, cells);
    Outcome d = JOB_FLOOR(o, small);
    Outcome e = PAGE_FLOOR(o, small);
    to_job.push_back(a.seconds / d.seconds);
    to_page.push_back(a.seconds / e.seconds);
    whole.push_back(a.seconds);
    bare.push_back(b.seconds);
    mapped.push_back(c.seconds);
    to_map.push_back(a.seconds / c.seconds);
    to_write.push_back(a.seconds / b.seconds);
    rss.push_back(a.rss_mib);
    std::printf(
        "round %d: whole %.3f s (user %.3f, sys %.3f, %.1f MiB)  write floor %.3f s  mapping "
        "floor %.3f s (user %.3f, sys %.3f)  job floor %.3f s  page floor %.3f s  whole/map %.2f  "
        "whole/job %.2f  whole/page %.2f  whole/write %.4f\n",
        k + 1, a.seconds, a.user, a.system, a.rss_mib, b.seconds, c.seconds, c.user, c.system,
        d.seconds, e.seconds, to_map.back(), to_job.back(), to_page.back(), to_write.back());
    std::fflush(stdout);
  }
  unlink(floor_out.c_str());
  unlink(map_out.c_str());
  REPORT_FLOORS(whole, bare, mapped, to_map, to_write, rss);
  std::printf("whole / job floor: median of ratios %.2f\n", MEDIAN(to_job));
  std::printf("whole / page floor: median of ratios %.2f (target <= %.1f on %s: %s)\n",
              MEDIAN(to_page), PAGE_TARGET(),
              PAGE_TARGET() == kPageRatioTarget ? "two cores or more" : "one core",
              VERDICT(MEDIAN(to_page) <= PAGE_TARGET()));
}

// Runs the program inside a memory cgroup of its own with `limit` bytes; false, with the reason
// in `why`, where none can be made (no root, no memory controller of cgroup v1 or v2).
bool IN_CGROUP(const Options& o, const Grid& g, const std::string& limit, Outcome& out,
               std::string& why) {
  const std::pair<std::string, std::string> kHierarchies[] = {
      {"/sys/fs/cgroup/memory", "memory.limit_in_bytes"}, {"/sys/fs/cgroup", "memory.max"}};
  for (const auto& [root, file] : kHierarchies) {
    std::string group = root + "/veldrix-bench-" + std::to_string(getpid());
    if (mkdir(group.c_str(), 0755) != 0) continue;
    std::FILE* f = std::fopen((group + "/" + file).c_str(), "w");
    bool set = f != nullptr && std::fputs(limit.c_str(), f) >= 0;
    set = f != nullptr && std::fclose(f) == 0 && set && EXISTS(group + "/cgroup.procs");
    if (set) {
      std::string join = "echo $$ > " + group + "/cgroup.procs && exec \"$0\"";
      out = RUN({"/bin/sh", "-c", join, o.program}, o.data, g.answers);
    }
    rmdir(group.c_str());
    if (set) return true;
  }
  why = "no memory cgroup of our own can be made here (needs root and a memory controller)";
  return false;
}

// The run inside a 256 MiB memory cgroup: the same bytes as `kept`, the run without it.
void CGROUP_RUN(const Options& o, const Grid& g, const std::string& kept) {
  Outcome c;
  std::string why;
  unlink((o.data + "/" + g.output).c_str());
  if (!IN_CGROUP(o, g, "268435456", c, why)) {
    std::printf("grid %ld x %ld in a 256 MiB memory cgroup: skipped, %s\n", g.n, g.n, why.c_str());
    return;
  }
  bool same = SAME_BYTES(kept, o.data + "/" + g.output);
  std::printf(
      "grid %ld x %ld in a 256 MiB memory cgroup: %.3f s (user %.3f, sys %.3f), peak RSS "
      "%.1f MiB, %s bytes\n",
      g.n, g.n, c.seconds, c.user, c.system, c.rss_mib, same ? "the same" : "OTHER");
  if (!same) DIE("the output inside the cgroup differs");
}

// The grown grids once each: time and peak memory against the bound of a store that holds one
// band of rows; the largest again inside a memory cgroup of 256 MiB.
void GROWN(const Options& o) {
  for (long n : {5000L, 10000L}) {
    Grid grown = PREPARE(o.data, VELDRIX_MAKE_GRID, n);
    long grown_cells = grown.n * grown.n;
    std::string out = o.data + "/" + grown.output, kept = out + ".kept";
    unlink(out.c_str());
    Outcome g = RUN({o.program}, o.data, grown.answers);
    CHECK_OUTPUT(out, grown_cells);
    double limit = kBandRssBound + kRowBytes * static_cast<double>(n) / (1024.0 * 1024.0);
    std::printf(
        "grid %ld x %ld: %.3f s (user %.3f, sys %.3f), peak RSS %.1f MiB (target <= %.1f MiB: "
        "%s)\n",
        grown.n, grown.n, g.seconds, g.user, g.system, g.rss_mib, limit,
        VERDICT(g.rss_mib <= limit));
    std::fflush(stdout);
    if (n == 10000 && std::rename(out.c_str(), kept.c_str()) == 0) CGROUP_RUN(o, grown, kept);
    unlink(kept.c_str());
    unlink(out.c_str());
  }
}

}  // namespace

int main(int argc, char** argv) {
  Options o;
  if (!PARSE(argc, argv, o)) {
    std::fprintf(stderr,
                 "usage: %s [--pairs N] [--no-big] [--no-floors] [--against PROGRAM] [--size N] "
                 "[--gdal DRIVER] [--wine EXE] [--program PROGRAM] [--against-one-core] "
                 "[--data DIR]\n",
                 argv[0]);
    return 2;
  }
  mkdir(o.data.c_str(), 0777);
  Grid small = PREPARE(o.data, VELDRIX_MAKE_GRID, 2501);
  if (!o.against.empty())
    AGAINST(o, o.size == small.n ? small : PREPARE(o.data, VELDRIX_MAKE_GRID, o.size));
  if (!o.gdal.empty()) AGAINST_GDAL(o, small);
  if (!o.wine.empty()) UNDER_WINE(o, small);
  if (o.floors) FLOORS(o, small);
  if (o.big) GROWN(o);
  unlink((o.data + "/" + small.output).c_str());
  return 0;
}
