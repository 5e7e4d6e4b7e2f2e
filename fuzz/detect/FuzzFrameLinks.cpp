#include <cstdlib>

#include "detect/LinkExtractor.h"
#include "fuzz/detect/FuzzInput.h"
#include "tests/detect/ReferenceExtractor.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const auto in = tavimo::fuzz::SplitInput(data, size);
  const auto frames = tavimo::ExtractFrameLinks(in.page, in.address);
  for (const auto& frame : frames) {
    if (frame.find_first_of("\r\n\t") != std::string::npos) std::abort();
  }
  if (size <= tavimo::fuzz::kCompareLimit && frames != tavimo::reference::FrameLinks(in.page, in.address)) {
    std::abort();
  }
  return 0;
}
