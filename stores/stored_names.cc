#include "stores/stored_names.h"

namespace quarvel {
namespace {

int hexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return -1;
}

}  // namespace

std::string encodeStoredName(const std::string& name) {
  static const char kHex[] = "0123456789ABCDEF";
  std::string stored;
  stored.reserve(name.size());
  for (std::size_t i = 0; i < name.size(); ++i) {
    unsigned char c = static_cast<unsigned char>(name[i]);
    bool blank_at_end = c == ' ' && (i == 0 || i + 1 == name.size());
    if (c < 0x20 || c == 0x7F || c == '%' || c == '=' || blank_at_end) {
      stored += '%';
      stored += kHex[c >> 4];
      stored += kHex[c & 0xF];
    } else {
      stored += static_cast<char>(c);
    }
  }
  return stored;
}

std::string decodeStoredName(const std::string& stored) {
  std::string name;
  name.reserve(stored.size());
  for (std::size_t i = 0; i < stored.size(); ++i) {
    if (stored[i] == '%' && i + 2 < stored.size() && hexValue(stored[i + 1]) >= 0 &&
        hexValue(stored[i + 2]) >= 0) {
      name += static_cast<char>(hexValue(stored[i + 1]) * 16 + hexValue(stored[i + 2]));
      i += 2;
    } else {
      name += stored[i];
    }
  }
  return name;
}

}  // namespace quarvel
