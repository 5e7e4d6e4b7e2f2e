#pragma once
// A small blocking HTTP request for worker threads, in the steps the file getter takes:
// open, send, look at the answer's head and framing, read up to n bytes at a time, close.
// Backed by libcurl: HTTP/1.0, redirects followed, the port written in the URL, https with
// the system's trust store, and the browser proxy of the registry view. Over https a body
// without length or chunks is whole only when the server ended TLS with close_notify. The body
// is handed over as framed (chunks are not undone here) for the caller's MessageBody.
#include <atomic>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "base/http/BodyFraming.h"

namespace tavimo {

struct HttpRequestOptions {
  std::string url;                 // "http://host[:port]/path" or "https://..."
  std::string agent;               // User-Agent; none when empty
  std::string acceptTypes;         // Accept; none when empty
  std::string referer;             // none when empty
  std::string userName, password;  // Basic credentials when userName is set
  std::string postQuery;           // POST with the form content type when not empty, else GET
  bool useCache = false;           // false asks every cache on the way for a fresh copy
  std::string proxy;               // "host:port"; empty: direct connection
  long connectTimeoutSeconds = 30;
  long stallTimeoutSeconds = 60;  // no byte for this long ends the transfer
  // Set by another thread to end a pending send or read early (then they report failure).
  const std::atomic<bool>* stop = nullptr;
  // Extra CA file trusted besides the system's store (tests only).
  std::string extraCaFile;
  // All answer heads of the request together, interim answers and relocations included
  // (0 = no bound): a longer one fails the request.
  std::size_t maxHeadBytes = 64 * 1024;
};

class HttpRequest {
 public:
  explicit HttpRequest(HttpRequestOptions options);
  ~HttpRequest();
  HttpRequest(const HttpRequest&) = delete;
  HttpRequest& operator=(const HttpRequest&) = delete;

  // Sends the request and waits for the response head. False when no whole response head came
  // (unreachable, refused, stopped, bad URL, a connection that ended inside the head ...); the
  // reason is in ErrorText().
  bool Send();
  // How the final response's body is framed and coded, decided from its head.
  const BodyFraming& Framing() const;
  // Reads up to max bytes of the body; 0 at its end; -1 on failure.
  std::int64_t Read(char* buffer, std::int64_t max);
  long StatusCode() const;
  // The reason text of the final status line ("Not Found"), empty when it had none.
  const std::string& ReasonPhrase() const;
  const std::string& ErrorText() const;
  // The final response's status line and header lines, each ending in "\r\n".
  const std::string& Head() const;

 private:
  struct Impl;
  std::unique_ptr<Impl> d_;
};

}  // namespace tavimo
