#include <cstdlib>

#include "detect/LinkExtractor.h"
#include "fuzz/detect/FuzzInput.h"
#include "tests/detect/ReferenceExtractor.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const auto in = tavimo::fuzz::SplitInput(data, size);
  const auto links = tavimo::SwfLinkList(in.page, in.address);
  // A link never spans lines of the link list file.
  for (const auto& link : links) {
    if (link.find_first_of("\r\n\t") != std::string::npos) std::abort();
  }
  if (size <= tavimo::fuzz::kCompareLimit && links != tavimo::reference::SwfLinkList(in.page, in.address)) {
    std::abort();
  }
  return 0;
}
