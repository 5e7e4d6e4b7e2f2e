#pragma once
// The lines of the hidden text box that holds a scan pass's documents. A pass may bring many
// megabytes, so the lines live in one buffer, each followed by CR LF, with their start offsets
// beside it: Text() (what the extractors scan) is then free, and a line is a view into it.
#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "base/Stream.h"

namespace tavimo {

class TMemoLines {
 public:
  std::size_t Count() const { return starts_.size(); }
  // The line without its CR LF.
  std::string_view operator[](std::size_t index) const;
  void Clear();
  // Appends line as the new last line; a CR LF, CR or LF inside it starts a further line, as
  // typing it into the box would.
  void Add(std::string_view line);
  // The lines joined, each followed by CR LF.
  const std::string& Text() const { return text_; }

 private:
  friend void LoadMemoFromStream(TMemoLines& memo, TMemoryStream& stream);
  void AppendLine(std::string_view line);

  std::string text_;
  std::vector<std::size_t> starts_;
};

// Replaces memo's lines with the stream's bytes (all of them, whatever its position) split at
// CR LF, CR or LF; a NUL ends its line's text. A final break adds no empty line.
void LoadMemoFromStream(TMemoLines& memo, TMemoryStream& stream);

}  // namespace tavimo
