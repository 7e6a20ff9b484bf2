// What the growth of the output file's length costs the populate of its windows: the same bytes
// (a 2501 x 2501 run's records by default) stored into a fresh file through 4 MiB shared windows,
// each window made writable with one MADV_POPULATE_WRITE, filled and unmapped, as the record
// layer does, with the file's length grown in different ways. The ways run in turns, one round
// each way after the other, and the medians (total, then the populates alone) are printed.
//   veldrix_length_steps [--rounds N] [--bytes N] [--file PATH]
//   window    fallocate at the old end for each window (the layer before length steps)
//   step16    fallocate 16 MiB at a time, when a window would pass the length
//   step64    the same, 64 MiB at a time
//   once      fallocate the final length once
//   keep-win  the final length reserved once beyond the end (FALLOC_FL_KEEP_SIZE), ftruncate per
//             window
//   keep64    the same, ftruncate 64 MiB at a time
//   random    as window, with the file's readahead off (POSIX_FADV_RANDOM)
#include <fcntl.h>
#include <sys/mman.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

namespace {

constexpr std::int64_t kWindow = std::int64_t{4} << 20;
constexpr std::int64_t kMiB = std::int64_t{1} << 20;

struct Way {
  std::string_view name;
  std::int64_t step;  // bytes the length grows by at a time; 0: the final length at once
  bool keep_size;     // the final length reserved beyond the end first, the length grown by step
  bool random;        // readahead off
};

constexpr std::array kWays = {
    Way{"window", kWindow, false, false},   Way{"step16", 16 * kMiB, false, false},
    Way{"step64", 64 * kMiB, false, false}, Way{"once", 0, false, false},
    Way{"keep-win", kWindow, true, false},  Way{"keep64", 64 * kMiB, true, false},
    Way{"random", kWindow, false, true},
};

double NOW() {
  timespec t{};
  clock_gettime(CLOCK_MONOTONIC, &t);
  return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) * 1e-9;
}

[[noreturn]] void DIE(const char* what) {
  std::fprintf(stderr, "length_steps: %s: %s\n", what, std::strerror(errno));
  std::exit(1);
}

struct Times {
  double total = 0, populate = 0;
};

// Grows (or reserves and grows) the file so that it holds at least `need` bytes.
void GROW(int fd, const Way& w, std::int64_t& length, std::int64_t need, std::int64_t bytes) {
  if (need <= length) return;
  std::int64_t to = w.step == 0 ? bytes : std::min(bytes, length + std::max(w.step, need - length));
  int done = w.keep_size ? ::ftruncate(fd, to) : ::fallocate(fd, 0, length, to - length);
  if (done != 0) DIE("growing the file");
  length = to;
}

Times STORE(const Way& w, const char* path, std::int64_t bytes) {
  Times t;
  double start = NOW();
  int fd = ::open(path, O_RDWR | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
  if (fd < 0) DIE(path);
  if (w.random) ::posix_fadvise(fd, 0, 0, POSIX_FADV_RANDOM);
  if (w.keep_size && ::fallocate(fd, FALLOC_FL_KEEP_SIZE, 0, bytes) != 0) DIE("reserving");
  std::int64_t length = 0;
  for (std::int64_t at = 0; at < bytes; at += kWindow) {
    auto n = static_cast<std::size_t>(std::min(kWindow, bytes - at));
    GROW(fd, w, length, at + static_cast<std::int64_t>(n), bytes);
    void* p = ::mmap(nullptr, n, PROT_READ | PROT_WRITE, MAP_SHARED, fd, at);
    if (p == MAP_FAILED) DIE("mapping");
    double before = NOW();
    if (::madvise(p, n, MADV_POPULATE_WRITE) != 0) DIE("populating");
    t.populate += NOW() - before;
    std::memset(p, 'x', n);
    ::munmap(p, n);
  }
  ::close(fd);
  t.total = NOW() - start;
  ::unlink(path);
  return t;
}

double MEDIAN(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  std::size_t m = v.size() / 2;
  return v.size() % 2 != 0 ? v[m] : (v[m - 1] + v[m]) / 2;
}

}  // namespace

int main(int argc, char** argv) {
  int rounds = 9;
  std::int64_t bytes = std::int64_t{2501} * 2501 * 16 + 150;
  std::string path = "length_steps.out";
  for (int i = 1; i + 1 < argc; i += 2) {
    std::string_view a = argv[i];
    if (a == "--rounds")
      rounds = std::atoi(argv[i + 1]);
    else if (a == "--bytes")
      bytes = std::strtoll(argv[i + 1], nullptr, 10);
    else if (a == "--file")
      path = argv[i + 1];
  }
  std::vector<std::vector<Times>> seen(kWays.size());
  for (int r = 0; r < rounds; ++r)
    for (std::size_t k = 0; k < kWays.size(); ++k)
      seen[k].push_back(STORE(kWays[k], path.c_str(), bytes));
  std::printf("%lld bytes through 4 MiB windows, %d rounds in turns; medians:\n",
              static_cast<long long>(bytes), rounds);
  for (std::size_t k = 0; k < kWays.size(); ++k) {
    std::vector<double> total, populate;
    for (const Times& t : seen[k]) {
      total.push_back(t.total);
      populate.push_back(t.populate);
    }
    std::printf("  %-9.*s total %.4f s  populate %.4f s\n", static_cast<int>(kWays[k].name.size()),
                kWays[k].name.data(), MEDIAN(total), MEDIAN(populate));
  }
  return 0;
}
