#pragma once
// Whether a cached response may still be used without asking the server, by its own headers:
// Cache-Control max-age, else Expires, else the browsers' heuristic (a tenth of the time since
// Last-Modified). "no-store" and "no-cache" never are.
#include <cstdint>
#include <string>

namespace tavimo {

// An HTTP date ("Sun, 06 Nov 1994 08:49:37 GMT", and the two obsolete forms) as unix seconds;
// 0 when it cannot be read.
std::int64_t ParseHttpDate(const std::string& text);

// head: the response head; responseTime: when it arrived (unix seconds, 0 unknown: the Date
// header stands in); now: unix seconds.
bool IsFresh(const std::string& head, std::int64_t responseTime, std::int64_t now);

}  // namespace tavimo
