#include "net/HttpUrl.h"

#include <cmath>
#include <cstdio>
#include <vector>

#include "base/TextUtils.h"

namespace tavimo {
namespace {

// Days since 1970-01-01 to year, month, day (proleptic Gregorian).
void civilFromDays(long long z, int& y, int& m, int& d) {
  z += 719468;
  const long long era = (z >= 0 ? z : z - 146096) / 146097;
  const long long doe = z - era * 146097;
  const long long yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  const long long yy = yoe + era * 400;
  const long long doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  const long long mp = (5 * doy + 2) / 153;
  d = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
  m = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
  y = static_cast<int>(yy + (m <= 2));
}

std::string removeDotSegments(const std::string& path) {
  std::vector<std::string> out;
  std::size_t i = 0;
  const bool trailing =
      path.size() >= 1 && (path.back() == '/' || (path.size() >= 2 && path.substr(path.size() - 2) == "/.") ||
                           (path.size() >= 3 && path.substr(path.size() - 3) == "/.."));
  while (i <= path.size()) {
    const std::size_t j = path.find('/', i);
    const std::string seg = path.substr(i, j == std::string::npos ? std::string::npos : j - i);
    if (seg == "..") {
      if (!out.empty()) out.pop_back();
    } else if (seg != "." && !seg.empty()) {
      out.push_back(seg);
    }
    if (j == std::string::npos) break;
    i = j + 1;
  }
  std::string r;
  for (const auto& s : out) r += "/" + s;
  if (trailing || r.empty()) r += "/";
  return r;
}

}  // namespace

TUrlParts ParseURL(const std::string& url) {
  TUrlParts p;
  if (url.empty()) return p;
  std::string rest;
  const std::size_t sep = url.find("://");
  if (sep != std::string::npos) {
    p.Proto = url.substr(0, sep);
    rest = url.substr(sep + 3);
  } else if (url[0] == '/') {
    p.Proto = "http";
    if (url.size() > 1 && url[1] != '/') {
      p.Path = url;
      return p;
    }
    rest = url.substr(1);
  } else if (StartsWithNoCase(url, "http:")) {
    p.Proto = "http";
    if (url.size() > 6 && url[6] != '/') {
      p.Path = url.substr(5);
      return p;
    }
    rest = url.size() > 6 ? url.substr(6) : std::string();
  } else if (StartsWithNoCase(url, "mailto:")) {
    p.Proto = "mailto";
    rest = url.substr(url.find(':') + 1);
  } else {
    rest = url;
  }

  const std::size_t slash = rest.find('/');
  std::string authority = rest;
  if (slash != std::string::npos) {
    p.Path = rest.substr(slash);
    authority = rest.substr(0, slash);
  }

  const std::size_t colon = authority.rfind(':');
  const std::size_t at = authority.rfind('@');
  if (colon == std::string::npos && at == std::string::npos) {
    p.Host = authority;
    return p;
  }
  std::string userPart;
  if (colon != std::string::npos && (at == std::string::npos || colon > at)) {
    p.Port = authority.substr(colon + 1);
    const std::size_t hostStart = at == std::string::npos ? 0 : at + 1;
    p.Host = authority.substr(hostStart, colon - hostStart);
    if (at == std::string::npos) return p;
  } else {
    p.Host = authority.substr(at + 1);
  }
  userPart = authority.substr(0, at);
  const std::size_t uc = userPart.find(':');
  if (uc == std::string::npos) {
    p.User = userPart;
  } else {
    p.User = userPart.substr(0, uc);
    p.Pass = userPart.substr(uc + 1);
  }
  return p;
}

void ParseURL(const std::string& url, std::string& proto, std::string& user, std::string& pass,
              std::string& host, std::string& port, std::string& path) {
  TUrlParts p = ParseURL(url);
  proto = std::move(p.Proto);
  user = std::move(p.User);
  pass = std::move(p.Pass);
  host = std::move(p.Host);
  port = std::move(p.Port);
  path = std::move(p.Path);
}

std::string Base64Encode(const std::string& data) {
  static const char* alphabet = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
  std::string out;
  out.reserve((data.size() + 2) / 3 * 4);
  std::size_t i = 0;
  for (; i + 2 < data.size(); i += 3) {
    const unsigned v = (static_cast<unsigned char>(data[i]) << 16) |
                       (static_cast<unsigned char>(data[i + 1]) << 8) |
                       static_cast<unsigned char>(data[i + 2]);
    out += alphabet[(v >> 18) & 63];
    out += alphabet[(v >> 12) & 63];
    out += alphabet[(v >> 6) & 63];
    out += alphabet[v & 63];
  }
  if (i + 1 == data.size()) {
    const unsigned v = static_cast<unsigned char>(data[i]) << 16;
    out += alphabet[(v >> 18) & 63];
    out += alphabet[(v >> 12) & 63];
    out += "==";
  } else if (i + 2 == data.size()) {
    const unsigned v =
        (static_cast<unsigned char>(data[i]) << 16) | (static_cast<unsigned char>(data[i + 1]) << 8);
    out += alphabet[(v >> 18) & 63];
    out += alphabet[(v >> 12) & 63];
    out += alphabet[(v >> 6) & 63];
    out += '=';
  }
  return out;
}

std::string RFC1123Date(double dateTime) {
  static const char* days = "MonTueWedThuFriSatSun";
  static const char* months = "JanFebMarAprMayJunJulAugSepOctNovDec";
  const double whole = std::floor(dateTime);
  const long long dayCount = static_cast<long long>(whole);
  const long long ms = std::llround((dateTime - whole) * 86400000.0);
  const long long secs = std::min<long long>(ms / 1000, 86399);
  int y = 0, m = 0, d = 0;
  civilFromDays(dayCount - 25569, y, m, d);
  const long long idx = (((dayCount - 2) % 7) + 7) % 7;
  char buf[64];
  std::snprintf(buf, sizeof buf, "%.3s, %2.2d %.3s %4.4d %2.2d:%2.2d:%2.2d", days + idx * 3, d,
                months + (m - 1) * 3, y, static_cast<int>(secs / 3600), static_cast<int>(secs / 60 % 60),
                static_cast<int>(secs % 60));
  return buf;
}

std::string EncodeUnsafeUrlBytes(const std::string& s) {
  std::string out;
  out.reserve(s.size());
  for (unsigned char c : s) {
    if (c <= 0x20 || c >= 0x7F) {
      char buf[4];
      std::snprintf(buf, sizeof buf, "%%%02X", c);
      out += buf;
    } else {
      out += static_cast<char>(c);
    }
  }
  return out;
}

bool HasUnsafeHostBytes(const std::string& host) {
  for (unsigned char c : host) {
    if (c <= 0x20 || c >= 0x7F || c == '/' || c == '@' || c == '\\') return true;
  }
  return false;
}

bool IsAbsoluteUrl(const std::string& v) {
  const std::size_t sep = v.find("://");
  if (sep == std::string::npos || sep == 0) return false;
  for (std::size_t i = 0; i < sep; ++i) {
    const char c = v[i];
    if (!IsAsciiAlnum(c) && c != '+' && c != '-' && c != '.') return false;
  }
  return !ParseURL(v).Host.empty();
}

std::string ResolveRelativeUrl(const std::string& base, const std::string& v) {
  const TUrlParts b = ParseURL(base);
  const std::string scheme = b.Proto.empty() ? "http" : b.Proto;
  if (v.rfind("//", 0) == 0) return scheme + ":" + v;
  std::string authority = scheme + "://" + b.Host;
  if (!b.Port.empty()) authority += ":" + b.Port;
  std::string basePath = b.Path.empty() ? "/" : b.Path;
  const std::size_t frag = basePath.find('#');
  if (frag != std::string::npos) basePath.erase(frag);
  if (v.empty() || v[0] == '#') return authority + basePath;
  if (v[0] == '/') return authority + v;
  const std::size_t q = basePath.find('?');
  const std::string pathOnly = q == std::string::npos ? basePath : basePath.substr(0, q);
  if (v[0] == '?') return authority + pathOnly + v;
  const std::string dir = pathOnly.substr(0, pathOnly.rfind('/') + 1);
  std::string rel = v;
  std::string tail;
  const std::size_t vq = rel.find_first_of("?#");
  if (vq != std::string::npos) {
    tail = rel.substr(vq);
    rel.erase(vq);
  }
  return authority + removeDotSegments(dir + rel) + tail;
}

std::string DefaultPortFor(const std::string& scheme) { return EqualsNoCase(scheme, "https") ? "443" : "80"; }

}  // namespace tavimo
