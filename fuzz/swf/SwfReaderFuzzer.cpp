// Arbitrary movies within small bounds: every read ends, with references that carry where they
// were found. A plain movie read in full must read the same once its body is zlib compressed.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <zlib.h>

#include "swf/SwfReader.h"

namespace {

bool SameReferences(const tavimo::SwfReadResult& a, const tavimo::SwfReadResult& b) {
  if (a.references.size() != b.references.size()) return false;
  for (std::size_t i = 0; i < a.references.size(); ++i) {
    const tavimo::SwfReference &x = a.references[i], &y = b.references[i];
    if (x.text != y.text || x.kind != y.kind || x.foundIn != y.foundIn || x.spriteId != y.spriteId ||
        x.depth != y.depth)
      return false;
  }
  return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);
  tavimo::SwfLimits limits;
  limits.maxDecompressedBytes = 4 << 20;
  limits.maxTags = 20000;
  limits.maxDepth = 8;
  const tavimo::SwfReadResult plain = tavimo::ReadSwf(bytes, limits);
  for (const tavimo::SwfReference& r : plain.references) {
    if (r.text.empty() || r.foundIn.empty() || r.depth < 0 || r.depth > limits.maxDepth) __builtin_trap();
  }
  if (!plain.ok() || bytes.substr(0, 3) != "FWS" || plain.info.fileLength != size) return 0;

  std::string body(bytes.substr(8));
  uLongf length = compressBound(body.size());
  std::string compressed(length, '\0');
  if (compress2(reinterpret_cast<Bytef*>(compressed.data()), &length,
                reinterpret_cast<const Bytef*>(body.data()), body.size(), 1) != Z_OK)
    return 0;
  compressed.resize(length);
  const tavimo::SwfReadResult zlib =
      tavimo::ReadSwf("CWS" + std::string(bytes.substr(3, 5)) + compressed, limits);
  if (!zlib.ok() || !SameReferences(plain, zlib)) __builtin_trap();
  return 0;
}
