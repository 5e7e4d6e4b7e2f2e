#include "compat/Registry.h"

#include <algorithm>
#include <cstdlib>

#include "base/TextUtils.h"

namespace tavimo {
namespace {

// Registry paths may or may not start with a backslash and may end with one.
std::string NormalKey(const std::string& key) {
  std::string k = AsciiLowerCopy(key);
  while (!k.empty() && k.front() == '\\') k.erase(k.begin());
  while (!k.empty() && k.back() == '\\') k.pop_back();
  return k;
}

std::string ProxyEnv() {
  for (const char* name : {"http_proxy", "HTTP_PROXY"}) {
    const char* v = std::getenv(name);
    if (v && *v) return v;
  }
  return {};
}

}  // namespace

std::string ProxyServerFromEnvValue(const std::string& value) {
  std::string s = value;
  if (auto p = s.find("://"); p != std::string::npos) s = s.substr(p + 3);
  if (auto p = s.find('/'); p != std::string::npos) s = s.substr(0, p);
  if (auto p = s.rfind('@'); p != std::string::npos) s = s.substr(p + 1);
  return s;
}

bool EnvRegistrySource::KeyExists(const std::string& key) const {
  const std::string k = NormalKey(key);
  return k == NormalKey(kInternetSettingsKey) || k == NormalKey(kTavimoKey);
}

std::optional<RegValue> EnvRegistrySource::Value(const std::string& key, const std::string& name) const {
  const std::string k = NormalKey(key), n = AsciiLowerCopy(name);
  if (k == NormalKey(kInternetSettingsKey)) {
    const std::string proxy = ProxyEnv();
    if (n == "proxyenable") return RegValue(std::int32_t(proxy.empty() ? 0 : 1));
    if (n == "proxyserver" && !proxy.empty()) return RegValue(ProxyServerFromEnvValue(proxy));
  } else if (k == NormalKey(kTavimoKey) && n == "helppath") {
    if (!helpPage_.empty()) return RegValue(helpPage_);
  }
  return std::nullopt;
}

std::string NormalRegistryKey(const std::string& key) { return NormalKey(key); }

bool TRegistry::OpenKeyReadOnly(const std::string& key) {
  if (!source_.KeyExists(key)) return false;
  key_ = key;
  return true;
}

std::int32_t TRegistry::ReadInteger(const std::string& name) const {
  auto v = source_.Value(key_, name);
  if (!v) throw ERegistryException("Failed to get data for '" + name + "'");
  if (auto* i = std::get_if<std::int32_t>(&*v)) return *i;
  throw ERegistryException("Invalid data type for '" + name + "'");
}

std::string TRegistry::ReadString(const std::string& name) const {
  auto v = source_.Value(key_, name);
  if (!v) return {};
  if (auto* s = std::get_if<std::string>(&*v)) return *s;
  throw ERegistryException("Invalid data type for '" + name + "'");
}

std::string ProxyServer(const RegistrySource& source) {
  TRegistry reg(source);
  reg.OpenKeyReadOnly(kInternetSettingsKey);
  return reg.ReadInteger("ProxyEnable") != 0 ? reg.ReadString("ProxyServer") : std::string();
}

bool ReadProxySettings(const RegistrySource& source, std::string& host, std::string& port) {
  const std::string server = ProxyServer(source);
  if (server.empty()) return false;
  const auto colon = server.rfind(':');
  if (colon == std::string::npos) {
    host.clear();
    port = server;
  } else {
    host = server.substr(0, colon);
    port = server.substr(colon + 1);
  }
  return true;
}

}  // namespace tavimo
