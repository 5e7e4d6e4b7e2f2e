// ActionScript 3: the ABC block's constant pool holds every string the code uses; the integer,
// unsigned and double tables before it are walked only to reach it.
#include "swf/SwfBytes.h"
#include "swf/SwfCode.h"

namespace tavimo {

void ReadSwfAbc(std::string_view abc, const SwfReference& where, std::vector<SwfReference>& out) {
  SwfBytes in(abc);
  std::uint32_t minor = 0, major = 0, count = 0, v = 0;
  if (!in.U16(minor) || !in.U16(major)) return;
  // Each table's count includes an unwritten entry 0; every entry takes at least one byte, so a
  // damaged count ends at the end of the data.
  for (int table = 0; table < 2; ++table) {  // int, uint
    if (!in.VarU32(count)) return;
    for (std::uint32_t i = 1; i < count; ++i)
      if (!in.VarU32(v)) return;
  }
  if (!in.VarU32(count)) return;  // double
  if (count > 1 && (count - 1) > in.Remaining() / 8) return;
  if (count > 1 && !in.Skip(8 * static_cast<std::size_t>(count - 1))) return;
  if (!in.VarU32(count)) return;  // string
  for (std::uint32_t i = 1; i < count; ++i) {
    std::uint32_t length = 0;
    std::string_view s;
    if (!in.VarU32(length) || !in.Take(length, s)) return;
    if (s.empty()) continue;
    SwfReference r = where;
    r.text = std::string(s);
    r.kind = SwfReference::Kind::String;
    out.push_back(std::move(r));
  }
}

}  // namespace tavimo
