#pragma once
// Undoes an answer's content coding ("gzip", "x-gzip", "deflate" through TInflater; none passes
// the bytes on) piece by piece, and says at the end whether the coded stream was whole.
#include <cstddef>
#include <functional>
#include <memory>
#include <string>
#include <string_view>

namespace tavimo {

class TInflater;

// A Content-Encoding value (all fields as one list) to the coding to undo: "" when none or
// "identity", else one supported coding. The error names a coding we cannot undo.
std::string ContentCodingOf(std::string_view value, std::string& coding);

class ContentDecoder {
 public:
  // False stops the decoding (the caller has what it wants, or cannot take more).
  using Sink = std::function<bool(const char* data, std::size_t len)>;
  enum class Result { More, Stopped, Error };

  // coding: as ContentCodingOf gives it.
  explicit ContentDecoder(const std::string& coding);
  ~ContentDecoder();
  ContentDecoder(const ContentDecoder&) = delete;
  ContentDecoder& operator=(const ContentDecoder&) = delete;

  Result Feed(const char* data, std::size_t len, const Sink& sink);
  // No more coded bytes: an empty string when the coded stream was whole, else why not.
  std::string Finish() const;
  bool Identity() const { return !inflater_; }
  const std::string& Error() const { return error_; }

 private:
  std::unique_ptr<TInflater> inflater_;
  bool stopped_ = false;
  std::string error_;
};

}  // namespace tavimo
