#include "platform/IniFile.h"

#include <fstream>
#include <sstream>

#include "platform/AtomicFile.h"
#include "platform/Paths.h"

namespace tavimo {

std::string TIniFile::ReadString(std::string_view section, std::string_view key, std::string_view def) const {
  std::ifstream in(fileName_, std::ios::binary);
  if (!in) return std::string(def);
  std::ostringstream s;
  s << in.rdbuf();
  auto v = IniDocument::Parse(s.str()).Value(section, key);
  return v ? *v : std::string(def);
}

int TIniFile::ReadInteger(std::string_view section, std::string_view key, int def) const {
  std::string v = ReadString(section, key, "");
  return ParseLenientInteger(v).value_or(def);
}

void TIniFile::WriteString(std::string_view section, std::string_view key, std::string_view value) {
  // A line break would end the line early and let the rest of a value start sections and
  // keys of its own. The callers refuse such texts where they come in; this is the last line:
  // the whole save is abandoned, so the file on disk stays as it was.
  for (std::string_view part : {section, key, value}) {
    if (part.find_first_of("\r\n") != std::string_view::npos) {
      pending_.clear();
      throw EIniFileException("Unable to write to " + fileName_);
    }
  }
  pending_.push_back({std::string(section), std::string(key), std::string(value)});
}

void TIniFile::WriteInteger(std::string_view section, std::string_view key, int value) {
  WriteString(section, key, std::to_string(value));
}

void TIniFile::UpdateFile() {
  std::vector<Write> writes;
  writes.swap(pending_);
  std::string current;
  {
    std::ifstream in(fileName_, std::ios::binary);
    if (in) {
      std::ostringstream s;
      s << in.rdbuf();
      current = s.str();
    }
  }
  IniDocument doc = IniDocument::Parse(current);
  for (const Write& w : writes) doc.Set(w.section, w.key, w.value);
  const auto slash = fileName_.find_last_of('/');
  if (slash != std::string::npos && slash > 0) EnsureFolder(fileName_.substr(0, slash));
  if (!WriteFileAtomically(fileName_, doc.Serialize(), beforeReplace_)) {
    throw EIniFileException("Unable to write to " + fileName_);
  }
}

}  // namespace tavimo
