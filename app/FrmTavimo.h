#pragma once
// The main window: a borderless, skinned 563 x 472 window that owns every control and
// component of the program. Its handlers are split by concern over several files:
//   FrmTavimo.cpp            layout (the controls with their names, kinds and bounds)
//   FrmTavimoForm.cpp        creation, close, hide-and-clear, toggles, paint, timer, key and
//                            mouse filtering, about box, help, web link, options
//   FrmTavimoItems.cpp       the item list, its menu and the preview step
//   FrmTavimoCategories.cpp  categories, the download root and its folder browser
//   FrmTavimoScan.cpp        the page scan (address field, Go button) and the cache search
//   FrmTavimoDownload.cpp    the downloads
//   FrmTavimoTray.cpp        tray, browser capture, Exit
//   FrmTavimoHotKeys.cpp     hot keys F7 and F6, message 0x464, the second start's nudge
#include <QWidget>
#include <chrono>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "app/FrmOption.h"
#include "app/SettingsStore.h"
#include "detect/CacheSearch.h"
#include "net/NetServices.h"
#include "player/FlashPlayer.h"
#include "desktop/HotKeys.h"
#include "desktop/X11Message.h"

class QIcon;
class QMenu;
class QPlainTextEdit;
class QTimer;

namespace tavimo {

class Dialogs;
class TFrmTavimo;
class TrayShell;

class TDownloadDriver;
class TDropURLTarget;
class TFlatEdit;
class TFlatGauge;
class TFlatListBox;
class TFlatPanel;
class TFlatTitlebar;
class TFrmTavimoPorts;
class THTTPGet;
class TIECache;
class UrlCacheStore;
class THttpCli;
class TMemoLines;
class TPageScan;
class TRxTrayIcon;
class TImage;
class TItemList;
class TMouseEffectImage;
class TMouseImage;

inline constexpr const char* kMainCaption = "Tavimo V4.0";
inline constexpr const char* kMainWindowClass = "TFrmTavimo";

// The tray tip for the hot keys held: the described one while F7 is ours.
std::string TrayHintForKeys(bool f7, bool f6);

// What the window needs from outside; the defaults are the real ones, tests point them at
// temporary files and fakes.
struct FrmTavimoSetup {
  FrmTavimoSetup();
  std::string SettingsFile;
  std::string LinkListFile;
  const RegistrySource* Registry = nullptr;  // the environment-backed registry when null
  FlashPlayerFactory PlayerFactory;
  // Called with the window at the start of its creation, before the creation handler runs.
  std::function<void(TFrmTavimo*)> Created;
  // The notification area the tray icon lives in; the desktop's when empty.
  std::function<std::unique_ptr<TrayShell>()> TrayShellFactory;
  // Message boxes, modal dialogs, the folder browser and the shell for everything the window
  // opens (not owned); the desktop backend, owned by the window, when null.
  tavimo::Dialogs* Dialogs = nullptr;
  // Name lookup and the extra TLS trust of the clients the window makes: the page and download
  // clients take both, the file getter (libcurl) the trusted certificates. The system's when empty.
  NetServices Net;
  std::string FirstParam;  // the first command-line parameter ("-mini", "-menuext", ...)
  // The front browser's address, read off the window's thread; CaptureFrontBrowserAddress
  // when empty.
  std::function<std::optional<std::string>()> CaptureAddress;
  // How long showing the window waits for that address before it goes on without it (the
  // address and a scan asked for meanwhile follow when it arrives), and when an address that
  // has not arrived is given up. Creation waits up to the latter.
  int CaptureWaitMs = 50;
  int CaptureGiveUpMs = 3000;
};

class TFrmTavimo : public QWidget, public SettingsControls, public TopmostWindow {
 public:
  explicit TFrmTavimo(FrmTavimoSetup setup = {});
  ~TFrmTavimo() override;

  // Controls, named as the rest of the program knows them.
  TImage* backimg = nullptr;
  TFlatTitlebar* Titlebar1 = nullptr;
  TMouseImage* butinfo = nullptr;
  TMouseImage* butquestion = nullptr;
  TMouseImage* butmini = nullptr;
  TMouseImage* butclose = nullptr;
  TFlatPanel* FlatPanel1 = nullptr;
  TItemList* Items = nullptr;  // ListView1, Splitter1 and ListView2 inside FlatPanel1
  TImage* imgpreviewy = nullptr;
  TImage* imgpreviewn = nullptr;
  TMouseImage* butdownload = nullptr;
  QWidget* PlayerArea = nullptr;          // the place of myplayer, 31, 223, 248 x 131
  std::unique_ptr<FlashPlayer> myplayer;  // null once the close sequence destroyed it
  TFlatListBox* lstclass = nullptr;
  QPlainTextEdit* Memo1 = nullptr;
  TImage* Image1 = nullptr;
  TFlatEdit* edtdowndir = nullptr;
  TMouseImage* butchange = nullptr;
  TMouseEffectImage* MouseEffectImage1 = nullptr;
  TImage* imgautoclosey = nullptr;
  TImage* imgautoclosen = nullptr;
  TFlatGauge* Gauge1 = nullptr;
  TFlatPanel* statubar = nullptr;
  TImage* butRefresh = nullptr;
  TFlatEdit* edturl = nullptr;
  TMouseImage* butgo = nullptr;
  QTimer* Timer2 = nullptr;
  // Components: the page client, the download client and the file getter.
  std::unique_ptr<THttpCli> HttpCli1;
  std::unique_ptr<THttpCli> HttpCli2;
  std::unique_ptr<THTTPGet> httpgetfile;
  // The machine's URL cache (the browsers' and Tavimo's own) and its enumerator.
  std::unique_ptr<UrlCacheStore> CacheStore;
  std::unique_ptr<TIECache> IECache1;
  // Links dropped on the address field (attached to edturl at creation).
  std::unique_ptr<TDropURLTarget> DropURLTarget1;
  // The notification-area icon with PopNotify, from the end of creation to the window's end.
  std::unique_ptr<TRxTrayIcon> RxTrayIcon1;
  // The lines of the hidden text box Memo1 as the scan fills them (a page of any size).
  std::unique_ptr<TMemoLines> Memo1Lines;
  QMenu* PopupMenu1 = nullptr;  // category list
  QMenu* PopupMenu2 = nullptr;  // item list
  QMenu* PopNotify = nullptr;   // tray

  TSettingsStore& Settings() { return *settings_; }
  TPageScan& PageScan() { return *scan_; }  // its bounds are settings
  bool ListAllCache = false;

  // Window operations offered to the rest of the program.
  void HideAndClear();
  void UpdateToggleImages();
  // Marks the window as not to be shown at start (the "-mini" switch), unless nothing could
  // bring a hidden window back.
  bool StartHidden() const { return setup_.FirstParam == "-mini" && WayBackAvailable(); }
  // Whether a hidden window can be brought back: a tray host shows the icon, or one of the hot
  // keys is held. Without either, hiding minimises instead.
  bool WayBackAvailable() const;
  // Hides the window, or minimises it when nothing could bring it back.
  void HideWindow();
  // Shows a text in the status panel (over the gauge).
  void ShowStatus(const std::string& text);
  // Starts the preview player's engine ahead of a preview that is likely to come.
  void WarmPlayer();
  // The tray tip names the hot keys that are ours ("Press F7 ..." when F7 is).
  void UpdateTrayHint();
  // Sets the X window class; again after every window-flag change.
  void ApplyWindowClass();

  // Hot keys and the private message (FrmTavimoHotKeys.cpp). HotKeysRegistered() says that the
  // registration step ran and the close has not undone it; HotKeyActive() that the key is ours
  // now (not without X11, not while another program holds it).
  void WMHotKey(int vk);
  void WMPrivate464();
  // A second start pressed F7 and sent this; one of the two acts, never both.
  void SecondStartNudge();
  bool HotKeyActive(int vk) const;
  std::vector<int> ActiveHotKeys() const;

  // Handlers.
  void FormCreate();
  void FormClose();
  void FormPaint(QPainter& painter);
  void DrawPlayerFrame(QPainter& painter);
  void FormKeyPress(char key);
  void butcloseClick();
  void butminiClick();
  void butinfoClick();
  void butquestionClick();
  void Image1Click();
  void MouseEffectImage1Click();
  void imgautocloseyClick();
  void imgautoclosenClick();
  void imgpreviewyClick();
  void imgpreviewnClick();
  void Timer2Timer();
  void ApplicationEvents1Minimize();
  void AssignSkinNames();

  // Item list.
  void LoadLinkList();
  void ClearItems1Click();
  void AddaNewCategory2Click();
  void ListView1Clicked(int row);

  // Categories and the download root.
  void AddaNewCategory1Click();
  void DeleteThisCategory1Click();
  void butchangeClick();
  void BrowseForRoot();
  void AddRootSubfolders();
  // The folder the next download saves into, from the root field and the selected category.
  std::string ItemFolder() const;
  // The entry of lstclass at its selected index; "List index out of bounds (-1)" without one.
  std::string SelectedCategory() const;

  // Page scan and downloads (the work lives in TPageScan and TDownloadDriver); tray and hot
  // keys: see the files named above.
  void butgoClick();
  // The cache search: every entry of the URL cache goes through IECache1Entry, which appends
  // the Flash movies (of the address field's host unless ListAllCache) to the item list.
  void StartCacheSearch();
  void IECache1Entry(TIECache* sender, bool& cancel);
  void edturlKeyDown(int key);
  void edturlMouseMove();
  void DropURLTarget1Drop(const std::string& url, const std::string& title);
  void butdownloadClick();
  void DownloadthisFlashItem1Click();
  // Puts the front browser's address into edturl: at once when it is read within waitMs, else
  // when it arrives (unless the field was edited meanwhile). -1: CaptureWaitMs.
  void CaptureBrowserAddress(int waitMs = -1);
  // Scans once no capture is under way: at once, or after the address has arrived.
  void ScanAfterCapture();
  void ShowMainWindow();
  void butRefreshClick();
  void RxTrayIcon1DblClick();
  void RegisterHotKeys();
  void UnregisterHotKeys();
  void Close1Click();
  // The end of the session (a termination signal, the session manager's quit): the close
  // sequence as "Exit" runs it, without any message box.
  void EndSession();
  bool Closed() const { return closed_; }
  bool HotKeysRegistered() const { return hotKeysRegistered_; }

  // SettingsControls: lstclass and edtdowndir as the settings file stores them.
  std::vector<std::string> CategoryItems() const override;
  void SetCategoryItems(const std::vector<std::string>& items) override;
  void SetCategoryIndex(int index) override;
  void SetRootFieldText(const std::string& text) override;

  // TopmostWindow: "Always on Top" from the options dialog, for the rest of the run.
  bool IsTopmost() const override;
  void SetTopmost(bool on) override;

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;
  void closeEvent(QCloseEvent* event) override;
  void changeEvent(QEvent* event) override;
  void showEvent(QShowEvent* event) override;

 private:
  void BuildLayout();
  void BuildMenus();
  void BuildComponents();
  void BuildCategoryMenu();
  void BuildItemMenu();
  void BuildTrayMenu();
  void BuildTrayIcon();
  void ConnectHandlers();
  bool IsInPlayerArea(QObject* object) const;
  bool IsItemEditor(const QWidget* widget) const;
  // Stops a running scan and a running batch (nothing is fetched after it).
  void StopWork();
  // A picture of the menus' image list by its index; none when the skin lacks it.
  static QIcon MenuPicture(int index);

  FrmTavimoSetup setup_;
  std::unique_ptr<Dialogs> ownDialogs_;
  Dialogs& dialogs_;  // setup_.Dialogs or ownDialogs_
  std::unique_ptr<TFrmTavimoPorts> ports_;
  std::unique_ptr<TPageScan> scan_;
  std::unique_ptr<TDownloadDriver> download_;
  std::unique_ptr<RegistrySource> ownRegistry_;
  std::unique_ptr<TSettingsStore> settings_;
  bool closed_ = false;
  bool terminating_ = false;
  bool hotKeysRegistered_ = false;
  bool placed_ = false;
  // The cache search while StartCacheSearch runs: IECache1Entry hands it each entry.
  std::optional<CacheSearch> cacheSearch_;
  // Hot keys and message 0x464; created by the registration step.
  std::unique_ptr<HotKeys> hotKeys_;
  std::unique_ptr<X11Message> messages_;
  // When F7 last acted through the hot key and through a second start's nudge.
  std::optional<std::chrono::steady_clock::time_point> lastHotKeyF7_, lastNudgeF7_;
  void F7Action();
  // The capture under way, if any, and whether a scan waits for it.
  struct CaptureRun;
  std::shared_ptr<CaptureRun> capture_;
  bool scanAfterCapture_ = false;
  void CaptureArrived(const std::shared_ptr<CaptureRun>& run);
};

}  // namespace tavimo
