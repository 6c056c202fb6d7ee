// Pure helpers for FTP reply lines: reply codes, continuation lines, the
// line assembler that drops CRs and caps a line, and the numbers inside 227
// and 150 replies. No I/O here, so every rule is testable on plain text.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace quarvel {

// The longest reply line kept; the rest of a longer line is dropped.
constexpr std::size_t kMaxReplyLineLength = 65536;

// A reply is a few lines; a peer that keeps sending is not followed further
// than this, so collecting a reply always ends.
constexpr std::size_t kMaxReplyBytes = 1 << 20;

// The value of the digits among the line's first three characters; 0 when
// it does not begin with a digit.
int replyCode(const std::string& line);

// True when the line's fourth character is "-": more lines of the same
// reply follow.
bool isContinuationLine(const std::string& line);

// The text of a reply line from its fourth character on, blanks trimmed at
// both ends (the last status message).
std::string replyText(const std::string& line);

// A local error in the form of a reply line: the number as three digits
// with leading zeros, a blank and the phrase. Numbers above 999 (Winsock
// errors are 10000 + n) keep their last three digits, so the first three
// characters always hold the whole code.
std::string localErrorLine(long number, const std::string& phrase);

// Collects one line from received bytes: CRs are dropped wherever they
// occur, LF ends the line and is not part of it, characters beyond
// kMaxReplyLineLength are consumed and dropped.
class LineAssembler {
 public:
  // Takes bytes from data[0..size) up to and including the first LF and
  // returns how many it took. Afterwards complete() tells whether that LF
  // was among them.
  std::size_t feed(const char* data, std::size_t size);
  bool complete() const { return complete_; }
  // The line so far; clears the assembler for the next line.
  std::string take();

 private:
  std::string line_;
  bool complete_ = false;
};

// The data port of a passive reply: the text between the first "(" and the
// next ")" holds h1,h2,h3,h4,p1,p2; the port is p1 * 256 + p2. False when
// there are no parentheses, fewer than six numbers, a number outside 0..255
// or the port would be 0.
bool passivePort(const std::string& reply_line, int* port);

// The size announced by a 150 reply: the number at the start of the text
// between the first "(" and the next ")" (as in "(20000 bytes)"); 0 when
// there is none.
std::uint64_t announcedSize(const std::string& reply_line);

}  // namespace quarvel
