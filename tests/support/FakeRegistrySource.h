#pragma once
// The registry view of a test: values set by the test, keys and value names compared as the
// real view compares them (letter case and surrounding backslashes do not count).
#include <algorithm>
#include <map>
#include <optional>
#include <string>

#include "compat/Registry.h"

namespace tavimo {

class FakeRegistrySource : public RegistrySource {
 public:
  void Set(const std::string& key, const std::string& name, RegValue v) {
    keys_[NormalRegistryKey(key)].insert_or_assign(NormalRegistryKey(name), std::move(v));
  }
  void Remove(const std::string& key, const std::string& name) {
    if (auto it = keys_.find(NormalRegistryKey(key)); it != keys_.end())
      it->second.erase(NormalRegistryKey(name));
  }
  bool KeyExists(const std::string& key) const override { return keys_.count(NormalRegistryKey(key)) != 0; }
  std::optional<RegValue> Value(const std::string& key, const std::string& name) const override {
    auto k = keys_.find(NormalRegistryKey(key));
    if (k == keys_.end()) return std::nullopt;
    auto v = k->second.find(NormalRegistryKey(name));
    if (v == k->second.end()) return std::nullopt;
    return v->second;
  }

 private:
  std::map<std::string, std::map<std::string, RegValue>> keys_;  // by normal key, normal name
};

}  // namespace tavimo
