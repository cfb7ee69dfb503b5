// libFuzzer entry: see harness/SegmentCheckHarness.h for what is driven and checked.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "harness/SegmentCheckHarness.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  fuzz::RunSegmentCheck(std::string_view(reinterpret_cast<const char*>(data), size));
  return 0;
}
