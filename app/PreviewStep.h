#pragma once
// When the preview area plays what: the main window calls these at a click on a URL row, after
// a scan, when previewing is switched on or off, and when it hides and clears itself.
#include <string>

#include "player/FlashPlayer.h"

namespace tavimo {

class TItemList;

// Stop, load the movie, play.
void PreviewUrl(FlashPlayer& player, const std::string& url);
// Loads the relative name "blank.swf" (which names nothing) and stops: the area goes empty.
void BlankPlayer(FlashPlayer& player);
// After a click on a URL row: previews the row when previewing is on; otherwise the player is
// not touched.
void PreviewClickedRow(FlashPlayer& player, bool isPreview, const TItemList& items, int row);
// After a scan that fetched: previews the first row when previewing is on and the list has
// rows; otherwise, when a page failed, blanks the player (the previous page's movie is not
// what this address holds); otherwise the player is not touched.
void PreviewAfterScan(FlashPlayer& player, bool isPreview, const TItemList& items, bool anyPageFailed);
// Previewing switched on: previews SelectedRow when ListView1 has a selected row, else stops.
void PreviewSwitchedOn(FlashPlayer& player, const TItemList& items);
// Previewing switched off: stops; the movie stays loaded.
void PreviewSwitchedOff(FlashPlayer& player);

}  // namespace tavimo
