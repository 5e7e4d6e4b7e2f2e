#pragma once
// The one table of hostile HTTP answers: lengths that lie, chunks good and bad, content codings
// nobody asked for, interim answers, heads and bodies cut short. Every reader of answers runs
// it (page client and file getter over a socket, the web archive reader, the cache reader) and
// must give each row the same verdict: the body whole and exactly `body`, or refused.
#include <iosfwd>
#include <string>
#include <vector>

namespace tavimo::test {

struct HttpAnswer {
  // How the server ends the connection after the bytes: an orderly close, a reset, or not at
  // all (the reader must end it by the framing).
  enum class End { Close, Reset, Hold };

  std::string name;
  std::string bytes;  // as the server sends them, heads included
  End end = End::Close;
  bool whole = false;
  // Whole: the decoded body. Refused: what a streaming reader has handed out before it refused
  // ("*": not checked; the bytes may be lost with a reset).
  std::string body;
  // Refused: part of the reason, in the shared reader's words; "" where the reason is the
  // consumer's own (a head that is no HTTP answer, a reset connection).
  std::string reason = {};
  // Only a connection can be reset; for an archive or a cache the bytes simply end.
  bool WireOnly() const { return end == End::Reset; }
  // A cache keeps an answer's final head and its body with the transfer coding undone and no
  // more than the length it names: rows whose bytes a cache would not keep as they are are left
  // out of its suite.
  bool cacheKeepsAsIs = true;
};

const std::vector<HttpAnswer>& HttpAnswers();
// The rows a stored answer can hold: no reset connection (an archive's bytes simply end).
std::vector<HttpAnswer> StoredHttpAnswers();
// The rows a cache keeps as they are (its final head, the transfer coding undone).
std::vector<HttpAnswer> CachedHttpAnswers();
// The head and the body of an answer's last head (interim answers skipped); false when there
// is no whole head.
bool SplitAnswer(const std::string& bytes, std::string& head, std::string& body);

// Listed by their names, not as dumps of their bytes.
void PrintTo(const HttpAnswer& a, std::ostream* os);

}  // namespace tavimo::test
