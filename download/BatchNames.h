#pragma once
// The names the files of one batch are saved under. An item whose path an earlier item of the
// batch took is saved as "name (2).ext", the first numbered path the batch has not taken; a
// path counts from the moment an item takes it until that item fails, so a failed item never
// pushes a later good one to a numbered name, and items saved at the same time on several
// threads (tavimo-scan --jobs, which shares one set for its whole run) never share a file (there
// a number held by an item that fails meanwhile is skipped, never reused for two files).
#include <cstddef>
#include <mutex>
#include <string>
#include <unordered_set>

namespace tavimo {

// The longest file name the file systems take (NAME_MAX), in bytes.
inline constexpr std::size_t kMaxFileNameBytes = 255;

// "dir/name (n).ext" for "dir/name.ext" ("dir/name (n)" without an extension; n < 2: no
// number). A name longer than kMaxFileNameBytes loses bytes at the end of "name", never
// inside a UTF-8 character, so that the whole file name fits and keeps its extension.
std::string NumberedPath(const std::string& path, int n);

class BatchNames {
 public:
  // The path the item asking for `path` is saved to (NumberedPath(path, n) for the smallest n
  // not taken), now taken.
  std::string Take(const std::string& path);
  // The item that took `path` failed: the path is free again.
  void Release(const std::string& path);

 private:
  std::mutex mutex_;
  std::unordered_set<std::string> taken_;
};

}  // namespace tavimo
