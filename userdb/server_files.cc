#include "userdb/server_files.h"

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

}  // namespace

std::vector<std::string> splitAtLineEnds(const std::string& text) {
  std::vector<std::string> pieces;
  std::string piece;
  for (char c : text) {
    if (c == '\r' || c == '\n') {
      pieces.push_back(piece);
      piece.clear();
    } else {
      piece += c;
    }
  }
  pieces.push_back(piece);
  return pieces;
}

std::vector<std::string> splitServerLines(const std::string& text) {
  std::vector<std::string> lines = splitAtLineEnds(text);
  for (std::string& line : lines) line = trimBlanks(line);
  return lines;
}

std::vector<IdTableEntry> parseIdTable(const std::string& text) {
  std::vector<IdTableEntry> entries;
  for (const std::string& line : splitServerLines(text)) {
    IdTableEntry entry{field(line, ":", 1), field(line, ":", 2)};
    if (!entry.name.empty()) entries.push_back(entry);
  }
  return entries;
}

const IdTableEntry* findUserEntry(const std::vector<IdTableEntry>& table,
                                  const std::string& name) {
  for (const IdTableEntry& entry : table) {
    if (equalsIgnoringCase(entry.name, name)) return &entry;
  }
  return nullptr;
}

UserFileFacts parseUserFile(const std::string& text) {
  UserFileFacts facts;
  for (const std::string& line : splitServerLines(text)) {
    std::vector<std::string> words = splitAt(line, " ");
    if (words.empty()) continue;
    const std::string keyword = toLower(words[0]);
    if (keyword == "flags") {
      facts.flags = words.size() > 1 ? words[1] : std::string();
    } else if (keyword == "groups") {
      facts.group_lines.emplace_back(words.begin() + 1, words.end());
    }
  }
  return facts;
}

std::string groupListFor(
    const std::vector<IdTableEntry>& group_table,
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
