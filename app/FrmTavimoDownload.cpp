// Saving the checked or the selected items into the category folder.
#include "app/FrmTavimo.h"

namespace tavimo {

void TFrmTavimo::butdownloadClick() {
  // Not yet built: the download driver (file getter or own HTTP client, progress, auto-close)
  // arrives later; ItemFolder() already gives the folder it saves into.
}

void TFrmTavimo::DownloadthisFlashItem1Click() {
  // Not yet built: see butdownloadClick.
}

}  // namespace tavimo
