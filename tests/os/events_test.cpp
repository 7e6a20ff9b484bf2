#include <gtest/gtest.h>

#include <csignal>
#include <string>

#include "os/os.hpp"

namespace veldrix {
namespace {

struct EventCase {
  const char* name;
  int code;
  ControlEvent want;
};

const EventCase kEventCases[] = {
    {"ControlC", SIGINT, ControlEvent::kControlC},
    {"ControlBreak", SIGQUIT, ControlEvent::kControlBreak},
    {"WindowClose", SIGHUP, ControlEvent::kWindowClose},
    {"Terminate", SIGTERM, ControlEvent::kRequestToEnd},
    {"CpuLimit", SIGXCPU, ControlEvent::kRequestToEnd},
    {"RealTime", SIGRTMIN + 1, ControlEvent::kRequestToEnd},
    {"None", 0, ControlEvent::kNone},
};

class EventKindTest : public testing::TestWithParam<EventCase> {};

TEST_P(EventKindTest, IsTheEventsKind) {
  EXPECT_EQ(OS_EVENT_KIND(GetParam().code), GetParam().want);
}

INSTANTIATE_TEST_SUITE_P(Events, EventKindTest, testing::ValuesIn(kEventCases),
                         [](const auto& info) { return std::string(info.param.name); });

// The status after a failure report is the number's low byte here, as the shell shows it.
TEST(ExitStatus, IsTheFailureNumbersLowByte) {
  EXPECT_EQ(FAILURE_EXIT_STATUS(29), 29u);
  EXPECT_EQ(FAILURE_EXIT_STATUS(300), 44u);
  EXPECT_EQ(kControlCStatus, 130u);
}

// A request to end ends the process by its own signal, as the sender expects; the control-C
// status is the shell's for a program ended by SIGINT.
TEST(EndByEvent, EndsByTheSignal) {
  EXPECT_EXIT(OS_END_BY_EVENT(SIGTERM), testing::KilledBySignal(SIGTERM), "");
  EXPECT_EXIT(OS_EXIT(kControlCStatus), testing::ExitedWithCode(130), "");
}

}  // namespace
}  // namespace veldrix
