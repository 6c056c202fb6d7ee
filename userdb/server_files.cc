#include "userdb/server_files.h"

#include <algorithm>
#include <string_view>

#include "config/text.h"

namespace quarvel {

namespace {

void appendGroup(std::string* list, const std::string& name) {
  if (list->empty()) {
    *list = name;
  } else {
    *list += "::";
    *list += name;
  }
}

bool isLineEnd(char c) { return c == '\r' || c == '\n'; }

// Name and id of a table line, as parseIdTable takes them.
IdTableEntry entryOfLine(std::string_view line) {
  line = blanksTrimmed(line);
  const std::size_t colon = line.find(':');
  std::string_view id;
  if (colon != std::string_view::npos) {
    id = line.substr(colon + 1);
    id = id.substr(0, id.find(':'));
  }
  return IdTableEntry{std::string(line.substr(0, colon)), std::string(id)};
}

}  // namespace

std::vector<std::string> splitAtLineEnds(const std::string& text) {
  std::vector<std::string> pieces;
  forEachPieceBetweenLineEnds(text, [&](std::string_view piece) { pieces.emplace_back(piece); });
  return pieces;
}

std::vector<std::string> splitServerLines(const std::string& text) {
  std::vector<std::string> lines;
  forEachServerLine(text, [&](std::string_view line) { lines.emplace_back(line); });
  return lines;
}

std::vector<IdTableEntry> parseIdTable(const std::string& text) {
  // The lines of splitServerLines and their fields 1 and 2, taken as views
  // of the text: only the name and the id of each entry are copied.
  std::vector<IdTableEntry> entries;
  // About one entry for each LF: the table of a large site is then held
  // once, not in a vector grown by doubling.
  entries.reserve(static_cast<std::size_t>(std::count(text.begin(), text.end(), '\n')) + 1);
  forEachServerLine(text, [&](std::string_view line) {
    IdTableEntry entry = entryOfLine(line);
    if (!entry.name.empty()) entries.push_back(std::move(entry));
  });
  return entries;
}

const IdTableEntry* findUserEntry(const std::vector<IdTableEntry>& table, const std::string& name) {
  for (const IdTableEntry& entry : table) {
    if (equalsIgnoringCase(entry.name, name)) return &entry;
  }
  return nullptr;
}

bool findIdTableEntry(std::string_view text, std::string_view name, IdTableEntry* found) {
  // An entry's name starts its line (blanks aside) and ends at the first
  // ":" or, blanks aside, at the line's end; it never starts with a blank
  // and never holds a ":" or a line end.
  if (name.empty() || name.front() == ' ' ||
      name.find_first_of(":\r\n") != std::string_view::npos) {
    return false;
  }
  std::size_t start = 0;
  const std::size_t at = findIgnoringCase(text, name, 0, [&](std::size_t at) {
    start = at;
    while (start > 0 && text[start - 1] == ' ') --start;
    if (start > 0 && !isLineEnd(text[start - 1])) return false;
    std::size_t after = at + name.size();
    if (after < text.size() && text[after] == ':') return true;
    // No ":" right after: the name is the whole line, blanks aside.
    if (name.back() == ' ') return false;
    while (after < text.size() && text[after] == ' ') ++after;
    return after == text.size() || isLineEnd(text[after]);
  });
  if (at == std::string_view::npos) return false;
  std::size_t end = start;
  while (end < text.size() && !isLineEnd(text[end])) ++end;
  *found = entryOfLine(text.substr(start, end - start));
  return true;
}

bool idTableListsAnyone(std::string_view text) {
  std::size_t from = 0;
  while (from <= text.size()) {
    std::size_t end = from;
    while (end < text.size() && !isLineEnd(text[end])) ++end;
    if (!entryOfLine(text.substr(from, end - from)).name.empty()) return true;
    from = end + 1;
  }
  return false;
}

UserFileFacts parseUserFile(const std::string& text) {
  UserFileFacts facts;
  forEachServerLine(text, [&](std::string_view line) {
    // Only the lines wanted are copied and cut into words (a stats line
    // has 75).
    const std::string_view keyword = line.substr(0, line.find(' '));
    if (equalsIgnoringCase(keyword, "flags")) {
      facts.flags = field(std::string(line), " ", 2);
    } else if (equalsIgnoringCase(keyword, "groups")) {
      std::vector<std::string> words = splitAt(std::string(line), " ");
      facts.group_lines.emplace_back(words.begin() + 1, words.end());
    }
  });
  return facts;
}

std::string groupListFor(const std::vector<IdTableEntry>& group_table,
                         const std::vector<std::vector<std::string>>& group_lines) {
  std::string list;
  for (const std::vector<std::string>& ids : group_lines) {
    const bool one_id = ids.size() <= 1;
    for (const std::string& id : ids) {
      if (id.empty()) continue;
      for (const IdTableEntry& entry : group_table) {
        if (!equalsIgnoringCase(entry.id, id)) continue;
        appendGroup(&list, entry.name);
        if (!one_id) break;
      }
    }
  }
  return list;
}

}  // namespace quarvel
