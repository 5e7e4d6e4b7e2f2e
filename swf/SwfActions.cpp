// ActionScript 1/2: the strings the actions push or keep in a constant pool, and the files
// GetURL/GetURL2 load. A load goes into a level ("_level1", as loadMovieNum writes it) or a clip,
// or reads variables; a browser window target (_blank, _self, a frame name) is navigation, and
// "FSCommand:" talks to the host page: neither is a file the movie needs.
#include <optional>
#include <string>

#include "swf/SwfBytes.h"
#include "swf/SwfCode.h"

namespace tavimo {
namespace {

enum Action : std::uint32_t {
  kGetUrl = 0x83,
  kConstantPool = 0x88,
  kPush = 0x96,
  kGetUrl2 = 0x9a,
};

char Lower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

bool StartsWithNoCase(std::string_view text, std::string_view prefix) {
  if (text.size() < prefix.size()) return false;
  for (std::size_t i = 0; i < prefix.size(); ++i)
    if (Lower(text[i]) != Lower(prefix[i])) return false;
  return true;
}

bool IsFsCommand(std::string_view url) { return StartsWithNoCase(url, "fscommand:"); }

// "_level" and a number: the level loadMovieNum and loadVariablesNum load into.
bool IsLevelTarget(std::string_view target) {
  if (!StartsWithNoCase(target, "_level") || target.size() == 6) return false;
  for (char c : target.substr(6))
    if (c < '0' || c > '9') return false;
  return true;
}

// A clip path as loadMovie and loadVariables name their target: from the root, a level, "this"
// or the parent clip (dotted or slash syntax), or any dotted/slashed path. A bare name is taken
// as a browser window or frame, as the players do for GetURL.
bool IsClipTarget(std::string_view target) {
  if (target.empty()) return false;
  if (target.front() == '/') return true;
  for (std::string_view root : {"_root", "_level", "this"}) {
    if (StartsWithNoCase(target, root)) return true;
  }
  if (StartsWithNoCase(target, "_parent")) return target.size() > 7 && (target[7] == '.' || target[7] == '/');
  if (target.front() == '_') return false;  // _blank, _self, _top and the like
  return target.find_first_of("./:") != std::string_view::npos;
}

class ActionReader {
 public:
  ActionReader(const SwfReference& where, std::vector<SwfReference>& out) : where_(where), out_(out) {}

  void Read(std::string_view actions) {
    SwfBytes in(actions);
    std::uint32_t code = 0;
    while (in.U8(code) && code != 0) {
      std::string_view payload;
      if (code >= 0x80) {
        std::uint32_t length = 0;
        if (!in.U16(length) || !in.Take(length, payload)) return;
      }
      switch (code) {
        case kConstantPool: ConstantPool(payload); break;
        case kPush: Push(payload); break;
        case kGetUrl: GetUrl(payload); break;
        case kGetUrl2: GetUrl2(payload); break;
        default: stack_[0] = stack_[1] = std::nullopt;  // the stack is no longer what was pushed
      }
    }
  }

 private:
  void Report(std::string_view text, SwfReference::Kind kind) {
    if (text.empty() || IsFsCommand(text)) return;
    SwfReference r = where_;
    r.text = std::string(text);
    r.kind = kind;
    out_.push_back(std::move(r));
  }

  void ConstantPool(std::string_view payload) {
    SwfBytes in(payload);
    pool_.clear();
    std::uint32_t count = 0;
    if (!in.U16(count)) return;
    for (std::uint32_t i = 0; i < count; ++i) {
      std::string_view s;
      if (!in.String(s)) return;
      pool_.push_back(s);
      Report(s, SwfReference::Kind::String);
    }
  }

  void Pushed(std::optional<std::string_view> value) {
    stack_[0] = stack_[1];
    stack_[1] = value;
  }

  void Push(std::string_view payload) {
    SwfBytes in(payload);
    std::uint32_t type = 0;
    while (in.U8(type)) {
      std::uint32_t index = 0;
      std::string_view s;
      switch (type) {
        case 0:  // string
          if (!in.String(s)) return;
          Report(s, SwfReference::Kind::String);
          Pushed(s);
          continue;
        case 8:  // constant pool index, 1 byte
        case 9:  // constant pool index, 2 bytes
          if (!(type == 8 ? in.U8(index) : in.U16(index))) return;
          // The pool's strings were reported with the pool.
          Pushed(index < pool_.size() ? std::optional<std::string_view>(pool_[index]) : std::nullopt);
          continue;
        case 2:  // null
        case 3:  // undefined
          break;
        case 4:  // register
        case 5:  // boolean
          if (!in.Skip(1)) return;
          break;
        case 1:  // float
        case 7:  // integer
          if (!in.Skip(4)) return;
          break;
        case 6:  // double
          if (!in.Skip(8)) return;
          break;
        default: return;  // unknown: its size is unknown too
      }
      Pushed(std::nullopt);
    }
  }

  void Load(std::string_view url, std::string_view target, bool intoClipOrVariables) {
    if (IsFsCommand(url)) return;
    if (intoClipOrVariables || IsLevelTarget(target) || IsClipTarget(target))
      Report(url, SwfReference::Kind::Load);
  }

  void GetUrl(std::string_view payload) {
    SwfBytes in(payload);
    std::string_view url, target;
    if (in.String(url) && in.String(target)) Load(url, target, false);
    stack_[0] = stack_[1] = std::nullopt;
  }

  // The URL and the target are the two values pushed last; the flags tell a load into a clip
  // (load target flag) and a variables load from a browser window load.
  void GetUrl2(std::string_view payload) {
    SwfBytes in(payload);
    std::uint32_t flags = 0;
    const auto url = stack_[0], target = stack_[1];
    stack_[0] = stack_[1] = std::nullopt;
    if (!in.U8(flags) || !url || !target) return;
    const bool loadTarget = flags & 0x02, loadVariables = flags & 0x01;
    // A window target by name still loads into a level when it names one (loadMovieNum).
    if (loadTarget || loadVariables || IsLevelTarget(*target)) Load(*url, *target, true);
  }

  const SwfReference& where_;
  std::vector<SwfReference>& out_;
  std::vector<std::string_view> pool_;
  std::optional<std::string_view> stack_[2];
};

}  // namespace

void ReadSwfActions(std::string_view actions, const SwfReference& where, std::vector<SwfReference>& out) {
  ActionReader(where, out).Read(actions);
}

}  // namespace tavimo
