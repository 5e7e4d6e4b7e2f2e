#pragma once
// The settings file read and written through the schema (platform/SettingsSchema.h): numbers
// as the file has always taken them (decimal, "$" or "0x" hex, blanks around), a key that is
// absent or no number gives its default, a number outside its bounds the default or the
// nearest bound as its entry says. A [limits] key that [limits] does not give a number for is
// read from the section it lived in before (the one place the old spelling is known).
#include <array>
#include <string>
#include <string_view>

#include "platform/SettingsSchema.h"

namespace tavimo {

class TIniFile;

class SettingValues {
 public:
  SettingValues();  // every default
  static SettingValues Read(const TIniFile& file);

  // The kept value: a flag's 0 or 1, a number, a mode's value (0, 1, 2); 0 for a text.
  int Get(Setting id) const { return values_[static_cast<std::size_t>(id)]; }
  bool On(Setting id) const { return Get(id) != 0; }
  void Set(Setting id, int value) { values_[static_cast<std::size_t>(id)] = value; }
  // "NAME=VALUE" for a [limits] key, as tavimo-scan's --limit takes it; false with the reason
  // when the name is no limit or the value no number within its bounds.
  bool SetLimit(std::string_view nameValue, std::string& error);

  // A text key (suffix: the index of a class key: class0, class1, ...).
  static std::string ReadText(const TIniFile& file, Setting id, std::string_view def,
                              std::string_view suffix = {});
  static void WriteText(TIniFile& file, Setting id, std::string_view text, std::string_view suffix = {});
  // A kept value in the file's form: "1"/"0", the mode's file value, the number.
  static void Write(TIniFile& file, Setting id, int value);

 private:
  std::array<int, kSettingCount> values_;
};

}  // namespace tavimo
