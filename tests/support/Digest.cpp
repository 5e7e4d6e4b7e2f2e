#include "tests/support/Digest.h"

#include <openssl/evp.h>

#include <stdexcept>

namespace tavimo::test {
namespace {

std::string Digest(const EVP_MD* md, std::string_view bytes) {
  unsigned char out[EVP_MAX_MD_SIZE];
  unsigned int size = 0;
  if (!EVP_Digest(bytes.data(), bytes.size(), out, &size, md, nullptr))
    throw std::runtime_error("EVP_Digest");
  return std::string(reinterpret_cast<const char*>(out), size);
}

}  // namespace

std::string Sha1(std::string_view bytes) { return Digest(EVP_sha1(), bytes); }
std::string Sha256(std::string_view bytes) { return Digest(EVP_sha256(), bytes); }

std::string Hex(std::string_view bytes, bool upper) {
  const char* digits = upper ? "0123456789ABCDEF" : "0123456789abcdef";
  std::string hex;
  hex.reserve(2 * bytes.size());
  for (unsigned char c : bytes) {
    hex += digits[c >> 4];
    hex += digits[c & 15];
  }
  return hex;
}

}  // namespace tavimo::test
