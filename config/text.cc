#include "config/text.h"

#include <cctype>

namespace quarvel {

std::string trimBlanks(const std::string& text) {
  std::size_t begin = text.find_first_not_of(' ');
  if (begin == std::string::npos) return std::string();
  std::size_t end = text.find_last_not_of(' ');
  return text.substr(begin, end - begin + 1);
}

std::string toLower(std::string text) {
  for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return text;
}

std::string toUpper(std::string text) {
  for (char& c : text) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return text;
}

bool equalsIgnoringCase(const std::string& a, const std::string& b) {
  return a.size() == b.size() && toLower(a) == toLower(b);
}

std::string replaceAll(const std::string& text, const std::string& what,
                       const std::string& with) {
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
  std::vector<std::string> pieces = splitAt(text, separator);
  return n >= 1 && n <= pieces.size() ? pieces[n - 1] : std::string();
}

std::vector<std::string> splitTextLines(const std::string& text, bool end_of_file_character) {
  std::vector<std::string> lines;
  std::string line;
  bool pending = false;
  for (std::size_t i = 0; i < text.size(); ++i) {
    char c = text[i];
    if (c == 26 && end_of_file_character) break;
    if (c == '\r' || c == '\n') {
      lines.push_back(line);
      line.clear();
      pending = false;
      if (c == '\r' && i + 1 < text.size() && text[i + 1] == '\n') ++i;
    } else {
      line += c;
      pending = true;
    }
  }
  if (pending) lines.push_back(line);
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
