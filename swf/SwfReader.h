#pragma once
// Reads a Flash movie (plain, zlib or LZMA compressed) and lists the references it holds: the
// strings of its ActionScript 1/2 code (frame, init, clip and button actions) and of its
// ActionScript 3 code, the files its actions load and the movies it imports assets from, each
// with the tag it was found in. The tags of sprites and movies embedded as binary data are read
// too. Picture, sound, font and text data are never looked at.
// Reading is linear in the input and bounded by SwfLimits; a movie over a bound is refused with
// the reason, keeping what was found before it.
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace tavimo {

struct SwfLimits {
  std::uint64_t maxDecompressedBytes = 64ull * 1024 * 1024;  // all movies of one read together
  std::uint64_t maxTags = 1000000;                           // sprites and embedded movies included
  int maxDepth = 8;                                          // sprites and embedded movies in each other
};

struct SwfReference {
  enum class Kind {
    String,  // a string of the code (pushed, in a constant pool, in an ABC string pool)
    Load,    // a file GetURL/GetURL2 loads into a level or a clip, or a variables load
    Import,  // the movie ImportAssets/ImportAssets2 takes assets from
  };
  std::string text;
  Kind kind = Kind::String;
  std::string foundIn;  // the tag kind: "DoAction", "PlaceObject2", "DefineButton2", "DoABC" ...
  int spriteId = -1;    // the sprite whose tags held it, -1 for the movie's own tags
  int depth = 0;        // 0 for the movie itself, 1 for a movie embedded in it, ...
};

struct SwfRect {
  std::int32_t xMin = 0, xMax = 0, yMin = 0, yMax = 0;  // twips
};

struct SwfInfo {
  int version = 0;
  char compression = 0;  // 'F' plain, 'C' zlib, 'Z' LZMA
  std::uint32_t fileLength = 0;
  SwfRect frame;
  double frameRate = 0;
  int frameCount = 0;
  int actionScript = 0;  // 3 when the movie says so or holds ABC code, else 1 (ActionScript 1/2)
};

struct SwfReadResult {
  SwfInfo info;
  std::vector<SwfReference> references;
  std::string error;  // empty when the whole movie was read
  bool ok() const { return error.empty(); }
};

SwfReadResult ReadSwf(std::string_view bytes, const SwfLimits& limits = {});

// The kind's name as reports write it: "string", "load", "import".
const char* SwfReferenceKindName(SwfReference::Kind kind);

}  // namespace tavimo
