#pragma once
// The drop target for links: takes the address (URL) and title (Title) of a link dragged from
// a browser, or of a shortcut file (".url", or a ".desktop" link) dragged from a file manager.
#include <string>

#include "components/DropTarget.h"

namespace tavimo {

class TDropURLTarget : public TDropTarget {
 public:
  // Links only, read as soon as the drag enters.
  TDropURLTarget();

  const std::string& URL() const { return url_; }
  const std::string& Title() const { return title_; }

 protected:
  // Address sources in order: the link, plain text, a shortcut's contents, a dropped shortcut
  // file; the first one offered decides. The title comes from the shortcut name the source
  // offers (less its ".url"), else from the file, else it is the address.
  bool DoGetData() override;
  // Forgets the address; the title stays until the next read.
  void ClearData() override;
  // Whether the drag offers a link, text, a shortcut's contents or files.
  bool HasValidFormats() override;

 private:
  // The address (and title) of a dropped shortcut file, when the first file is one.
  bool ReadDroppedShortcut(const std::string& fileList);

  std::string url_;
  std::string title_;
};

}  // namespace tavimo
