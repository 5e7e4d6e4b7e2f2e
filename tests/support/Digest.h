#pragma once
// SHA digests for the tests and benchmarks, all through OpenSSL's EVP interface.
#include <string>
#include <string_view>

namespace tavimo::test {

// The raw digest bytes.
std::string Sha1(std::string_view bytes);
std::string Sha256(std::string_view bytes);
// Lower-case hex, or upper-case with upper.
std::string Hex(std::string_view bytes, bool upper = false);

}  // namespace tavimo::test
