#include "sources/warc/WarcAccessPoints.h"

#include <algorithm>

namespace tavimo {

TWarcAccessPoints::TWarcAccessPoints(std::uint64_t spacing) : spacing_(std::max<std::uint64_t>(spacing, 1)) {}

bool TWarcAccessPoints::Due(std::uint64_t memberDecoded, std::uint64_t decodedOffset) const {
  if (decodedOffset < memberDecoded + spacing_) return false;
  return points_.empty() || points_.back().decodedOffset < memberDecoded ||
         decodedOffset >= points_.back().decodedOffset + spacing_;
}

void TWarcAccessPoints::Add(TWarcAccessPoint point) {
  if (!points_.empty() && point.decodedOffset <= points_.back().decodedOffset) return;
  points_.push_back(std::move(point));
}

const TWarcAccessPoint* TWarcAccessPoints::Before(std::uint64_t memberStart,
                                                  std::uint64_t decodedOffset) const {
  auto it = std::upper_bound(points_.begin(), points_.end(), decodedOffset,
                             [](std::uint64_t d, const TWarcAccessPoint& p) { return d < p.decodedOffset; });
  if (it == points_.begin()) return nullptr;
  --it;
  return it->memberStart == memberStart ? &*it : nullptr;
}

std::size_t TWarcAccessPoints::Bytes() const {
  std::size_t n = 0;
  for (const TWarcAccessPoint& p : points_) n += p.window.size() + sizeof p;
  return n;
}

}  // namespace tavimo
