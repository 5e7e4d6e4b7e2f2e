// Arbitrary settings files: parsing, every read, and a rewrite that must keep the file readable.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "platform/IniFile.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  tavimo::IniDocument doc = tavimo::IniDocument::Parse(text);
  for (const char* key : {"ispreview", "autoclose", "DownloadOption", "DetectOption", "classnum"}) {
    if (auto v = doc.Value("options", key)) tavimo::ParseLenientInteger(*v);
    if (auto v = doc.Value("classes", key)) tavimo::ParseLenientInteger(*v);
  }
  tavimo::ParseLenientInteger(text.substr(0, 64));
  doc.Set("options", "ispreview", "1");
  doc.Set("classes", "class0", "x");
  const std::string out = doc.Serialize();
  tavimo::IniDocument again = tavimo::IniDocument::Parse(out);
  // What was just written must read back.
  if (again.Value("options", "ispreview") != std::string("1")) __builtin_trap();
  if (again.Value("classes", "class0") != std::string("x")) __builtin_trap();
  return 0;
}
