#pragma once
// The readers of the tags that hold code, used by SwfReader. Each takes the body of one tag and
// appends what it finds to `out`, every reference a copy of `where` (the tag kind, sprite and
// depth) with its text and kind filled in. Damaged code ends the reading of that tag only.
#include <string_view>
#include <vector>

#include "swf/SwfReader.h"

namespace tavimo {

// An ActionScript 1/2 action list (DoAction, DoInitAction after its sprite id, a clip action).
void ReadSwfActions(std::string_view actions, const SwfReference& where, std::vector<SwfReference>& out);
// PlaceObject2 (26) or PlaceObject3 (70): the fields up to the clip actions, then their actions.
// Movies of version 5 and older write the clip event flags in 2 bytes, later ones in 4.
void ReadSwfPlaceObject(std::string_view body, int tagCode, int version, const SwfReference& where,
                        std::vector<SwfReference>& out);
// DefineButton (7): its one action list; DefineButton2 (34): the actions of each condition.
void ReadSwfButton(std::string_view body, int tagCode, const SwfReference& where,
                   std::vector<SwfReference>& out);
// An ActionScript 3 ABC block: every string of its constant pool.
void ReadSwfAbc(std::string_view abc, const SwfReference& where, std::vector<SwfReference>& out);

}  // namespace tavimo
