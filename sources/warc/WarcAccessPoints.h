#pragma once
// Places inside a long gzip member (a web archive gzipped whole) where inflating can start
// afresh instead of from the member's first byte: zlib's zran technique. Each point keeps the
// compressed position (a byte and a bit), the uncompressed offset there and the 32 KiB of output
// before it, which the next deflate blocks may refer back to. They are kept while the archive is
// first read; a later look-up of a record inflates from the nearest point before it.
//
// A point is kept every `spacing` bytes of uncompressed output, only inside members longer than
// that (a record-gzipped file has none: its members are reached by their offset). Memory is
// about (uncompressed size / spacing) x 32 KiB: 8 MiB per GiB of archive data with the default
// of 4 MiB, and a look-up inflates at most about `spacing` bytes before it reaches its record.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace tavimo {

struct TWarcAccessPoint {
  std::uint64_t memberStart = 0;  // file offset of the gzip member the point lies in
  std::uint64_t fileOffset = 0;   // the first compressed byte not wholly used yet
  int bits = 0;                   // 1..7: that many high bits of the byte before fileOffset are still to use
  std::uint64_t decodedOffset = 0;  // uncompressed offset at the point
  std::string window;               // the output before it (up to 32 KiB)

  // Where reading the file must start for this point.
  std::uint64_t FirstByte() const { return bits ? fileOffset - 1 : fileOffset; }
};

class TWarcAccessPoints {
 public:
  static constexpr std::uint64_t kDefaultSpacing = std::uint64_t{4} << 20;

  explicit TWarcAccessPoints(std::uint64_t spacing = kDefaultSpacing);

  std::uint64_t Spacing() const { return spacing_; }
  // A point is due at decodedOffset of the member that starts at memberStart (file) and
  // memberDecoded (uncompressed).
  bool Due(std::uint64_t memberDecoded, std::uint64_t decodedOffset) const;
  // Points come in rising decodedOffset; one that does not rise is ignored.
  void Add(TWarcAccessPoint point);
  // The last point at or before decodedOffset inside the member at memberStart; null when
  // there is none (then the member's own start is the nearest place to begin).
  const TWarcAccessPoint* Before(std::uint64_t memberStart, std::uint64_t decodedOffset) const;

  std::size_t Count() const { return points_.size(); }
  std::size_t Bytes() const;  // memory held by the windows

 private:
  std::uint64_t spacing_;
  std::vector<TWarcAccessPoint> points_;
};

}  // namespace tavimo
