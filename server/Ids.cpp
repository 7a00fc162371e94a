#include "Ids.h"

#include <sys/random.h>

#include <cerrno>
#include <stdexcept>

namespace tidora::server {

namespace {

constexpr size_t kIdBytes = 18;   // a multiple of 3: base64 without padding
constexpr size_t kIdChars = kIdBytes / 3 * 4;
constexpr char kAlphabet[] =
    "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789-_";

bool IsIdChar(char c) {
  return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') ||
         c == '-' || c == '_';
}

}  // namespace

std::string NewReportId() {
  unsigned char bytes[kIdBytes];
  size_t filled = 0;
  while (filled < kIdBytes) {
    ssize_t got = getrandom(bytes + filled, kIdBytes - filled, 0);
    if (got < 0) {
      if (errno == EINTR) continue;
      throw std::runtime_error("no random source for report ids");
    }
    filled += static_cast<size_t>(got);
  }
  std::string id;
  id.reserve(kIdChars);
  for (size_t i = 0; i < kIdBytes; i += 3) {
    unsigned v = (bytes[i] << 16) | (bytes[i + 1] << 8) | bytes[i + 2];
    id += kAlphabet[(v >> 18) & 63];
    id += kAlphabet[(v >> 12) & 63];
    id += kAlphabet[(v >> 6) & 63];
    id += kAlphabet[v & 63];
  }
  return id;
}

bool IsReportId(std::string_view text) {
  if (text.size() != kIdChars) return false;
  for (char c : text)
    if (!IsIdChar(c)) return false;
  return true;
}

}  // namespace tidora::server
