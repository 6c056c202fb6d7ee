// Every key the program reads from quarvel.conf, in one table: the settings
// and every report and reason template. The operator's check compares the
// file against it; a key the program starts to read belongs here too.
#pragma once

#include <string>
#include <vector>

namespace quarvel {

enum class KeyKind {
  kText,
  kNumber,       // read as a number
  kWholeNumber,  // read as a number and rounded to a whole one
  kFolder,       // a folder that must exist
  kFile,         // a file that must exist
  kTemplate,     // a report or reason template
};

struct KnownKey {
  const char* name;  // spelled as in the sample file
  KeyKind kind;
};

const std::vector<KnownKey>& knownKeys();

// The known key equal to `name` without regard to case; null when none.
const KnownKey* findKnownKey(const std::string& name);

// The known key nearest to `name` (letter case ignored), when it is close
// enough to be a slip of the keyboard: at most two edits, and at most a
// third of the name's length. Null otherwise.
const KnownKey* nearestKnownKey(const std::string& name);

// Edits (insert, delete, replace, swap of neighbours) that turn a into b.
std::size_t editDistance(const std::string& a, const std::string& b);

}  // namespace quarvel
