#include "cli/PageList.h"

#include <sys/stat.h>

#include <cerrno>
#include <cstring>
#include <stdexcept>
#include <string_view>

namespace tavimo::cli {

PageList::PageList(std::vector<std::string> pages, const std::string& from)
    : pages_(std::move(pages)), from_(from == "-" ? "standard input" : from) {
  if (from == "-") {
    in_ = stdin;
  } else if (!from.empty()) {
    in_ = std::fopen(from.c_str(), "re");
    if (!in_) throw std::runtime_error("cannot read " + from + ": " + std::strerror(errno));
    owned_ = true;
  }
  // A folder opens for reading but gives no lines; say so rather than read an empty list.
  struct stat st {};
  if (in_ && ::fstat(::fileno(in_), &st) == 0 && S_ISDIR(st.st_mode)) {
    if (owned_) std::fclose(in_);
    in_ = nullptr;
    throw std::runtime_error("cannot read " + from_ + ": it is a folder");
  }
}

PageList::~PageList() {
  if (owned_) std::fclose(in_);
}

void PageList::Close() {
  std::lock_guard lock(mutex_);
  closed_ = true;
}

std::string PageList::Error() {
  std::lock_guard lock(mutex_);
  return error_;
}

std::optional<std::string> PageList::Next() {
  std::lock_guard lock(mutex_);
  if (closed_) return std::nullopt;
  if (next_ < pages_.size()) return pages_[next_++];
  std::string line;
  while (in_ && error_.empty() && readLine(line)) {
    std::string_view text(line);
    if (!text.empty() && text.back() == '\r') text.remove_suffix(1);
    const auto first = text.find_first_not_of(" \t");
    if (first == std::string_view::npos || text[first] == '#') continue;
    return std::string(text);
  }
  return std::nullopt;
}

bool PageList::readLine(std::string& line) {
  // stdio's own buffer under one lock per line, never more than the bound held: a line that
  // does not end within it ends the list (a CR before the line end is not counted).
  line.clear();
  ++lineNumber_;
  ::flockfile(in_);
  int c = 0;
  while ((c = ::getc_unlocked(in_)) != EOF && c != '\n') {
    line.push_back(static_cast<char>(c));
    if (line.size() > MaxLineBytes && !(line.size() == MaxLineBytes + 1 && c == '\r')) {
      ::funlockfile(in_);
      error_ = "line " + std::to_string(lineNumber_) + " of " + from_ + " is longer than " +
               std::to_string(MaxLineBytes) + " bytes, the most an address may have";
      return false;
    }
  }
  const bool failed = c == EOF && std::ferror(in_);
  ::funlockfile(in_);
  if (failed) {
    error_ = "cannot read " + from_ + ": " + std::strerror(errno);
    return false;
  }
  return c == '\n' || !line.empty();  // a last line without its line end counts
}

}  // namespace tavimo::cli
