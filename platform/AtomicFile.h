#pragma once
// Replaces a file whole: the bytes go to a temporary file in the same folder, which is flushed,
// synced and then renamed over the target. A reader, or a crash at any moment, sees the old
// file or the new one, never a part of either.
//
// A temporary file is created new (never an existing name, never through a symbolic link) and
// written through the descriptor that created it, so nobody can slip another file under its
// name. While it lives its name is on a list that an ending process clears (RemovePendingFiles):
// a download interrupted by Ctrl+C, a logout or a closed window leaves no part behind.
//
// Why not QSaveFile: it never tells the name of its temporary file, so a signal handler cannot
// remove it and an interrupted download would leave its part behind; it follows a symbolic link
// at the target and replaces the file the link points to; a new file gets the usual mode, never
// a private one; it always syncs before the rename (a download is not worth a flush) but never
// the folder; and it has no hard-link replacement (LinkFileAs).
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
// removed, so a failed item leaves nothing behind. Nothing is synced unless asked: a download
// is not worth a disk flush, only the name must never show half a file.
class TPendingFile {
 public:
  // Creates the empty temporary file ("<folder>/.<name>.XXXXXX.part"); Ok() is false (errno
  // tells why) when it cannot. privateFile: a new target is readable by the user only (the
  // settings), not with the usual mode of a new file (a saved movie).
  explicit TPendingFile(std::string target, bool privateFile = false);
  ~TPendingFile();
  TPendingFile(const TPendingFile&) = delete;
  TPendingFile& operator=(const TPendingFile&) = delete;

  bool Ok() const { return fd_ >= 0; }
  const std::string& TempName() const { return temp_; }
  const std::string& Target() const { return target_; }
  // Appends bytes (buffered); false (errno set) when they cannot be written.
  bool Write(const char* data, std::size_t n);
  std::uint64_t Written() const { return written_; }
  // Writes what is buffered, gives the file the target's mode (or a new file's usual one),
  // syncs it (and then its folder) when asked and renames it over the target. False (errno
  // set) when that fails; the temporary file is then removed. beforeRename runs right before
  // the rename (tests interrupt a save there).
  bool Commit(bool sync = false, const std::function<void()>& beforeRename = {});
  // Removes the temporary file now.
  void Discard();

 private:
  bool flush();

  std::string target_, temp_;
  int fd_ = -1;
  bool private_ = false;
  std::int64_t slot_ = -1;  // its place on the list of pending files
  std::string buffer_;
  std::uint64_t written_ = 0;
};

// A file made from a stream of bytes through a TPendingFile: `produce` hands its bytes to the
// sink (which returns false when a write fails) and says whether all went well, with a reason
// when not. Only then is the file renamed over target. False with a reason otherwise; *written
// is the number of bytes of a saved file.
using ByteSink = std::function<bool(const char* data, std::size_t n)>;
bool SaveStreamAs(const std::string& target,
                  const std::function<bool(const ByteSink& sink, std::string& error)>& produce,
                  std::string& error, std::uint64_t* written = nullptr);

// Makes `target` a second name of the file `existing` (a hard link), replacing what was there
// in one step: the link is made under a new temporary name beside target, then renamed over
// it. False (errno set, target untouched) when the file system refuses the link.
bool LinkFileAs(const std::string& existing, const std::string& target);

// Removes every temporary file of the process that is still pending. Safe in a signal handler
// (it only calls unlink); also run when the process exits normally.
void RemovePendingFiles();
// A termination signal (SIGTERM, SIGINT, SIGHUP) removes the pending files, then ends the
// process as the signal would have. For programs without an event loop to end in order.
void RemovePendingFilesOnTermination();

}  // namespace tavimo
