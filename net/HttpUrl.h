#pragma once
// URL helpers of the HTTP client: the client's own URL splitting (kept exactly, callers rely on
// its treatment of URLs without a scheme), Base64 for Basic authorisation, the request date,
// and the resolution of relative relocation targets.
#include <string>

namespace tavimo {

struct TUrlParts {
  std::string Proto, User, Pass, Host, Port, Path;
};

TUrlParts ParseURL(const std::string& url);
void ParseURL(const std::string& url, std::string& proto, std::string& user, std::string& pass,
              std::string& host, std::string& port, std::string& path);

std::string Base64Encode(const std::string& data);

// "Sat, 30 Dec 1899 00:00:00" from a day count since 30 December 1899 (fraction = time).
std::string RFC1123Date(double dateTime);

// Bytes that must never reach the request line raw (controls, blank, DEL, non-ASCII)
// become %XX; everything else stays as it is.
std::string EncodeUnsafeUrlBytes(const std::string& s);
// True when a host name carries a byte that no host name has (controls, blank, DEL, '/', '@').
bool HasUnsafeHostBytes(const std::string& host);

// True for "scheme://host..." (ParseURL finds a scheme and a host).
bool IsAbsoluteUrl(const std::string& v);
// Resolves a relocation target that is neither an absolute path nor an absolute URL against
// the URL being fetched: "//host/p" (network path), "p", "../p", "?q", "#f".
std::string ResolveRelativeUrl(const std::string& base, const std::string& v);

// "80" for http, "443" for https.
std::string DefaultPortFor(const std::string& scheme);

}  // namespace tavimo
