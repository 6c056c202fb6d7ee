#include "ftp/reply.h"

#include <cstdio>
#include <cstring>
#include <vector>

#include "config/text.h"

namespace quarvel {

namespace {

bool isDigit(char c) { return c >= '0' && c <= '9'; }

// The text between the first "(" and the next ")"; false without a "(".
bool parenthesized(const std::string& line, std::string* inside, bool need_close) {
  std::size_t open = line.find('(');
  if (open == std::string::npos) return false;
  std::size_t close = line.find(')', open + 1);
  if (close == std::string::npos) {
    if (need_close) return false;
    close = line.size();
  }
  *inside = line.substr(open + 1, close - open - 1);
  return true;
}

}  // namespace

int replyCode(const std::string& line) {
  int code = 0;
  for (std::size_t i = 0; i < 3 && i < line.size() && isDigit(line[i]); ++i) {
    code = code * 10 + (line[i] - '0');
  }
  return code;
}

bool isContinuationLine(const std::string& line) { return line.size() >= 4 && line[3] == '-'; }

std::string replyText(const std::string& line) {
  if (line.size() <= 3) return std::string();
  return trimBlanks(line.substr(3));
}

std::string localErrorLine(long number, const std::string& phrase) {
  if (number < 0) number = -number;
  char digits[8];
  std::snprintf(digits, sizeof digits, "%03ld", number % 1000);
  return std::string(digits) + " " + phrase;
}

std::size_t LineAssembler::feed(const char* data, std::size_t size) {
  if (complete_) return 0;
  const char* end = static_cast<const char*>(std::memchr(data, '\n', size));
  std::size_t taken = end ? static_cast<std::size_t>(end - data) + 1 : size;
  std::size_t content = end ? taken - 1 : taken;
  for (std::size_t i = 0; i < content && line_.size() < kMaxReplyLineLength; ++i) {
    if (data[i] != '\r') line_.push_back(data[i]);
  }
  complete_ = end != nullptr;
  return taken;
}

std::string LineAssembler::take() {
  std::string line;
  line.swap(line_);
  complete_ = false;
  return line;
}

bool passivePort(const std::string& reply_line, int* port) {
  std::string inside;
  if (!parenthesized(reply_line, &inside, true)) return false;
  std::vector<std::string> numbers = splitAt(inside, ",");
  if (numbers.size() < 6) return false;
  int value[2];
  for (int k = 0; k < 2; ++k) {
    std::string number = trimBlanks(numbers[4 + k]);
    if (number.empty() || number.size() > 3) return false;
    value[k] = 0;
    for (char c : number) {
      if (!isDigit(c)) return false;
      value[k] = value[k] * 10 + (c - '0');
    }
    if (value[k] > 255) return false;
  }
  *port = value[0] * 256 + value[1];
  return *port != 0;
}

std::uint64_t announcedSize(const std::string& reply_line) {
  std::string inside;
  if (!parenthesized(reply_line, &inside, false)) return 0;
  std::size_t i = 0;
  while (i < inside.size() && inside[i] == ' ') ++i;
  std::uint64_t size = 0;
  for (; i < inside.size() && isDigit(inside[i]); ++i) {
    if (size > (UINT64_MAX - 9) / 10) break;
    size = size * 10 + static_cast<std::uint64_t>(inside[i] - '0');
  }
  return size;
}

}  // namespace quarvel
