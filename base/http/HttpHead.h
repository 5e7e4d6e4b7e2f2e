#pragma once
// The head of an HTTP answer: its status line and its header fields, as they come off the wire
// or as a cache or archive kept them. Lines end in CR LF or in a bare LF; both are read alike.
#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

namespace tavimo {

struct HttpStatusLine {
  int code = 0;        // 100 to 599
  std::string reason;  // as sent, possibly empty
};

// "HTTP/1.1 200 OK": "HTTP/", a one-digit version with one digit after the dot, a blank, three
// digits and (after a blank) the reason. Stored heads of newer protocols also say "HTTP/2 200";
// storedVersions accepts a bare major version for them. nullopt for anything else.
std::optional<HttpStatusLine> ParseStatusLine(std::string_view line, bool storedVersions = false);
// The status of a head's first line; 0 when it is no status line.
int HttpStatusOf(std::string_view head, bool storedVersions = false);

// One header line: the name exactly as sent (a blank before the colon makes it another name),
// the value without the blanks around it. nullopt for a line without a colon.
struct HttpField {
  std::string_view name;
  std::string_view value;
};
std::optional<HttpField> SplitHeaderLine(std::string_view line);
bool SameFieldName(std::string_view a, std::string_view b);

// The value of the first field `name` (ASCII case ignored) in a head whose first line is the
// status line; "" when there is none.
std::string HttpHeaderValue(std::string_view head, std::string_view name);
// Every value of the fields `name`, joined by ", " as HTTP combines repeated fields.
std::string HttpHeaderValues(std::string_view head, std::string_view name);

// Where a head ends in `bytes`: the offset after its blank line, or npos while it is not
// complete. linesEnd: where the last header line ends (its line feed included).
std::size_t HttpHeadEnd(std::string_view bytes, std::size_t& linesEnd);

// An interim answer ("100 Continue", "103 Early Hints"): the real answer follows it. 101 is
// no interim answer: it is the last HTTP answer on that connection.
inline bool IsInterimStatus(int status) { return status >= 100 && status < 200 && status != 101; }

// What a message quotes of bytes a server sent: at most 40 of them, control bytes as '?'.
std::string ShownText(std::string_view text);

}  // namespace tavimo
