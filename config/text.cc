#include "config/text.h"

#include <algorithm>
#include <cstdint>
#include <cstring>

namespace quarvel {

std::string trimBlanks(const std::string& text) {
  std::size_t begin = text.find_first_not_of(' ');
  if (begin == std::string::npos) return std::string();
  std::size_t end = text.find_last_not_of(' ');
  return text.substr(begin, end - begin + 1);
}

std::string_view blanksTrimmed(std::string_view text) {
  std::size_t begin = text.find_first_not_of(' ');
  if (begin == std::string_view::npos) return std::string_view();
  return text.substr(begin, text.find_last_not_of(' ') - begin + 1);
}

namespace {

// The program never changes its locale, so it runs in the C locale, where
// only A-Z and a-z change case; done inline, as the C library's tolower
// would, without a call for every character of every store key.
char lowerOf(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c + ('a' - 'A')) : c; }
char upperOf(char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - ('a' - 'A')) : c; }

}  // namespace

std::string toLower(std::string text) {
  for (char& c : text) c = lowerOf(c);
  return text;
}

std::string toUpper(std::string text) {
  for (char& c : text) c = upperOf(c);
  return text;
}

std::size_t positionOf(std::string_view text, char c, std::size_t from) {
  if (from >= text.size()) return text.size();
  const void* found = std::memchr(text.data() + from, c, text.size() - from);
  return found ? static_cast<std::size_t>(static_cast<const char*>(found) - text.data())
               : text.size();
}

char otherCaseOf(char c) {
  const char lower = lowerOf(c);
  return lower != c ? lower : upperOf(c);
}

bool equalsIgnoringCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    if (lowerOf(a[i]) != lowerOf(b[i])) return false;
  }
  return true;
}

std::size_t hashIgnoringCase(std::string_view text) {
  // Eight bytes at a time: in each, the bytes A-Z are found together and
  // lowered by setting their bit 5, then the word is mixed in.
  constexpr std::uint64_t kOnes = 0x0101010101010101ull;
  constexpr std::uint64_t kHigh = 0x8080808080808080ull;
  std::uint64_t hash = 0x9E3779B97F4A7C15ull ^ text.size();
  auto mix = [&](std::uint64_t word) {
    const std::uint64_t low = word & ~kHigh;
    const std::uint64_t from_a = low + kOnes * (0x80 - 'A');       // bit 7: at least A
    const std::uint64_t after_z = low + kOnes * (0x80 - 'Z' - 1);  // bit 7: beyond Z
    word |= ((from_a & ~after_z & ~word & kHigh) >> 2);
    hash = (hash ^ word) * 0xFF51AFD7ED558CCDull;
    hash ^= hash >> 32;
  };
  std::size_t i = 0;
  for (; i + 8 <= text.size(); i += 8) {
    std::uint64_t word;
    std::memcpy(&word, text.data() + i, 8);
    mix(word);
  }
  if (i < text.size()) {
    std::uint64_t word = 0;
    std::memcpy(&word, text.data() + i, text.size() - i);
    mix(word);
  }
  hash *= 0xC4CEB9FE1A85EC53ull;
  return static_cast<std::size_t>(hash ^ (hash >> 29));
}

std::string replaceAll(const std::string& text, const std::string& what, const std::string& with) {
  if (what.empty()) return text;
  std::string result;
  std::size_t from = 0;
  for (;;) {
    std::size_t at = text.find(what, from);
    if (at == std::string::npos) break;
    result.append(text, from, at - from);
    result += with;
    from = at + what.size();
  }
  result.append(text, from, std::string::npos);
  return result;
}

std::vector<std::string> splitAt(const std::string& text, const std::string& separator) {
  std::vector<std::string> pieces;
  std::size_t from = 0;
  for (;;) {
    std::size_t at = text.find(separator, from);
    if (at == std::string::npos || separator.empty()) break;
    pieces.push_back(text.substr(from, at - from));
    from = at + separator.size();
  }
  pieces.push_back(text.substr(from));
  return pieces;
}

std::string field(const std::string& text, const std::string& separator, std::size_t n) {
  // Piece n found in place: the pieces before it are skipped, not copied.
  if (n < 1 || (separator.empty() && n > 1)) return std::string();
  std::size_t from = 0;
  for (std::size_t piece = 1; piece < n; ++piece) {
    std::size_t at = text.find(separator, from);
    if (at == std::string::npos) return std::string();
    from = at + separator.size();
  }
  std::size_t end = separator.empty() ? std::string::npos : text.find(separator, from);
  return text.substr(from, end == std::string::npos ? std::string::npos : end - from);
}

std::string commandWord(const std::string& command_line, std::size_t n) {
  std::vector<std::string> words = splitAt(command_line, " ");
  return n >= 1 && n <= words.size() ? words[n - 1] : std::string();
}

std::vector<std::string_view> splitTextLineViews(std::string_view text,
                                                 bool end_of_file_character) {
  std::size_t end = end_of_file_character ? text.find('\x1a') : std::string_view::npos;
  if (end == std::string_view::npos) end = text.size();
  // The next CR and the next LF, each searched for again only once passed.
  auto next = [&](char c, std::size_t from) {
    if (from >= end) return end;
    const void* found = std::memchr(text.data() + from, c, end - from);
    return found ? static_cast<std::size_t>(static_cast<const char*>(found) - text.data()) : end;
  };
  std::vector<std::string_view> lines;
  std::size_t from = 0;
  std::size_t cr = next('\r', 0);
  std::size_t lf = next('\n', 0);
  while (from < end) {
    if (cr < from) cr = next('\r', from);
    if (lf < from) lf = next('\n', from);
    std::size_t at = std::min(cr, lf);
    lines.push_back(text.substr(from, at - from));
    if (at == end) break;
    from = at + (text[at] == '\r' && at + 1 < end && text[at + 1] == '\n' ? 2 : 1);
  }
  return lines;
}

std::vector<std::string> splitTextLines(const std::string& text, bool end_of_file_character) {
  std::vector<std::string> lines;
  for (std::string_view line : splitTextLineViews(text, end_of_file_character)) {
    lines.emplace_back(line);
  }
  return lines;
}

std::string joinLines(const std::vector<std::string>& lines) {
  std::string text;
  for (std::size_t i = 0; i < lines.size(); ++i) {
    if (i > 0) text += "\r\n";
    text += lines[i];
  }
  return text;
}

}  // namespace quarvel
