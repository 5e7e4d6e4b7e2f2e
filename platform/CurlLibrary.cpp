#include "platform/CurlLibrary.h"

#include <QLibrary>

#include <mutex>

namespace tavimo {
namespace {

// A symbol of the library or of one it brought in (the lookup follows its dependencies).
template <typename F>
bool Resolve(QLibrary& lib, const char* name, F& into) {
  into = reinterpret_cast<F>(lib.resolve(name));
  return into != nullptr;
}

}  // namespace

const CurlLibrary* LoadCurl(std::string& error) {
  static std::once_flag once;
  static CurlLibrary api;
  static bool loaded = false;
  static std::string why;
  std::call_once(once, [] {
    // Kept loaded for the rest of the run; its symbols stay its own (no RTLD_GLOBAL).
    static QLibrary lib(QStringLiteral("curl"), 4);
    lib.setLoadHints(QLibrary::ResolveAllSymbolsHint | QLibrary::PreventUnloadHint);
    if (!lib.load()) {
      why = "The download library libcurl.so.4 could not be loaded: " + lib.errorString().toStdString();
      return;
    }
    const bool ok = Resolve(lib, "curl_global_init", api.global_init) &&
                    Resolve(lib, "curl_easy_init", api.easy_init) &&
                    Resolve(lib, "curl_easy_setopt", api.easy_setopt) &&
                    Resolve(lib, "curl_easy_getinfo", api.easy_getinfo) &&
                    Resolve(lib, "curl_easy_pause", api.easy_pause) &&
                    Resolve(lib, "curl_easy_strerror", api.easy_strerror) &&
                    Resolve(lib, "curl_easy_cleanup", api.easy_cleanup) &&
                    Resolve(lib, "curl_multi_init", api.multi_init) &&
                    Resolve(lib, "curl_multi_add_handle", api.multi_add_handle) &&
                    Resolve(lib, "curl_multi_remove_handle", api.multi_remove_handle) &&
                    Resolve(lib, "curl_multi_perform", api.multi_perform) &&
                    Resolve(lib, "curl_multi_poll", api.multi_poll) &&
                    Resolve(lib, "curl_multi_info_read", api.multi_info_read) &&
                    Resolve(lib, "curl_multi_cleanup", api.multi_cleanup) &&
                    Resolve(lib, "curl_slist_append", api.slist_append) &&
                    Resolve(lib, "curl_slist_free_all", api.slist_free_all);
    if (!ok) {
      why = "The download library libcurl.so.4 is too old (it lacks curl_multi_poll)";
      return;
    }
    // The libssl libcurl brought in, if any: looked up among its dependencies, so never one of
    // our own choosing, and none with another TLS library.
    if (!Resolve(lib, "SSL_CTX_set_msg_callback", api.ssl_ctx_set_msg_callback) ||
        !Resolve(lib, "SSL_CTX_ctrl", api.ssl_ctx_ctrl)) {
      api.ssl_ctx_set_msg_callback = nullptr;
    }
    loaded = api.global_init(CURL_GLOBAL_DEFAULT) == CURLE_OK;
    if (!loaded) why = "The download library libcurl.so.4 could not be initialised";
  });
  if (!loaded) error = why;
  return loaded ? &api : nullptr;
}

}  // namespace tavimo
