#pragma once
// The most bytes one movie may have: what the preview fetches, what a save writes after its
// content coding is undone (from the network, a web archive or a browser's cache), and what a
// cached body is decoded to when its size is needed. A body that would pass it is refused with
// the reason, never cut short. The moviebytes limit of the settings changes it.
#include <cstdint>

namespace tavimo {

inline constexpr std::int64_t kDefaultMovieBytes = std::int64_t{64} << 20;

}  // namespace tavimo
