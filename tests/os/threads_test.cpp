#include <gtest/gtest.h>
#include <pthread.h>

#include <csignal>
#include <cstdlib>
#include <string_view>

#include "os/os.hpp"

namespace veldrix {
namespace {

struct Seen {
  bool ran = false;
  bool interrupt_blocked = false;
  bool terminate_blocked = false;
};

void LOOK(void* arg) {
  Seen& seen = *static_cast<Seen*>(arg);
  sigset_t mask;
  pthread_sigmask(SIG_SETMASK, nullptr, &mask);
  seen.ran = true;
  seen.interrupt_blocked = sigismember(&mask, SIGINT) == 1;
  seen.terminate_blocked = sigismember(&mask, SIGTERM) == 1;
}

// A worker never serves an event: it starts with them blocked, and its starter keeps its own.
TEST(Worker, RunsWithEventsBlockedAndLeavesItsStarterAsItWas) {
  Seen seen;
  Worker worker{LOOK, &seen};
  ASSERT_TRUE(OS_START_WORKER(worker));
  OS_JOIN_WORKER(worker);
  EXPECT_TRUE(seen.ran);
  EXPECT_TRUE(seen.interrupt_blocked);
  EXPECT_TRUE(seen.terminate_blocked);
  sigset_t mine;
  pthread_sigmask(SIG_SETMASK, nullptr, &mine);
  EXPECT_NE(sigismember(&mine, SIGINT), 1);
  EXPECT_GE(OS_CORES(), 1u);
}

TEST(Environment, HoldsWhatIsSet) {
  ::setenv("VDX_FLOOR_CHECK", "a=b", 1);
  int found = 0;
  for (std::string_view entry : OS_ENVIRONMENT()) found += entry == "VDX_FLOOR_CHECK=a=b";
  EXPECT_EQ(found, 1);
  ::unsetenv("VDX_FLOOR_CHECK");
}

TEST(Memory, ZeroedPagesAndSomeLimit) {
  constexpr std::size_t kBytes = std::size_t{3} << 20;
  auto* pages = static_cast<std::byte*>(OS_ZEROED_PAGES(kBytes));
  ASSERT_NE(pages, nullptr);
  OS_PREPARE_PAGES(std::span(pages + 100, kBytes - 100));  // not page aligned
  EXPECT_EQ(pages[0], std::byte{0});
  EXPECT_EQ(pages[kBytes - 1], std::byte{0});
  MemoryFacts facts = OS_MEMORY();
  EXPECT_NE(facts.machine, kNoLimit);
#ifdef VELDRIX_LINUX_EXTRAS
  EXPECT_GT(OS_RESIDENT_BYTES(), 0u);
#endif
}

}  // namespace
}  // namespace veldrix
