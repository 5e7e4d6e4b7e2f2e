#pragma once
// Where a scan puts the Flash items it finds. The main window's item list is one; a program
// without a window keeps them in its own list.
#include <string>

namespace tavimo {

class ItemSink {
 public:
  virtual ~ItemSink() = default;
  // Every row goes; a scan starts with this.
  virtual void Clear() = 0;
  // One row at the end: the item's URL (bytes as found) and the name it is saved as.
  virtual void AppendItem(const std::string& url, const std::string& saveAsName) = 0;
  virtual int Count() const = 0;
  virtual std::string Url(int row) const = 0;
};

// The text after the URL's last "/"; the whole URL when it has none.
std::string DefaultSaveAsName(const std::string& url);

// The save-as name of a link the query rule found: the name without its query or fragment
// ("movie.swf" of ".../movie.swf?xml=a.xml"); DefaultSaveAsName for any other link.
std::string QuerySaveAsName(const std::string& url);

// Appends the lines of the link list file in order, each named DefaultSaveAsName (CR LF, CR or
// LF end a line; a last line without an ending counts too); nothing when the file cannot be
// read. Rows already in the sink stay.
// With withQuery the names drop the query (QuerySaveAsName).
void AppendLinkList(ItemSink& sink, const std::string& linkListFile, bool withQuery = false);

}  // namespace tavimo
