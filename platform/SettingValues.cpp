#include "platform/SettingValues.h"

#include <algorithm>
#include <optional>

#include "base/IniDocument.h"
#include "base/TextUtils.h"
#include "platform/IniFile.h"

namespace tavimo {
namespace {

std::optional<int> Number(const TIniFile& file, std::string_view section, std::string_view key) {
  return ParseLenientInteger(file.ReadString(section, key, ""));
}

int Bounded(const SettingEntry& s, int value) {
  if (value >= s.min && value <= s.max) return value;
  return s.outOfBounds == OutOfBounds::NearestBound ? std::clamp(value, s.min, s.max) : s.def;
}

int ValueOf(const TIniFile& file, const SettingEntry& s) {
  std::optional<int> n = Number(file, s.section, s.key);
  if (!n && !s.oldSection.empty()) n = Number(file, s.oldSection, s.key);
  switch (s.type) {
    case SettingType::Flag: return n.value_or(s.def) != 0 ? 1 : 0;
    // A number that names no mode leaves the window's start value (0), not the default.
    case SettingType::Mode: return ModeOfFileValue(s.id, n.value_or(s.def));
    case SettingType::Integer: return n ? Bounded(s, *n) : s.def;
    case SettingType::Text: break;
  }
  return 0;
}

}  // namespace

SettingValues::SettingValues() {
  for (const SettingEntry& s : AllSettings()) Set(s.id, s.type == SettingType::Text ? 0 : DefaultValue(s.id));
}

SettingValues SettingValues::Read(const TIniFile& file) {
  SettingValues v;
  for (const SettingEntry& s : AllSettings()) v.Set(s.id, ValueOf(file, s));
  return v;
}

bool SettingValues::SetLimit(std::string_view nameValue, std::string& error) {
  const std::size_t eq = nameValue.find('=');
  const std::string name = AsciiLowerCopy(nameValue.substr(0, eq));
  const SettingEntry* s = FindLimit(name);
  if (!s || s->usedBy == UsedBy::Window) {
    std::string known;
    for (const SettingEntry& l : LimitSettings()) {
      if (l.usedBy != UsedBy::Window) known += (known.empty() ? "" : ", ") + std::string(l.key);
    }
    error = "--limit: tavimo-scan has no limit " + std::string(nameValue.substr(0, eq)) + " (it has " +
            known + ")";
    return false;
  }
  const std::optional<int> value =
      eq == std::string_view::npos ? std::nullopt : ParseLenientInteger(nameValue.substr(eq + 1));
  if (!value || *value < s->min || *value > s->max) {
    error = "--limit " + std::string(s->key) + " takes a number from " + std::to_string(s->min) + " to " +
            std::to_string(s->max);
    return false;
  }
  Set(s->id, *value);
  return true;
}

std::string SettingValues::ReadText(const TIniFile& file, Setting id, std::string_view def,
                                    std::string_view suffix) {
  const SettingEntry& s = EntryOf(id);
  return file.ReadString(s.section, std::string(s.key) + std::string(suffix), def);
}

void SettingValues::WriteText(TIniFile& file, Setting id, std::string_view text, std::string_view suffix) {
  const SettingEntry& s = EntryOf(id);
  file.WriteString(s.section, std::string(s.key) + std::string(suffix), text);
}

void SettingValues::Write(TIniFile& file, Setting id, int value) {
  const SettingEntry& s = EntryOf(id);
  switch (s.type) {
    case SettingType::Flag: file.WriteString(s.section, s.key, value != 0 ? "1" : "0"); break;
    case SettingType::Mode: file.WriteInteger(s.section, s.key, FileValueOfMode(id, value)); break;
    case SettingType::Integer: file.WriteInteger(s.section, s.key, value); break;
    case SettingType::Text: break;
  }
}

}  // namespace tavimo
