#include "sources/cache/CacheFreshness.h"

#include <cstdio>
#include <cstring>
#include <ctime>

#include "base/TextUtils.h"
#include "base/http/HttpHead.h"

namespace tavimo {

namespace {

int MonthOf(const char* name) {
  static const char* const kMonths[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                        "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
  for (int i = 0; i < 12; ++i) {
    if (StartsWithNoCase(name, std::string_view(kMonths[i], 3))) return i;
  }
  return -1;
}

// "max-age=N" of a Cache-Control value; -1 when absent or unreadable.
std::int64_t MaxAge(const std::string& cacheControl) {
  const std::string v = AsciiLowerCopy(cacheControl);
  const auto at = v.find("max-age=");
  if (at == std::string::npos || (at > 0 && v[at - 1] != ' ' && v[at - 1] != ',')) return -1;
  size_t i = at + 8;
  if (i < v.size() && v[i] == '"') ++i;
  std::int64_t n = 0;
  bool digits = false;
  for (; i < v.size() && IsAsciiDigit(v[i]); ++i) {
    digits = true;
    if (n < (std::int64_t{1} << 40)) n = n * 10 + (v[i] - '0');
  }
  return digits ? n : -1;
}

bool HasDirective(const std::string& cacheControl, const char* name) {
  const std::string v = AsciiLowerCopy(cacheControl);
  const size_t n = std::strlen(name);
  for (size_t at = v.find(name); at != std::string::npos; at = v.find(name, at + 1)) {
    const bool startOk = at == 0 || v[at - 1] == ' ' || v[at - 1] == ',';
    const bool endOk = at + n == v.size() || v[at + n] == ',' || v[at + n] == ' ' || v[at + n] == '=';
    if (startOk && endOk) return true;
  }
  return false;
}

}  // namespace

std::int64_t ParseHttpDate(const std::string& text) {
  char month[4] = {};
  int day = 0, year = 0, h = 0, m = 0, s = 0;
  char weekday[16] = {};
  const char* t = text.c_str();
  bool ok = std::sscanf(t, "%15[A-Za-z], %d %3s %d %d:%d:%d", weekday, &day, month, &year, &h, &m, &s) == 7;
  if (!ok) {  // RFC 850: "Sunday, 06-Nov-94 08:49:37 GMT"
    ok = std::sscanf(t, "%15[A-Za-z], %d-%3s-%d %d:%d:%d", weekday, &day, month, &year, &h, &m, &s) == 7;
    if (ok && year < 100) year += year < 70 ? 2000 : 1900;
  }
  if (!ok) {  // asctime: "Sun Nov  6 08:49:37 1994"
    char wd[4] = {};
    ok = std::sscanf(t, "%3s %3s %d %d:%d:%d %d", wd, month, &day, &h, &m, &s, &year) == 7;
  }
  const int mon = ok ? MonthOf(month) : -1;
  if (mon < 0 || day < 1 || day > 31 || year < 1970 || h > 23 || m > 59 || s > 60) return 0;
  std::tm tm{};
  tm.tm_year = year - 1900;
  tm.tm_mon = mon;
  tm.tm_mday = day;
  tm.tm_hour = h;
  tm.tm_min = m;
  tm.tm_sec = s;
  return static_cast<std::int64_t>(timegm(&tm));
}

bool IsFresh(const std::string& head, std::int64_t responseTime, std::int64_t now) {
  const std::string cacheControl = HttpHeaderValue(head, "Cache-Control");
  if (HasDirective(cacheControl, "no-store") || HasDirective(cacheControl, "no-cache")) return false;
  const std::int64_t date = ParseHttpDate(HttpHeaderValue(head, "Date"));
  const std::int64_t received = responseTime > 0 ? responseTime : date;
  if (received <= 0) return false;
  std::int64_t age = now - received;
  if (age < 0) age = 0;
  const std::string ageHeader = HttpHeaderValue(head, "Age");
  if (!ageHeader.empty()) age += std::atoll(ageHeader.c_str());

  const std::int64_t maxAge = MaxAge(cacheControl);
  if (maxAge >= 0) return age < maxAge;
  const std::string expiresText = HttpHeaderValue(head, "Expires");
  if (!expiresText.empty()) {
    const std::int64_t expires = ParseHttpDate(expiresText);  // "0" and the like: already stale
    return expires > 0 && expires - (date > 0 ? date : received) > age;
  }
  const std::int64_t lastModified = ParseHttpDate(HttpHeaderValue(head, "Last-Modified"));
  const std::int64_t base = date > 0 ? date : received;
  if (lastModified > 0 && lastModified < base) return age < (base - lastModified) / 10;
  return false;
}

}  // namespace tavimo
