#pragma once
// A main window wired to a temporary home, a fake registry, a recording player and recording
// dialogs, so no test touches the real settings or blocks on a modal window.
#include <QDialog>
#include <QTest>
#include <functional>
#include <gtest/gtest.h>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "app/FrmTavimo.h"
#include "desktop/Dialogs.h"
#include "player/FlashPlayer.h"
#include "platform/Paths.h"
#include "compat/Registry.h"
#include "desktop/TrayShell.h"
#include "tests/support/FakeRegistrySource.h"
#include "tests/support/TempDir.h"

namespace tavimo::test {

class RecordingDialogs : public Dialogs {
 public:
  struct Message {
    std::string caption, text;
    MessageIcon icon;
  };
  std::vector<Message> Messages;
  std::vector<QDialog*> Shown;
  std::function<int(QDialog&)> Script;  // plays the user's part; rejects when empty
  std::vector<std::string> BrowseTitles;
  std::optional<std::string> FolderAnswer;
  std::vector<std::string> Opened;

  void ShowMessage(QWidget*, const std::string& caption, const std::string& text, MessageIcon icon) override {
    Messages.push_back({caption, text, icon});
  }
  int ExecModal(QDialog& dialog) override {
    Shown.push_back(&dialog);
    return Script ? Script(dialog) : QDialog::Rejected;
  }
  std::optional<std::string> BrowseForFolder(QWidget*, const std::string& title) override {
    BrowseTitles.push_back(title);
    return FolderAnswer;
  }
  bool ShellOpenWorks = true;  // false: no program on the machine opens anything
  bool ShellOpen(const std::string& target) override {
    Opened.push_back(target);
    return ShellOpenWorks && !target.empty();
  }
};

// The dialogs of the application object, whose notify() shows what escaped every handler. The
// test main makes the one application object with it; the running test points it at its own
// recorder. Anything it shows while no test listens is a failure (a real box would block).
class AppDialogs : public Dialogs {
 public:
  Dialogs* Target = nullptr;
  void ShowMessage(QWidget* owner, const std::string& caption, const std::string& text,
                   MessageIcon icon) override {
    if (Target) return Target->ShowMessage(owner, caption, text, icon);
    ADD_FAILURE() << "message box nobody expected: " << caption << ": " << text;
  }
  int ExecModal(QDialog& dialog) override {
    if (Target) return Target->ExecModal(dialog);
    ADD_FAILURE() << "modal dialog nobody expected";
    return QDialog::Rejected;
  }
  std::optional<std::string> BrowseForFolder(QWidget* owner, const std::string& title) override {
    if (Target) return Target->BrowseForFolder(owner, title);
    ADD_FAILURE() << "folder browser nobody expected";
    return std::nullopt;
  }
  bool ShellOpen(const std::string& target) override {
    if (Target) return Target->ShellOpen(target);
    ADD_FAILURE() << "shell open nobody expected: " << target;
    return false;
  }
};
// The one the test main handed to the application object.
AppDialogs& ApplicationDialogs();

// Every call in order: "Stop", "Movie:<url>", "Play"; "destroyed" when the player goes.
class RecordingPlayer : public FlashPlayer {
 public:
  explicit RecordingPlayer(std::vector<std::string>& log) : log_(log) {}
  ~RecordingPlayer() override { log_.push_back("destroyed"); }
  void Movie(const std::string& url) override { log_.push_back("Movie:" + url); }
  void Play() override { log_.push_back("Play"); }
  void Stop() override { log_.push_back("Stop"); }

 private:
  std::vector<std::string>& log_;
};

// A notification area that takes the icon; `host` says whether one is on screen.
class TestTrayShell : public TrayShell {
 public:
  explicit TestTrayShell(const bool& host) : host_(host) {}
  bool Add(const TrayIconRecord& r) override { return Tip = r.Tip, true; }
  bool Modify(const TrayIconRecord& r) override { return Tip = r.Tip, true; }
  bool Delete() override { return true; }
  void SetNoticeHandler(NoticeHandler handler) override { handler_ = std::move(handler); }
  // The shell's notices for a click of the user on the icon.
  void Deliver(std::initializer_list<TrayNotice> notices) {
    for (TrayNotice n : notices)
      if (handler_) handler_(n);
  }
  QPoint CursorPos() const override { return {}; }
  KeyModifiers Modifiers() const override { return {}; }
  bool HostAvailable() const override { return host_; }
  std::string Tip;

 private:
  const bool& host_;
  NoticeHandler handler_;
};

class FormTest : public ::testing::Test {
 protected:
  FormTest() {
    ApplicationDialogs().Target = &dialogs;
    registry.Set(kInternetSettingsKey, "ProxyEnable", std::int32_t{0});
    registry.Set(kTavimoKey, "helppath", std::string("/usr/share/doc/tavimo/help.html"));
  }
  ~FormTest() override {
    form.reset();
    ApplicationDialogs().Target = nullptr;
  }

  TFrmTavimo& Form(const std::string& firstParam = {}) {
    FrmTavimoSetup setup;
    setup.Registry = &registry;
    setup.FirstParam = firstParam;
    setup.Dialogs = &dialogs;
    setup.Net.ExtraCaFile = extraCaFile;
    setup.PlayerFactory = [this](QWidget*) { return std::make_unique<RecordingPlayer>(playerLog); };
    setup.TrayShellFactory = [this] {
      auto shell = std::make_unique<TestTrayShell>(trayHost);
      tray = shell.get();
      return shell;
    };
    setup.CaptureAddress = captureAddress;
    setup.CaptureWaitMs = captureWaitMs;
    form = std::make_unique<TFrmTavimo>(std::move(setup));
    return *form;
  }

  TempHome home;
  RecordingDialogs dialogs;
  FakeRegistrySource registry;
  std::vector<std::string> playerLog;
  std::string extraCaFile;        // trusted by the window's clients beside the system's
  bool trayHost = true;           // a tray host is on screen, so hiding has a way back
  TestTrayShell* tray = nullptr;  // owned by the window's tray icon
  // The browser's address as the window reads it (the session files of the home when empty),
  // and how long showing waits for it: long, so no test depends on the machine's speed.
  std::function<std::optional<std::string>()> captureAddress;
  int captureWaitMs = 60000;
  std::unique_ptr<TFrmTavimo> form;
};

}  // namespace tavimo::test
