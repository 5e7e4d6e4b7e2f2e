#pragma once
// Every modal thing the program shows goes through this one seam: message boxes, modal
// dialogs, the folder browser and "open with the shell". The window is handed the one it uses
// when it is made: the desktop backend uses Qt, tests hand in a recorder so that nothing ever
// blocks on a modal window.
#include <optional>
#include <string>

class QDialog;
class QWidget;

namespace tavimo {

enum class MessageIcon { None, Error };

class Dialogs {
 public:
  virtual ~Dialogs() = default;
  // A plain message box with an OK button.
  virtual void ShowMessage(QWidget* owner, const std::string& caption, const std::string& text,
                           MessageIcon icon) = 0;
  // Shows the dialog modally and returns its result code (QDialog::Accepted / Rejected).
  virtual int ExecModal(QDialog& dialog) = 0;
  // A folder chooser offering file-system folders only; nullopt when cancelled. The path comes
  // without a trailing "/" except for the root folder itself.
  virtual std::optional<std::string> BrowseForFolder(QWidget* owner, const std::string& title) = 0;
  // Opens a file, folder or web address with the desktop's default program; false on failure.
  virtual bool ShellOpen(const std::string& target) = 0;
};

class QtDialogs : public Dialogs {
 public:
  void ShowMessage(QWidget* owner, const std::string& caption, const std::string& text,
                   MessageIcon icon) override;
  int ExecModal(QDialog& dialog) override;
  std::optional<std::string> BrowseForFolder(QWidget* owner, const std::string& title) override;
  bool ShellOpen(const std::string& target) override;
};

}  // namespace tavimo
