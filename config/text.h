// Small text helpers shared by every module.
#pragma once

#include <algorithm>
#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace quarvel {

// Blanks (code 32) removed at both ends; tabs are kept.
std::string trimBlanks(const std::string& text);
// The same, as a view into `text`.
std::string_view blanksTrimmed(std::string_view text);
std::string toLower(std::string text);
std::string toUpper(std::string text);
bool equalsIgnoringCase(std::string_view a, std::string_view b);
// A hash under which texts equal without regard to case hash alike.
std::size_t hashIgnoringCase(std::string_view text);
// Both as function objects, for a map whose keys are compared that way.
struct HashIgnoringCase {
  std::size_t operator()(std::string_view text) const { return hashIgnoringCase(text); }
};
struct EqualIgnoringCase {
  bool operator()(std::string_view a, std::string_view b) const { return equalsIgnoringCase(a, b); }
};

// The first position of `c` in `text` at or after `from`; text.size() when
// there is none.
std::size_t positionOf(std::string_view text, char c, std::size_t from);
// The letter in the other case (A-Z, a-z); any other character as it is.
char otherCaseOf(char c);

// Each position at or after `from` where `word` (not empty) stands in
// `text`, compared without regard to case, in order until `accept` takes
// one: that position, or npos when it takes none. Only the places of the
// word's first letter are visited, so a long text costs a scan for one
// character, not a comparison at every position.
template <typename Accept>
std::size_t findIgnoringCase(std::string_view text, std::string_view word, std::size_t from,
                             Accept accept) {
  const char first = word.front();
  const char other = otherCaseOf(first);
  std::size_t next_first = positionOf(text, first, from);
  std::size_t next_other = other == first ? text.size() : positionOf(text, other, from);
  for (;;) {
    const std::size_t at = std::min(next_first, next_other);
    if (at == text.size()) return std::string_view::npos;
    if (at == next_first) next_first = positionOf(text, first, at + 1);
    if (at == next_other) next_other = positionOf(text, other, at + 1);
    if (text.size() - at >= word.size() && equalsIgnoringCase(text.substr(at, word.size()), word) &&
        accept(at)) {
      return at;
    }
  }
}

// Every occurrence of `what` replaced by `with`, scanning from the left and
// going on behind each replaced occurrence (no overlap, inserted text not
// scanned again). Letter case significant; an empty `what` changes nothing.
std::string replaceAll(const std::string& text, const std::string& what, const std::string& with);

// Cuts at every occurrence of `separator`: "a::b" -> {"a", "b"}; an empty
// text gives one empty piece.
std::vector<std::string> splitAt(const std::string& text, const std::string& separator);

// Piece n (counted from 1) of splitAt(text, separator); empty when missing.
std::string field(const std::string& text, const std::string& separator, std::size_t n);

// The words of a command line: split at every single blank; word(1) is the
// command word; a word beyond the last is empty.
std::string commandWord(const std::string& command_line, std::size_t n);

// Lines of a text file as the configuration and the stores read them:
// CR LF, CR alone and LF alone each end a line; a character of code 26
// ends the text (unless `end_of_file_character` is false, where the
// platform gives it no such meaning). A final line end adds no empty line.
std::vector<std::string> splitTextLines(const std::string& text, bool end_of_file_character = true);
// The same lines as views into `text`, which must outlive them.
std::vector<std::string_view> splitTextLineViews(std::string_view text,
                                                 bool end_of_file_character = true);

// Joins with CR LF between the pieces.
std::string joinLines(const std::vector<std::string>& lines);

}  // namespace quarvel
