#pragma once
// Browser session files written by the tests: Firefox's mozLz4 JSON with one literal-only LZ4
// block (valid LZ4, no compression needed), placed where the program looks for it.
#include <cstdint>
#include <string>

namespace tavimo::test {

// The mozLz4 container around `json`; `declared` is the size the header claims.
std::string MozLz4(const std::string& json, std::uint32_t declared);
std::string MozLz4(const std::string& json);

// Writes a Firefox profile under `home` whose only window shows `url`; returns the file's path.
std::string WriteFirefoxSession(const std::string& home, const std::string& url);

}  // namespace tavimo::test
