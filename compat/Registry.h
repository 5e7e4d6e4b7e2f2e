#pragma once
// A small registry-like view of the per-user values Tavimo reads: the browser's proxy settings
// and the help path. The Linux backend derives them from the environment; tests use
// FakeRegistrySource, which can also answer "absent" and "wrong type".
#include <cstdint>
#include <optional>
#include <stdexcept>
#include <string>
#include <variant>

namespace tavimo {

inline constexpr const char* kInternetSettingsKey =
    "\\Software\\Microsoft\\Windows\\CurrentVersion\\Internet Settings";
inline constexpr const char* kTavimoKey = "\\SoftWare\\tavimo\\";

class ERegistryException : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// A value is either text or a 32-bit integer; anything else is "wrong type" for both reads.
struct RegBinary {};
using RegValue = std::variant<std::string, std::int32_t, RegBinary>;

class RegistrySource {
 public:
  virtual ~RegistrySource() = default;
  // Key names are compared without regard to letter case by the implementations.
  virtual bool KeyExists(const std::string& key) const = 0;
  virtual std::optional<RegValue> Value(const std::string& key, const std::string& name) const = 0;
};

// HKEY_CURRENT_USER as Tavimo sees it on Linux:
//  Internet Settings: ProxyEnable = 1 and ProxyServer = "host:port" when http_proxy (or
//  HTTP_PROXY) is set and not empty, else ProxyEnable = 0. A "scheme://" prefix, user
//  credentials and a trailing path are dropped so ProxyServer reads like the browser's own.
//  \SoftWare\tavimo\: helppath = the help page given when the source is made (none when
//  empty).
// The environment is read at every call.
class EnvRegistrySource : public RegistrySource {
 public:
  explicit EnvRegistrySource(std::string helpPage = {}) : helpPage_(std::move(helpPage)) {}
  bool KeyExists(const std::string& key) const override;
  std::optional<RegValue> Value(const std::string& key, const std::string& name) const override;

 private:
  std::string helpPage_;
};

// A key path as the implementations compare it: lower case, without leading or trailing
// backslashes ("\\Software\\Tavimo\\" and "software\\tavimo" are one key).
std::string NormalRegistryKey(const std::string& key);

// The reading side, shaped like the registry class the tool was written against.
class TRegistry {
 public:
  explicit TRegistry(const RegistrySource& source) : source_(source) {}
  // Opens an existing key for reading; false when it does not exist (nothing is created).
  bool OpenKeyReadOnly(const std::string& key);
  // Absent value: "Failed to get data for '%s'"; not an integer: "Invalid data type for '%s'".
  std::int32_t ReadInteger(const std::string& name) const;
  // Absent value: empty text; not text: "Invalid data type for '%s'".
  std::string ReadString(const std::string& name) const;

 private:
  const RegistrySource& source_;
  std::string key_;
};

// The one source of the proxy: the browser proxy of the registry view, when it is enabled and
// names a server. host/port: the text before and after the last colon (no colon: all of it is
// the port, as the settings have always read it). Raises as TRegistry does when the values
// have the wrong type.
bool ReadProxySettings(const RegistrySource& source, std::string& host, std::string& port);
// The same as "host:port" text; empty when no proxy is set.
std::string ProxyServer(const RegistrySource& source);

// Reduces an http_proxy value to "host:port" (see EnvRegistrySource).
std::string ProxyServerFromEnvValue(const std::string& value);

}  // namespace tavimo
