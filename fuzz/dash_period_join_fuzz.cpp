// libFuzzer entry: see harness/DashPeriodJoinHarness.h for what is driven and checked.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "harness/DashPeriodJoinHarness.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  fuzz::RunDashPeriodJoin(std::string_view(reinterpret_cast<const char*>(data), size));
  return 0;
}
