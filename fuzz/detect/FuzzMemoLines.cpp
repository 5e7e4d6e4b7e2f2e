#include <cstdlib>

#include "detect/MemoLines.h"
#include "tests/detect/ReferenceExtractor.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  tavimo::TMemoryStream stream;
  stream.WriteBuffer(data, static_cast<std::int64_t>(size));
  tavimo::TMemoLines memo;
  tavimo::LoadMemoFromStream(memo, stream);
  const auto expected = tavimo::reference::MemoLines(std::string(reinterpret_cast<const char*>(data), size));
  if (memo.Count() != expected.size()) std::abort();
  std::string joined;
  for (std::size_t i = 0; i < expected.size(); ++i) {
    if (memo[i] != expected[i]) std::abort();
    joined += expected[i] + "\r\n";
  }
  if (memo.Text() != joined) std::abort();
  return 0;
}
