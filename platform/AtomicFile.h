#pragma once
// Replaces a file whole: the bytes go to a temporary file in the same folder, which is flushed,
// synced and then renamed over the target. A reader, or a crash at any moment, sees the old
// file or the new one, never a part of either.
#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

namespace tavimo {

// Returns false (target untouched, temporary removed) when any step fails; errno tells why.
// beforeRename, when set, runs after the data is synced and before the rename (tests use it
// to interrupt a save at its most delicate moment).
bool WriteFileAtomically(const std::string& path, std::string_view bytes,
                         const std::function<void()>& beforeRename = {});

// A download under way: its bytes go to a temporary file beside the target (same folder, so
// the rename cannot cross file systems), which Commit renames over the target. Until then
// an existing file of that name stays as it was; a pending file that is never committed is
// removed, so a failed item leaves nothing behind. Nothing is synced: a download is not worth
// a disk flush, only the name must never show half a file.
class TPendingFile {
 public:
  // Creates the empty temporary file; Ok() is false (errno tells why) when it cannot.
  explicit TPendingFile(std::string target);
  ~TPendingFile();
  TPendingFile(const TPendingFile&) = delete;
  TPendingFile& operator=(const TPendingFile&) = delete;

  bool Ok() const { return !temp_.empty(); }
  const std::string& TempName() const { return temp_; }
  const std::string& Target() const { return target_; }
  // Gives the file the target's mode (or a new file's usual one) and renames it over the
  // target. False (errno set) when that fails; the temporary file is then removed.
  bool Commit();
  // Removes the temporary file now.
  void Discard();

 private:
  std::string target_, temp_;
};

// A file made from a stream of bytes through a TPendingFile: `produce` hands its bytes to the
// sink (which returns false when a write fails) and says whether all went well, with a reason
// when not. Only then is the file renamed over target. False with a reason otherwise; *written
// is the number of bytes of a saved file.
using ByteSink = std::function<bool(const char* data, std::size_t n)>;
bool SaveStreamAs(const std::string& target,
                  const std::function<bool(const ByteSink& sink, std::string& error)>& produce,
                  std::string& error, std::uint64_t* written = nullptr);

}  // namespace tavimo
