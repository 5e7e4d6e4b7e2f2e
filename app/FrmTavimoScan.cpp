// The page scan as the main window starts it: the Go button, Enter and mouse moves in the
// address field, dropped links. The scan itself is TPageScan's.
#include "app/FrmTavimo.h"
#include "app/FrmTavimoPorts.h"
#include "components/IECache.h"
#include "controls/FlatEdit.h"
#include "detect/CacheSearch.h"
#include "detect/ScanAddress.h"
#include "app/ItemList.h"

namespace tavimo {

void TFrmTavimo::butgoClick() {
  // The web engine starts while the page loads, so the first preview after the scan is quick.
  WarmPlayer();
  scan_->WithQuery = settings_->SwfWithQuery;
  // The field shows what is scanned: a typed "example.org/games.htm" becomes its http address
  // (the scan reads the field at every use, so both agree).
  const ScanAddress usable = UsableScanAddress(edturl->text().toStdString());
  if (!usable.address.empty() && usable.address != edturl->text().trimmed().toStdString())
    edturl->setText(QString::fromStdString(usable.address));
  scan_->butgoClick();
}

void TFrmTavimo::WarmPlayer() {
  if (myplayer && settings_->IsPreview) myplayer->Prepare();
}

void TFrmTavimo::StartCacheSearch() {
  IECache1->SearchPattern = spUrl;
  cacheSearch_.emplace(*Items, ports_->AddressText(), ListAllCache);
  IECache1->EnumerateEntries(0);
  cacheSearch_.reset();
}

void TFrmTavimo::IECache1Entry(TIECache* sender, bool&) {
  if (cacheSearch_) cacheSearch_->Entry(sender->EntryInfo().SourceUrlName);
}

void TFrmTavimo::Timer2Timer() { scan_->Timer2Timer(); }

void TFrmTavimo::edturlKeyDown(int key) {
  if (key == 13) butgoClick();
}

void TFrmTavimo::edturlMouseMove() {
  edturl->setFocus();
  edturl->selectAll();
}

void TFrmTavimo::DropURLTarget1Drop(const std::string& url, const std::string& title) {
  // The dropped address replaces the field's text (the scan reads it from there); the link's
  // title becomes the hint. The field shows text, so the bytes are shown as UTF-8.
  edturl->setText(QString::fromStdString(url));
  edturl->setToolTip(QString::fromStdString(title));
}

}  // namespace tavimo
