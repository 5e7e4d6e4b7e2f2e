#include "swf/SwfReader.h"

#include "swf/SwfBytes.h"
#include "swf/SwfCode.h"
#include "swf/SwfBody.h"

namespace tavimo {
namespace {

enum Tag : std::uint32_t {
  kEnd = 0,
  kDefineButton = 7,
  kDoAction = 12,
  kPlaceObject2 = 26,
  kDefineButton2 = 34,
  kDefineSprite = 39,
  kImportAssets = 57,
  kDoInitAction = 59,
  kFileAttributes = 69,
  kPlaceObject3 = 70,
  kImportAssets2 = 71,
  kDoAbcRaw = 72,
  kDoAbc = 82,
  kDefineBinaryData = 87,
};

bool HasSwfSignature(std::string_view bytes) {
  return bytes.size() >= 8 && (bytes[0] == 'F' || bytes[0] == 'C' || bytes[0] == 'Z') && bytes[1] == 'W' &&
         bytes[2] == 'S';
}

bool HoldsCode(std::uint32_t code) {
  switch (code) {
    case kDefineButton:
    case kDoAction:
    case kPlaceObject2:
    case kDefineButton2:
    case kDefineSprite:
    case kImportAssets:
    case kDoInitAction:
    case kFileAttributes:
    case kPlaceObject3:
    case kImportAssets2:
    case kDoAbcRaw:
    case kDoAbc:
    case kDefineBinaryData: return true;
    default: return false;
  }
}

std::int32_t Signed(std::uint32_t value, int bits) {
  if (bits == 0) return 0;
  const std::uint32_t sign = 1u << (bits - 1);
  return static_cast<std::int32_t>((value ^ sign) - sign);
}

// One read of a movie and everything nested in it. The tag count, the decompressed bytes and the
// nesting depth are counted across all of it; passing a bound stops the whole read (`refused_`).
class MovieReader {
 public:
  MovieReader(const SwfLimits& limits, SwfReadResult& result) : limits_(limits), result_(result) {}

  // Reads a whole movie; returns why it could not be read to its end (empty when it could).
  std::string Movie(std::string_view bytes, int depth, int nesting) {
    SwfBytes in(bytes);
    std::string_view signature;
    std::uint32_t version = 0, fileLength = 0;
    if (!HasSwfSignature(bytes) || !in.Take(3, signature) || !in.U8(version) || !in.U32(fileLength))
      return "not a Flash movie (no FWS, CWS or ZWS signature)";
    const char compression = signature[0];
    if (depth == 0) {
      result_.info.version = static_cast<int>(version);
      result_.info.compression = compression;
      result_.info.fileLength = fileLength;
    }
    std::size_t expected = in.Remaining();
    std::string shortError;
    if (compression == 'F' && fileLength > bytes.size()) {
      shortError = "the movie ends after " + std::to_string(bytes.size()) + " of the " +
                   std::to_string(fileLength) + " bytes the header declares";
    } else if (compression != 'F') {
      if (fileLength < 8) return "the header declares a length of " + std::to_string(fileLength) + " bytes";
      expected = fileLength - 8;
      if (expected > limits_.maxDecompressedBytes - decompressed_)
        return Refuse("the movie decompresses to " + std::to_string(expected) + " bytes, over the limit of " +
                      std::to_string(limits_.maxDecompressedBytes) + " bytes");
      decompressed_ += expected;
      // ZWS: the compressed length (not needed: the data runs to the end), then the properties.
      if (compression == 'Z' && !(in.Skip(4) && in.Remaining() >= 5)) return "the LZMA header is cut short";
    }
    SwfBody body(compression, in.Rest(), expected);
    std::string error = Header(body, depth);
    if (error.empty()) error = Tags(body, static_cast<int>(version), depth, nesting, -1);
    // A bound passed comes first; then a body cut short, which explains the damage it leaves.
    if (refused_) return error;
    if (!body.Error().empty()) return body.Error();
    return shortError.empty() ? error : shortError;
  }

 private:
  std::string Refuse(std::string reason) {
    refused_ = true;
    return reason;
  }

  // The frame size (a rectangle of bit fields), frame rate and frame count.
  std::string Header(SwfBody& body, int depth) {
    std::string scratch, header;
    std::string_view part;
    if (!body.Take(1, part, scratch)) return "the movie header is cut short";
    header = part;
    const int bits = static_cast<unsigned char>(header[0]) >> 3;
    if (!body.Take((5 + 4 * bits + 7) / 8 - 1 + 4, part, scratch)) return "the movie header is cut short";
    header += part;
    SwfBytes head(header);
    std::uint32_t width = 0, v[4] = {}, rate = 0, frames = 0;
    head.Bits(5, width);  // `bits`, read above
    for (std::uint32_t& x : v) head.Bits(bits, x);
    head.U16(rate), head.U16(frames);
    if (depth == 0) {
      SwfInfo& info = result_.info;
      info.frame = {Signed(v[0], bits), Signed(v[1], bits), Signed(v[2], bits), Signed(v[3], bits)};
      info.frameRate = rate / 256.0;
      info.frameCount = static_cast<int>(frames);
      info.actionScript = 1;
    }
    return {};
  }

  std::string Tags(SwfBody& in, int version, int depth, int nesting, int spriteId) {
    std::string scratch;
    while (!in.AtEnd()) {
      const std::size_t offset = in.Offset();
      std::string_view bytes;
      if (!in.Take(2, bytes, scratch))
        return "the tag header at byte " + std::to_string(offset) + " of a tag list is cut short";
      std::uint32_t header = 0;
      SwfBytes(bytes).U16(header);
      const std::uint32_t code = header >> 6;
      std::uint32_t length = header & 0x3f;
      if (length == 0x3f) {
        if (!in.Take(4, bytes, scratch))
          return "the tag header at byte " + std::to_string(offset) + " of a tag list is cut short";
        SwfBytes(bytes).U32(length);
      }
      if (++tagCount_ > limits_.maxTags)
        return Refuse("the movie has more than " + std::to_string(limits_.maxTags) + " tags");
      std::string_view body;
      // Only the tags that can hold code are kept; pictures, sounds and the rest pass by.
      if (!(HoldsCode(code) ? in.Take(length, body, scratch) : in.Skip(length)))
        return "tag " + std::to_string(code) + " at byte " + std::to_string(offset) +
               " of a tag list runs past the end";
      if (code == kEnd) break;
      if (!HoldsCode(code)) continue;
      std::string error = Tag(code, body, version, depth, nesting, spriteId);
      if (!error.empty()) return error;
    }
    return {};
  }

  SwfReference Where(const char* tagName, int depth, int spriteId) const {
    SwfReference r;
    r.foundIn = tagName;
    r.spriteId = spriteId;
    r.depth = depth;
    return r;
  }

  std::string Tag(std::uint32_t code, std::string_view body, int version, int depth, int nesting,
                  int spriteId) {
    std::vector<SwfReference>& out = result_.references;
    SwfBytes in(body);
    std::uint32_t v = 0;
    std::string_view s;
    switch (code) {
      case kDoAction: ReadSwfActions(body, Where("DoAction", depth, spriteId), out); break;
      case kDoInitAction:
        if (in.U16(v)) ReadSwfActions(in.Rest(), Where("DoInitAction", depth, spriteId), out);
        break;
      case kPlaceObject2:
      case kPlaceObject3:
        ReadSwfPlaceObject(body, static_cast<int>(code), version,
                           Where(code == kPlaceObject2 ? "PlaceObject2" : "PlaceObject3", depth, spriteId),
                           out);
        break;
      case kDefineButton:
      case kDefineButton2:
        ReadSwfButton(body, static_cast<int>(code),
                      Where(code == kDefineButton ? "DefineButton" : "DefineButton2", depth, spriteId), out);
        break;
      case kDoAbc:
        if (!in.U32(v) || !in.String(s)) break;  // flags, name
        [[fallthrough]];
      case kDoAbcRaw:
        if (depth == 0) result_.info.actionScript = 3;
        ReadSwfAbc(in.Rest(), Where("DoABC", depth, spriteId), out);
        break;
      case kImportAssets:
      case kImportAssets2:
        if (in.String(s) && !s.empty()) {
          SwfReference r = Where(code == kImportAssets ? "ImportAssets" : "ImportAssets2", depth, spriteId);
          r.text = std::string(s);
          r.kind = SwfReference::Kind::Import;
          out.push_back(std::move(r));
        }
        break;
      case kFileAttributes:
        if (depth == 0 && in.U8(v) && (v & 0x08)) result_.info.actionScript = 3;
        break;
      case kDefineSprite:
        if (nesting + 1 > limits_.maxDepth) return TooDeep();
        if (in.U16(v) && in.Skip(2)) {
          SwfBody tags('F', in.Rest(), in.Remaining());
          return Tags(tags, version, depth, nesting + 1, static_cast<int>(v));
        }
        break;
      case kDefineBinaryData:
        if (in.Skip(6) && HasSwfSignature(in.Rest())) {
          if (nesting + 1 > limits_.maxDepth) return TooDeep();
          // A damaged embedded movie is only data that looked like one; a bound stops everything.
          std::string error = Movie(in.Rest(), depth + 1, nesting + 1);
          if (refused_) return error;
        }
        break;
      default: break;  // pictures, sounds, fonts, text and the rest hold no references
    }
    return {};
  }

  std::string TooDeep() {
    return Refuse("sprites and embedded movies are nested more than " + std::to_string(limits_.maxDepth) +
                  " deep");
  }

  const SwfLimits& limits_;
  SwfReadResult& result_;
  std::uint64_t tagCount_ = 0;
  std::uint64_t decompressed_ = 0;
  bool refused_ = false;
};

}  // namespace

SwfReadResult ReadSwf(std::string_view bytes, const SwfLimits& limits) {
  SwfReadResult result;
  MovieReader reader(limits, result);
  result.error = reader.Movie(bytes, 0, 0);
  return result;
}

const char* SwfReferenceKindName(SwfReference::Kind kind) {
  switch (kind) {
    case SwfReference::Kind::String: return "string";
    case SwfReference::Kind::Load: return "load";
    case SwfReference::Kind::Import: return "import";
  }
  return "string";
}

}  // namespace tavimo
