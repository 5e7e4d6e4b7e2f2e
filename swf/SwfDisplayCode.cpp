// The code attached to what is shown: the clip actions of PlaceObject2/3 and the actions of
// buttons. The fields before the code are walked only to find where it starts.
#include <algorithm>

#include "swf/SwfBytes.h"
#include "swf/SwfCode.h"

namespace tavimo {
namespace {

constexpr int kPlaceObject3 = 70;
constexpr int kDefineButton2 = 34;

bool SkipMatrix(SwfBytes& in) {
  std::uint32_t has = 0, bits = 0, v = 0;
  for (int part = 0; part < 2; ++part) {  // scale, then rotate/skew
    if (!in.Bits(1, has)) return false;
    if (has &&
        !(in.Bits(5, bits) && in.Bits(static_cast<int>(bits), v) && in.Bits(static_cast<int>(bits), v)))
      return false;
  }
  if (!(in.Bits(5, bits) && in.Bits(static_cast<int>(bits), v) && in.Bits(static_cast<int>(bits), v)))
    return false;
  in.AlignBits();
  return true;
}

bool SkipColorTransformWithAlpha(SwfBytes& in) {
  std::uint32_t hasAdd = 0, hasMult = 0, bits = 0, v = 0;
  if (!(in.Bits(1, hasAdd) && in.Bits(1, hasMult) && in.Bits(4, bits))) return false;
  const int terms = 4 * (static_cast<int>(hasAdd) + static_cast<int>(hasMult));
  for (int i = 0; i < terms; ++i)
    if (!in.Bits(static_cast<int>(bits), v)) return false;
  in.AlignBits();
  return true;
}

bool SkipFilters(SwfBytes& in) {
  std::uint32_t count = 0, id = 0, n = 0, x = 0, y = 0;
  if (!in.U8(count)) return false;
  for (std::uint32_t i = 0; i < count; ++i) {
    if (!in.U8(id)) return false;
    bool ok = false;
    switch (id) {
      case 0: ok = in.Skip(23); break;                                         // drop shadow
      case 1: ok = in.Skip(9); break;                                          // blur
      case 2: ok = in.Skip(15); break;                                         // glow
      case 3: ok = in.Skip(27); break;                                         // bevel
      case 4:                                                                  // gradient glow
      case 7: ok = in.U8(n) && in.Skip(5 * n + 19); break;                     // gradient bevel
      case 5: ok = in.U8(x) && in.U8(y) && in.Skip(8 + 4 * x * y + 5); break;  // convolution
      case 6: ok = in.Skip(80); break;                                         // color matrix
      default: return false;
    }
    if (!ok) return false;
  }
  return true;
}

}  // namespace

void ReadSwfPlaceObject(std::string_view body, int tagCode, int version, const SwfReference& where,
                        std::vector<SwfReference>& out) {
  SwfBytes in(body);
  std::uint32_t flags = 0, flags3 = 0, v = 0;
  if (!in.U8(flags)) return;
  if (!(flags & 0x80)) return;  // no clip actions
  const bool three = tagCode == kPlaceObject3;
  if (three && !in.U8(flags3)) return;
  if (!in.U16(v)) return;  // depth
  std::string_view s;
  const bool hasCharacter = flags & 0x02;
  if (three && ((flags3 & 0x08) || ((flags3 & 0x10) && hasCharacter)) && !in.String(s)) return;  // class name
  if (hasCharacter && !in.U16(v)) return;
  if ((flags & 0x04) && !SkipMatrix(in)) return;
  if ((flags & 0x08) && !SkipColorTransformWithAlpha(in)) return;
  if ((flags & 0x10) && !in.U16(v)) return;     // ratio
  if ((flags & 0x20) && !in.String(s)) return;  // name
  if ((flags & 0x40) && !in.U16(v)) return;     // clip depth
  if (three) {
    if ((flags3 & 0x01) && !SkipFilters(in)) return;
    if ((flags3 & 0x02) && !in.Skip(1)) return;  // blend mode
    if ((flags3 & 0x04) && !in.Skip(1)) return;  // bitmap cache
    if ((flags3 & 0x20) && !in.Skip(1)) return;  // visible
    if ((flags3 & 0x40) && !in.Skip(4)) return;  // background colour
  }
  // The clip actions: reserved, all event flags, then records up to zero event flags.
  const std::size_t flagBytes = version <= 5 ? 2 : 4;
  if (!in.Skip(2 + flagBytes)) return;
  for (;;) {
    std::string_view eventFlags, actions;
    std::uint32_t size = 0;
    if (!in.Take(flagBytes, eventFlags)) return;
    if (eventFlags.find_first_not_of('\0') == std::string_view::npos) return;  // the end
    if (!in.U32(size) || !in.Take(size, actions)) return;
    // A key press event starts its actions with the key code.
    const bool keyPress = flagBytes == 4 && (static_cast<unsigned char>(eventFlags[2]) & 0x02);
    ReadSwfActions(keyPress ? actions.substr(actions.empty() ? 0 : 1) : actions, where, out);
  }
}

void ReadSwfButton(std::string_view body, int tagCode, const SwfReference& where,
                   std::vector<SwfReference>& out) {
  SwfBytes in(body);
  std::uint32_t v = 0;
  if (!in.U16(v)) return;  // button id
  if (tagCode == kDefineButton2) {
    // The action offset counts from its own field, past the button records.
    std::uint32_t offset = 0;
    if (!in.U8(v)) return;  // track as menu
    const std::size_t field = in.Offset();
    if (!in.U16(offset) || offset == 0) return;
    SwfBytes conditions(body.substr(std::min(body.size(), field + offset)));
    for (;;) {
      // Each condition's size counts from its own field to the next condition; 0 for the last.
      std::uint32_t size = 0;
      std::string_view actions;
      if (!conditions.U16(size) || !conditions.U16(v)) return;
      if (size == 0) return ReadSwfActions(conditions.Rest(), where, out);
      if (size < 4 || !conditions.Take(size - 4, actions)) return;
      ReadSwfActions(actions, where, out);
    }
  }
  // DefineButton: button records (state flags, character, depth, matrix) up to a zero byte, then
  // the actions.
  for (;;) {
    if (!in.U8(v)) return;
    if (v == 0) break;
    if (!in.Skip(4) || !SkipMatrix(in)) return;
  }
  ReadSwfActions(in.Rest(), where, out);
}

}  // namespace tavimo
