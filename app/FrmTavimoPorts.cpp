#include "app/FrmTavimoPorts.h"

#include <QTimer>

#include "app/FrmTavimo.h"
#include "components/DropURLTarget.h"
#include "components/IECache.h"
#include "components/MouseImage.h"
#include "controls/FlatEdit.h"
#include "controls/FlatGauge.h"
#include "controls/FlatPanel.h"
#include "app/ItemList.h"
#include "detect/MemoLines.h"
#include "app/PreviewStep.h"
#include "download/HttpGet.h"
#include "net/HttpCli.h"
#include "desktop/Dialogs.h"
#include "desktop/HandlerGuard.h"
#include "sources/cache/UrlCacheStore.h"

namespace tavimo {

void TFrmTavimo::BuildComponents() {
  // As laid out on the form: both clients keep their defaults (agent, accept types, port 80,
  // no proxy until the browser settings name one), the page client runs multi-threaded.
  HttpCli1 = std::make_unique<THttpCli>(setup_.Net);
  HttpCli2 = std::make_unique<THttpCli>(setup_.Net);
  HttpCli2->SetMultiThreaded(true);
  httpgetfile = std::make_unique<THTTPGet>(*setup_.Registry, this);
  httpgetfile->ExtraCaFile = setup_.Net.ExtraCaFile;
  CacheStore = std::make_unique<UrlCacheStore>();
  httpgetfile->CacheStore = CacheStore.get();
  IECache1 = std::make_unique<TIECache>(CacheStore.get());
  IECache1->SearchPattern = spAll;
  IECache1->OnEntry = [this](TIECache* sender, bool& cancel) { IECache1Entry(sender, cancel); };
  Memo1Lines = std::make_unique<TMemoLines>();
  ports_ = std::make_unique<TFrmTavimoPorts>(*this, dialogs_);
  scan_ = std::make_unique<TPageScan>(*ports_, *Items, *Memo1Lines, *HttpCli2);
  download_ = std::make_unique<TDownloadDriver>(*ports_, *httpgetfile, *HttpCli1);
  download_->CacheStore = CacheStore.get();
  // Links only, read when the drag enters; attached to the address field at creation.
  DropURLTarget1 = std::make_unique<TDropURLTarget>();
  DropURLTarget1->Dragtypes = {dtLink};
  DropURLTarget1->GetDataOnEnter = true;
  DropURLTarget1->ShowImage = true;
  DropURLTarget1->OnDrop =
      GuardedEvent(dialogs_, [this] { DropURLTarget1Drop(DropURLTarget1->URL(), DropURLTarget1->Title()); });
}

void TFrmTavimoPorts::SetStatusText(const std::string& text) {
  form_.statubar->SetCaption(QString::fromStdString(text));
}

void TFrmTavimoPorts::SetStatusVisible(bool visible) {
  if (form_.statubar->isVisibleTo(&form_) != visible) form_.statubar->setVisible(visible);
}

void TFrmTavimoPorts::SetGaugeProgress(int value) { form_.Gauge1->SetProgress(value); }

int TFrmTavimoPorts::GaugeProgress() const { return form_.Gauge1->Progress(); }

bool TFrmTavimoPorts::ReadProxySettings(std::string& host, std::string& port) {
  if (!form_.Settings().ReadProxySettings()) return false;
  host = form_.Settings().ProxyHost;
  port = form_.Settings().ProxyPort;
  return true;
}

std::string TFrmTavimoPorts::AddressText() const { return form_.edturl->text().toStdString(); }

int TFrmTavimoPorts::DetectMode() const { return form_.Settings().DetectMode; }

void TFrmTavimoPorts::SetBusyTimerEnabled(bool enabled) {
  if (enabled) form_.Timer2->start();
  else form_.Timer2->stop();
}

void TFrmTavimoPorts::SetGoEnabled(bool enabled) { form_.butgo->Enable = enabled; }

void TFrmTavimoPorts::StartCacheSearch(bool listAllCache) {
  form_.ListAllCache = listAllCache;
  form_.StartCacheSearch();
}

void TFrmTavimoPorts::ScanFinished(bool anyPageFailed) {
  // After the close sequence there is no player left to show anything.
  if (form_.myplayer)
    PreviewAfterScan(*form_.myplayer, form_.Settings().IsPreview, *form_.Items, anyPageFailed);
}

void TFrmTavimoPorts::ShowMessage(const std::string& caption, const std::string& text) {
  dialogs_.ShowMessage(&form_, caption, text, MessageIcon::None);
}

std::string TFrmTavimoPorts::RootFieldText() const { return form_.edtdowndir->text().toStdString(); }

void TFrmTavimoPorts::SetDownloadRoot(const std::string& root) { form_.Settings().DownloadRoot = root; }

std::string TFrmTavimoPorts::SelectedCategory() const { return form_.SelectedCategory(); }

int TFrmTavimoPorts::ItemCount() const { return form_.Items->Count(); }

bool TFrmTavimoPorts::ItemChecked(int row) const { return form_.Items->IsChecked(row); }

std::string TFrmTavimoPorts::ItemUrl(int row) const { return form_.Items->Url(row); }

std::string TFrmTavimoPorts::ItemSaveName(int row) const { return form_.Items->SaveAsName(row); }

int TFrmTavimoPorts::FirstSelectedItem() const { return form_.Items->FirstSelectedRow(); }

int TFrmTavimoPorts::DownloadMode() const { return form_.Settings().DownloadMode; }

bool TFrmTavimoPorts::AutoClose() const { return form_.Settings().AutoClose; }

void TFrmTavimoPorts::HideAndClear() { form_.HideAndClear(); }

}  // namespace tavimo
