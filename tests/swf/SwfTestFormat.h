#pragma once
// References written as one line each ("load a.swf in DoAction sprite 3 depth 1"), so a case
// lists what it expects in the order the movie holds it.
#include <string>
#include <vector>

#include "swf/SwfReader.h"

namespace tavimo::test {

inline std::vector<std::string> Lines(const std::vector<SwfReference>& references) {
  std::vector<std::string> lines;
  for (const SwfReference& r : references) {
    std::string line = std::string(SwfReferenceKindName(r.kind)) + " " + r.text + " in " + r.foundIn;
    if (r.spriteId >= 0) line += " sprite " + std::to_string(r.spriteId);
    if (r.depth > 0) line += " depth " + std::to_string(r.depth);
    lines.push_back(line);
  }
  return lines;
}

}  // namespace tavimo::test
