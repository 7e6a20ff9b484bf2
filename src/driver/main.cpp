#include "driver/driver.hpp"
#include "textio/ending/failure.hpp"

int main() {
  veldrix::START_UP();
  veldrix::RUN_CONVERSION();
  veldrix::NORMAL_END();
}
