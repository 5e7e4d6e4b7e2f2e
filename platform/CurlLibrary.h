#pragma once
// libcurl, loaded on the first download instead of at program start: its chain of libraries
// (GnuTLS, Kerberos, LDAP, SSH ...) costs several milliseconds of every start, and most runs
// never download. The declarations come from curl.h; the functions from libcurl.so.4.
#define CURL_DISABLE_TYPECHECK
#include <curl/curl.h>

#include <string>

namespace tavimo {

struct CurlLibrary {
  CURLcode (*global_init)(long flags);
  CURL* (*easy_init)();
  CURLcode (*easy_setopt)(CURL* handle, CURLoption option, ...);
  CURLcode (*easy_getinfo)(CURL* handle, CURLINFO info, ...);
  CURLcode (*easy_pause)(CURL* handle, int bitmask);
  const char* (*easy_strerror)(CURLcode code);
  void (*easy_cleanup)(CURL* handle);
  CURLM* (*multi_init)();
  CURLMcode (*multi_add_handle)(CURLM* multi, CURL* easy);
  CURLMcode (*multi_remove_handle)(CURLM* multi, CURL* easy);
  CURLMcode (*multi_perform)(CURLM* multi, int* running);
  CURLMcode (*multi_poll)(CURLM* multi, curl_waitfd* extra, unsigned count, int timeoutMs, int* ret);
  CURLMsg* (*multi_info_read)(CURLM* multi, int* left);
  CURLMcode (*multi_cleanup)(CURLM* multi);
  curl_slist* (*slist_append)(curl_slist* list, const char* text);
  void (*slist_free_all)(curl_slist* list);
  // From the OpenSSL that libcurl runs on (null with another TLS library): libcurl takes a
  // TLS connection cut without close_notify as a clean end, so the request watches the
  // alerts itself to tell a truncated body without length from a whole one.
  using SslMessageCallback = void (*)(int writing, int version, int contentType, const void* buf, size_t len,
                                      void* ssl, void* arg);
  void (*ssl_ctx_set_msg_callback)(void* sslContext, SslMessageCallback callback);
  long (*ssl_ctx_ctrl)(void* sslContext, int command, long larg, void* parg);
};

// The library with curl_global_init done, loaded once (thread-safe); null when it cannot be
// loaded, and then `error` says why.
const CurlLibrary* LoadCurl(std::string& error);

}  // namespace tavimo
