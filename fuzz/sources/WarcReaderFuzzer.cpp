// Arbitrary bytes as a WARC file, as they are and gzipped whole (mutated gzip rarely gets past
// its checks, so the second run takes the record parsing through the gzip path). Every record
// and payload is read, alternating the limited read and the sink. Offsets never go back, a cut
// payload is exactly the limit, and the reader always comes to the end. Access points are kept
// on the way (a few hundred bytes apart), and a few records are read again entered at the point
// before them: the same record must be there.
#include <zlib.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "sources/warc/WarcAccessPoints.h"
#include "sources/warc/WarcReader.h"

namespace {

struct Met {
  std::uint64_t offset, decodedOffset;
  std::string uri;
};

void Check(std::string_view bytes) {
  tavimo::TWarcReader reader(tavimo::TWarcReader::MemorySource(bytes));
  tavimo::TWarcAccessPoints points(300);
  reader.KeepAccessPoints(&points);
  std::vector<Met> met;
  tavimo::TWarcRecord record;
  tavimo::TWarcDamage damage;
  std::uint64_t lastDecoded = 0;
  bool stream = false;
  for (tavimo::TWarcReader::Step step;
       (step = reader.Next(record, damage)) != tavimo::TWarcReader::Step::End;) {
    if (step == tavimo::TWarcReader::Step::Damaged) {
      if (damage.reason.empty()) __builtin_trap();
      continue;
    }
    if (record.decodedOffset < lastDecoded || (record.offset > bytes.size())) __builtin_trap();
    lastDecoded = record.decodedOffset + 1;
    met.push_back({record.offset, record.decodedOffset, record.targetUri});
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
  int entered = 0;
  for (auto it = met.rbegin(); it != met.rend() && entered < 4; ++it) {
    const tavimo::TWarcAccessPoint* p = points.Before(it->offset, it->decodedOffset);
    if (!p) continue;
    ++entered;
    if (p->FirstByte() > bytes.size()) __builtin_trap();
    tavimo::TWarcReader again(tavimo::TWarcReader::MemorySource(bytes.substr(p->FirstByte())));
    if (!again.StartAt(*p, it->decodedOffset)) __builtin_trap();  // it inflated the first time
    if (again.Next(record, damage) != tavimo::TWarcReader::Step::Record ||
        record.decodedOffset != it->decodedOffset || record.offset != it->offset ||
        record.targetUri != it->uri) {
      __builtin_trap();
    }
    while (again.Next(record, damage) != tavimo::TWarcReader::Step::End) {
    }
  }
}

// Ends a deflate block every 200 bytes, so that access points have block ends to sit on.
std::string Gzip(std::string_view in) {
  z_stream z{};
  deflateInit2(&z, 1, Z_DEFLATED, 15 + 16, 8, Z_DEFAULT_STRATEGY);
  std::string out(deflateBound(&z, in.size()) + 32 + in.size() / 200 * 16, '\0');
  z.next_out = reinterpret_cast<Bytef*>(out.data());
  z.avail_out = static_cast<uInt>(out.size());
  for (std::size_t at = 0;; at += 200) {
    const std::size_t n = at < in.size() ? std::min<std::size_t>(200, in.size() - at) : 0;
    z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(in.data() + at));
    z.avail_in = static_cast<uInt>(n);
    if (at + n >= in.size()) {
      deflate(&z, Z_FINISH);
      break;
    }
    deflate(&z, Z_BLOCK);
  }
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
