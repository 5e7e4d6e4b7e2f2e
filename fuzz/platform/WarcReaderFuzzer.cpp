// Arbitrary bytes as a WARC file, as they are and gzipped whole (mutated gzip rarely gets past
// its checks, so the second run takes the record parsing through the gzip path). Every record
// and payload is read, alternating the limited read and the sink. Offsets never go back, a cut
// payload is exactly the limit, and the reader always comes to the end.
#include <zlib.h>

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "platform/WarcReader.h"

namespace {

void Check(std::string_view bytes) {
  tavimo::TWarcReader reader(tavimo::TWarcReader::MemorySource(bytes));
  tavimo::TWarcRecord record;
  tavimo::TWarcDamage damage;
  std::uint64_t lastDecoded = 0;
  bool stream = false;
  for (tavimo::TWarcReader::Step step; (step = reader.Next(record, damage)) != tavimo::TWarcReader::Step::End;) {
    if (step == tavimo::TWarcReader::Step::Damaged) {
      if (damage.reason.empty()) __builtin_trap();
      continue;
    }
    if (record.decodedOffset < lastDecoded || (record.offset > bytes.size())) __builtin_trap();
    lastDecoded = record.decodedOffset + 1;
    if (!record.IsHttpResponse()) continue;
    stream = !stream;
    if (stream) {
      std::uint64_t got = 0;
      const auto r = reader.StreamPayload([&](const char*, std::size_t n) { return (got += n) < 100000; });
      if (r.bytes != got) __builtin_trap();
    } else {
      std::string out;
      const auto r = reader.ReadPayload(out, 1000);
      if (out.size() > 1000 || (r.cut && out.size() != 1000) || (r.complete && r.cut)) __builtin_trap();
    }
  }
}

std::string Gzip(std::string_view in) {
  z_stream z{};
  deflateInit2(&z, 1, Z_DEFLATED, 15 + 16, 8, Z_DEFAULT_STRATEGY);
  std::string out(deflateBound(&z, in.size()) + 32, '\0');
  z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(in.data()));
  z.avail_in = static_cast<uInt>(in.size());
  z.next_out = reinterpret_cast<Bytef*>(out.data());
  z.avail_out = static_cast<uInt>(out.size());
  deflate(&z, Z_FINISH);
  out.resize(z.total_out);
  deflateEnd(&z);
  return out;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);
  Check(bytes);
  if (!bytes.starts_with("\x1f\x8b")) Check(Gzip(bytes));
  return 0;
}
