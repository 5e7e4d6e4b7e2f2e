#include "platform/CurlLibrary.h"

#include <dlfcn.h>

#include <mutex>

namespace tavimo {
namespace {

template <typename F>
bool Resolve(void* lib, const char* name, F& into) {
  into = reinterpret_cast<F>(dlsym(lib, name));
  return into != nullptr;
}

}  // namespace

const CurlLibrary* LoadCurl(std::string& error) {
  static std::once_flag once;
  static CurlLibrary api;
  static bool loaded = false;
  static std::string why;
  std::call_once(once, [] {
    void* lib = dlopen("libcurl.so.4", RTLD_NOW | RTLD_LOCAL);
    if (!lib) {
      const char* e = dlerror();
      why = "The download library libcurl.so.4 could not be loaded" +
            (e ? ": " + std::string(e) : std::string());
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
    // The libssl libcurl brought in, if any (RTLD_NOLOAD: never one of our own choosing).
    if (void* ssl = dlopen("libssl.so.3", RTLD_NOW | RTLD_LOCAL | RTLD_NOLOAD)) {
      if (!Resolve(ssl, "SSL_CTX_set_msg_callback", api.ssl_ctx_set_msg_callback) ||
          !Resolve(ssl, "SSL_CTX_ctrl", api.ssl_ctx_ctrl)) {
        api.ssl_ctx_set_msg_callback = nullptr;
      }
    }
    // Kept loaded for the rest of the run.
    loaded = api.global_init(CURL_GLOBAL_DEFAULT) == CURLE_OK;
    if (!loaded) why = "The download library libcurl.so.4 could not be initialised";
  });
  if (!loaded) error = why;
  return loaded ? &api : nullptr;
}

}  // namespace tavimo
