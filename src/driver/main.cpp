#include <span>

#include "driver/driver.hpp"
#include "driver/usage.hpp"
#include "textio/ending/failure.hpp"

int main(int argc, char** argv) {
  veldrix::START_UP();
  veldrix::ANSWER_OPTION(std::span(argv, static_cast<std::size_t>(argc)));
  veldrix::RUN_CONVERSION();
  veldrix::NORMAL_END();
}
