#include "net/HttpRequest.h"

#include <algorithm>
#include <cstring>
#include <mutex>
#include <vector>

#include "base/http/HttpHead.h"
#include "platform/CurlLibrary.h"
#include "base/TextUtils.h"

namespace tavimo {
struct HttpRequest::Impl {
  HttpRequestOptions opt;
  const CurlLibrary* curl = nullptr;  // null when the library could not be loaded
  CURL* easy = nullptr;
  CURLM* multi = nullptr;
  curl_slist* headers = nullptr;
  std::string error;
  char errbuf[CURL_ERROR_SIZE] = {};
  // Body bytes delivered by libcurl and not yet read; a paused transfer keeps the rest.
  std::vector<char> pending;
  size_t pendingPos = 0;
  bool paused = false;
  bool headComplete = false;
  bool headEnded = false;  // the blank line after the last status line and headers came
  bool done = false;
  bool failed = false;
  FramingFields fields;          // of the response being received
  BodyFraming framing;           // of the final response, once its head ended
  bool tls = false;              // the connection is https and its alerts are watched
  bool closeNotifySeen = false;  // the server ended TLS in order
  std::string reason;
  std::string head;      // the final response's status line and header lines
  size_t headBytes = 0;  // all heads of the request, interim answers and relocations included
  long status = 0;

  static constexpr size_t kHighWater = 256 * 1024;

  static size_t OnBody(char* data, size_t size, size_t n, void* self) {
    auto* d = static_cast<Impl*>(self);
    const size_t len = size * n;
    if (d->pending.size() - d->pendingPos >= kHighWater) {
      d->paused = true;
      return CURL_WRITEFUNC_PAUSE;
    }
    if (d->pendingPos == d->pending.size()) {
      d->pending.clear();
      d->pendingPos = 0;
    }
    d->pending.insert(d->pending.end(), data, data + len);
    d->headComplete = true;
    return len;
  }

  static size_t OnHeader(char* data, size_t size, size_t n, void* self) {
    auto* d = static_cast<Impl*>(self);
    const size_t len = size * n;
    d->headBytes += len;
    if (d->opt.maxHeadBytes > 0 && d->headBytes > d->opt.maxHeadBytes) {
      d->error = "answer header larger than " + std::to_string(d->opt.maxHeadBytes) + " bytes";
      return 0;  // ends the transfer as a failure
    }
    std::string line(data, len);
    while (!line.empty() && (line.back() == '\r' || line.back() == '\n')) line.pop_back();
    if (line.starts_with("HTTP/")) {
      // A new response (after a redirect or an interim answer): forget the previous head.
      d->fields.Clear();
      d->closeNotifySeen = false;
      d->head.clear();
      d->headEnded = false;
      const std::optional<HttpStatusLine> s = ParseStatusLine(line);
      d->status = s ? s->code : 0;
      d->reason = s ? s->reason : std::string();
    } else if (line.empty()) {
      d->headEnded = true;
      d->framing = d->fields.Decide(d->status);
      if (d->status >= 200 && !(d->status >= 300 && d->status < 400)) d->headComplete = true;
    } else if (const std::optional<HttpField> f = SplitHeaderLine(line)) {
      d->fields.Add(f->name, f->value);
    }
    if (!line.empty()) d->head += line + "\r\n";
    return len;
  }

  static void OnTlsMessage(int writing, int, int contentType, const void* buf, size_t len, void*,
                           void* self) {
    constexpr int kAlert = 21;
    const auto* b = static_cast<const unsigned char*>(buf);
    if (!writing && contentType == kAlert && len >= 2 && b[1] == 0) {
      static_cast<Impl*>(self)->closeNotifySeen = true;
    }
  }

  static CURLcode OnSslContext(CURL*, void* sslContext, void* self) {
    auto* d = static_cast<Impl*>(self);
    constexpr int kSetMessageCallbackArg = 16;  // SSL_CTRL_SET_MSG_CALLBACK_ARG
    if (d->curl->ssl_ctx_set_msg_callback) {
      d->curl->ssl_ctx_set_msg_callback(sslContext, &Impl::OnTlsMessage);
      d->curl->ssl_ctx_ctrl(sslContext, kSetMessageCallbackArg, 0, d);
      d->tls = true;
    }
    return CURLE_OK;
  }

  static int OnProgress(void* self, curl_off_t, curl_off_t, curl_off_t, curl_off_t) {
    auto* d = static_cast<Impl*>(self);
    return d->opt.stop && d->opt.stop->load(std::memory_order_relaxed) ? 1 : 0;
  }

  // Drives the transfer until cond() holds or it ends.
  template <typename Cond>
  void Pump(Cond cond) {
    while (!done && !cond()) {
      int running = 0;
      curl->multi_perform(multi, &running);
      int left = 0;
      while (CURLMsg* m = curl->multi_info_read(multi, &left)) {
        if (m->msg != CURLMSG_DONE) continue;
        done = true;
        if (m->data.result != CURLE_OK) {
          failed = true;
          if (error.empty()) error = errbuf[0] ? errbuf : curl->easy_strerror(m->data.result);
        } else if (tls && headComplete && framing.kind == BodyFraming::Kind::Close && !closeNotifySeen) {
          // Only the end of the connection ended this body, and that end was not TLS's own.
          failed = true;
          error = "the TLS connection was cut without close_notify";
        }
        long code = 0;
        curl->easy_getinfo(easy, CURLINFO_RESPONSE_CODE, &code);
        if (code) status = code;
      }
      if (done || cond()) break;
      if (opt.stop && opt.stop->load(std::memory_order_relaxed)) {
        done = failed = true;
        error = "stopped";
        break;
      }
      curl->multi_poll(multi, nullptr, 0, 100, nullptr);
    }
  }
};

HttpRequest::HttpRequest(HttpRequestOptions options) : d_(std::make_unique<Impl>()) {
  d_->opt = std::move(options);
  const HttpRequestOptions& o = d_->opt;
  const CurlLibrary* curl = d_->curl = LoadCurl(d_->error);
  if (!curl) return;  // Send() fails with the reason
  CURL* e = d_->easy = curl->easy_init();
  curl->easy_setopt(e, CURLOPT_URL, o.url.c_str());
  curl->easy_setopt(e, CURLOPT_ERRORBUFFER, d_->errbuf);
  curl->easy_setopt(e, CURLOPT_HTTP_VERSION, CURL_HTTP_VERSION_1_0);
  curl->easy_setopt(e, CURLOPT_PROTOCOLS_STR, "http,https");
  curl->easy_setopt(e, CURLOPT_REDIR_PROTOCOLS_STR, "http,https");
  curl->easy_setopt(e, CURLOPT_FOLLOWLOCATION, 1L);
  // The body comes as framed, chunks and all: the shared reader undoes them by its own rules.
  curl->easy_setopt(e, CURLOPT_HTTP_TRANSFER_DECODING, 0L);
  curl->easy_setopt(e, CURLOPT_MAXREDIRS, 10L);
  curl->easy_setopt(e, CURLOPT_NOSIGNAL, 1L);
  curl->easy_setopt(e, CURLOPT_CONNECTTIMEOUT, o.connectTimeoutSeconds);
  curl->easy_setopt(e, CURLOPT_LOW_SPEED_LIMIT, 1L);
  curl->easy_setopt(e, CURLOPT_LOW_SPEED_TIME, o.stallTimeoutSeconds);
  curl->easy_setopt(e, CURLOPT_PROXY, o.proxy.c_str());
  curl->easy_setopt(e, CURLOPT_WRITEFUNCTION, &Impl::OnBody);
  curl->easy_setopt(e, CURLOPT_WRITEDATA, d_.get());
  curl->easy_setopt(e, CURLOPT_HEADERFUNCTION, &Impl::OnHeader);
  curl->easy_setopt(e, CURLOPT_HEADERDATA, d_.get());
  curl->easy_setopt(e, CURLOPT_XFERINFOFUNCTION, &Impl::OnProgress);
  curl->easy_setopt(e, CURLOPT_XFERINFODATA, d_.get());
  curl->easy_setopt(e, CURLOPT_NOPROGRESS, 0L);
  curl->easy_setopt(e, CURLOPT_BUFFERSIZE, 256L * 1024);
  curl->easy_setopt(e, CURLOPT_SSL_CTX_FUNCTION, &Impl::OnSslContext);
  curl->easy_setopt(e, CURLOPT_SSL_CTX_DATA, d_.get());
  if (!o.extraCaFile.empty()) curl->easy_setopt(e, CURLOPT_CAINFO, o.extraCaFile.c_str());
  if (!o.agent.empty()) curl->easy_setopt(e, CURLOPT_USERAGENT, o.agent.c_str());
  if (!o.referer.empty()) curl->easy_setopt(e, CURLOPT_REFERER, o.referer.c_str());
  if (!o.userName.empty()) {
    curl->easy_setopt(e, CURLOPT_HTTPAUTH, CURLAUTH_BASIC);
    curl->easy_setopt(e, CURLOPT_USERNAME, o.userName.c_str());
    curl->easy_setopt(e, CURLOPT_PASSWORD, o.password.c_str());
  }
  auto& h = d_->headers;
  h = curl->slist_append(h, ("Accept: " + o.acceptTypes).c_str());
  if (o.acceptTypes.empty()) {
    curl->slist_free_all(h);
    h = curl->slist_append(nullptr, "Accept:");
  }
  if (!o.useCache) {
    h = curl->slist_append(h, "Pragma: no-cache");
    h = curl->slist_append(h, "Cache-Control: no-cache");
  }
  if (!o.postQuery.empty()) {
    h = curl->slist_append(h, "Content-Type: application/x-www-form-urlencoded");
    curl->easy_setopt(e, CURLOPT_POSTFIELDSIZE_LARGE, static_cast<curl_off_t>(o.postQuery.size()));
    curl->easy_setopt(e, CURLOPT_COPYPOSTFIELDS, o.postQuery.c_str());
  }
  curl->easy_setopt(e, CURLOPT_HTTPHEADER, h);
  d_->multi = curl->multi_init();
}

HttpRequest::~HttpRequest() {
  const CurlLibrary* curl = d_->curl;
  if (!curl) return;
  if (d_->multi) {
    curl->multi_remove_handle(d_->multi, d_->easy);
    curl->multi_cleanup(d_->multi);
  }
  if (d_->easy) curl->easy_cleanup(d_->easy);
  curl->slist_free_all(d_->headers);
}

bool HttpRequest::Send() {
  const CurlLibrary* curl = d_->curl;
  if (!curl) return false;
  if (curl->multi_add_handle(d_->multi, d_->easy) != CURLM_OK) {
    d_->error = "cannot start the request";
    return false;
  }
  d_->Pump([this] { return d_->headComplete; });
  if (d_->headComplete) return true;
  if (d_->done && !d_->failed && !d_->headEnded) {
    // A clean close in the middle of the status line or the headers is no answer: what came
    // cannot be told from a cut one.
    d_->failed = true;
    d_->error = "the connection ended inside the answer's head";
  }
  return d_->done && !d_->failed;
}

const BodyFraming& HttpRequest::Framing() const { return d_->framing; }

std::int64_t HttpRequest::Read(char* buffer, std::int64_t max) {
  const CurlLibrary* curl = d_->curl;
  if (!curl) return -1;
  if (max <= 0) return 0;
  auto available = [this] { return d_->pending.size() - d_->pendingPos; };
  if (available() == 0) {
    if (d_->paused) {
      d_->paused = false;
      curl->easy_pause(d_->easy, CURLPAUSE_CONT);
    }
    d_->Pump([&] { return available() > 0; });
    if (available() == 0) return d_->failed ? -1 : 0;
  }
  const size_t n = std::min<size_t>(static_cast<size_t>(max), available());
  std::memcpy(buffer, d_->pending.data() + d_->pendingPos, n);
  d_->pendingPos += n;
  return static_cast<std::int64_t>(n);
}

long HttpRequest::StatusCode() const { return d_->status; }

const std::string& HttpRequest::ReasonPhrase() const { return d_->reason; }

const std::string& HttpRequest::Head() const { return d_->head; }

const std::string& HttpRequest::ErrorText() const { return d_->error; }

}  // namespace tavimo
