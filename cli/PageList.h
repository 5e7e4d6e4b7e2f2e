#pragma once
// The pages tavimo-scan scans: those named on the command line, then the lines of a list file
// or standard input, handed out one at a time to the jobs as the list is read (so a list still
// being written streams). A list that cannot be read, a folder, a read error or a line longer
// than MaxLineBytes ends the list; Error() then says why.
#include <cstddef>
#include <cstdio>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

namespace tavimo::cli {

class PageList {
 public:
  static constexpr std::size_t kDefaultMaxLineBytes = 64 * 1024;
  // The longest line of a list (its line end not counted): an address is far shorter, and a
  // file that is no list at all (/dev/zero) must not be read into memory whole.
  std::size_t MaxLineBytes = kDefaultMaxLineBytes;

  // from: "" (no list), "-" (standard input) or a file; throws when the file cannot be opened.
  PageList(std::vector<std::string> pages, const std::string& from);
  ~PageList();
  PageList(const PageList&) = delete;
  PageList& operator=(const PageList&) = delete;

  // The next page to scan; nullopt at the end of the list, at an error, or after Close().
  std::optional<std::string> Next();
  // No more pages are handed out (the results cannot be written anywhere).
  void Close();
  // Why the list ended early ("" when it was read to its end).
  std::string Error();

 private:
  bool readLine(std::string& line);

  std::mutex mutex_;
  std::vector<std::string> pages_;
  std::size_t next_ = 0;
  std::string from_;
  FILE* in_ = nullptr;
  bool owned_ = false;
  bool closed_ = false;
  std::size_t lineNumber_ = 0;
  std::string error_;
};

}  // namespace tavimo::cli
