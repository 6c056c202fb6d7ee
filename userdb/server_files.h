// Pure parsing of the FTP server's user database files, from their text:
// the user id table, the group id table and a user file. Reading the files
// is the caller's job (UserDatabase).
//
// All of these files share one line rule: every CR and every LF ends a line
// (a CR LF pair leaves an empty line between the two), and each line loses
// its leading and trailing blanks before use.
#pragma once

#include <algorithm>
#include <string>
#include <string_view>
#include <vector>

namespace quarvel {

// The pieces between line ends, exactly as they stand (not trimmed).
std::vector<std::string> splitAtLineEnds(const std::string& text);

// splitAtLineEnds, each piece with its blanks removed at both ends.
std::vector<std::string> splitServerLines(const std::string& text);

// Calls `visit` with each piece of splitAtLineEnds, in order, as a view of
// the text.
template <typename Visit>
void forEachPieceBetweenLineEnds(std::string_view text, Visit visit) {
  std::size_t from = 0;
  // The next CR and the next LF, each searched for again only once passed.
  std::size_t cr = text.find('\r');
  std::size_t lf = text.find('\n');
  for (;;) {
    if (cr < from) cr = text.find('\r', from);
    if (lf < from) lf = text.find('\n', from);
    const std::size_t at = std::min({cr, lf, text.size()});
    visit(text.substr(from, at - from));
    if (at == text.size()) break;
    from = at + 1;
  }
}

// Calls `visit` with each line of splitServerLines, in order, as a view of
// the text: a user file is read at every lookup, without a copy of its
// lines.
template <typename Visit>
void forEachServerLine(std::string_view text, Visit visit) {
  forEachPieceBetweenLineEnds(text, [&](std::string_view line) {
    const std::size_t begin = line.find_first_not_of(' ');
    visit(begin == std::string_view::npos
              ? std::string_view()
              : line.substr(begin, line.find_last_not_of(' ') + 1 - begin));
  });
}

// One line "name:id:..." of the user or group id table: field 1 and field 2
// as written (a missing field is empty).
struct IdTableEntry {
  std::string name;
  std::string id;
};

// The table's entries in file order. Lines with an empty name (the empty
// line inside every CR LF, stray blank lines) are left out: they name no
// user and no group, and would otherwise match an empty name or id.
std::vector<IdTableEntry> parseIdTable(const std::string& text);

// The first entry whose name equals `name` without regard to case; null when
// none does (always for an empty name).
const IdTableEntry* findUserEntry(const std::vector<IdTableEntry>& table, const std::string& name);

// The same entry as findUserEntry(parseIdTable(text), name), found in the
// text itself: a run that looks up one user does not parse the whole table.
// False when there is none.
bool findIdTableEntry(std::string_view text, std::string_view name, IdTableEntry* found);

// Whether parseIdTable(text) would hold any entry.
bool idTableListsAnyone(std::string_view text);

// What the program takes from a user file: the flags of the last "flags"
// line, and the ids of every "groups" line (words 2, 3, ... of each, in file
// order). Keywords are compared without regard to case; all other lines are
// ignored. Words are separated by single blanks.
struct UserFileFacts {
  std::string flags;
  std::vector<std::vector<std::string>> group_lines;
};

UserFileFacts parseUserFile(const std::string& text);

// The group names of the user's "groups" lines, joined by "::" in order.
// Ids compare without regard to case. A line with two or more ids takes, for
// each id, the first table entry with that id; a line with one id takes
// every entry with that id (the server's own table never repeats an id). An
// empty id (the bare keyword, a doubled blank) and an unknown id add nothing.
std::string groupListFor(const std::vector<IdTableEntry>& group_table,
                         const std::vector<std::vector<std::string>>& group_lines);

}  // namespace quarvel
