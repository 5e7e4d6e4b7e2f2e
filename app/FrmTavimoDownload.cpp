// Saving the checked or the selected items into the category folder; the work is
// TDownloadDriver's.
#include "app/FrmTavimo.h"
#include "app/FrmTavimoPorts.h"

namespace tavimo {

void TFrmTavimo::butdownloadClick() { download_->butdownloadClick(); }

void TFrmTavimo::DownloadthisFlashItem1Click() { download_->DownloadthisFlashItem1Click(); }

}  // namespace tavimo
