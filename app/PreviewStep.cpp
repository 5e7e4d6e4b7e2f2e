#include "app/PreviewStep.h"

#include "app/ItemList.h"

namespace tavimo {

void PreviewUrl(FlashPlayer& player, const std::string& url) {
  player.Stop();
  player.Movie(url);
  player.Play();
}

void BlankPlayer(FlashPlayer& player) {
  player.Movie("blank.swf");
  player.Stop();
}

void PreviewClickedRow(FlashPlayer& player, bool isPreview, const TItemList& items, int row) {
  if (isPreview && row >= 0 && row < items.Count()) PreviewUrl(player, items.Url(row));
}

void PreviewAfterScan(FlashPlayer& player, bool isPreview, const TItemList& items, bool anyPageFailed) {
  if (isPreview && items.Count() > 0) {
    PreviewUrl(player, items.Url(0));
  } else if (anyPageFailed) {
    BlankPlayer(player);
  }
}

void PreviewSwitchedOn(FlashPlayer& player, const TItemList& items) {
  // With no row picked, or a row the list no longer has, there is nothing to play and the
  // player only stops.
  const int row = items.SelectedRow;
  if (items.FirstSelectedRow() >= 0 && row >= 0 && row < items.Count()) {
    PreviewUrl(player, items.Url(row));
  } else {
    player.Stop();
  }
}

void PreviewSwitchedOff(FlashPlayer& player) { player.Stop(); }

}  // namespace tavimo
