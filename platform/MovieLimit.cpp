#include "platform/MovieLimit.h"

#include "platform/IniFile.h"

namespace tavimo {

std::int64_t MovieBytesFrom(const TIniFile& settings) {
  const int value = settings.ReadInteger("options", "moviebytes", -1);
  return value > 0 ? value : kDefaultMovieBytes;
}

}  // namespace tavimo
