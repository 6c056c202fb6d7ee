#include "stores/store_file.h"

#include "config/text.h"

namespace quarvel {
namespace {

std::string keyOf(const std::string& line) { return line.substr(0, line.find('=')); }

bool isBlank(const std::string& line) { return trimBlanks(line).empty(); }

// The non-blank lines of a file's bytes, untrimmed. CR LF, CR alone and LF
// alone each end a line, so a store edited on Linux reads as it should.
std::vector<std::string> nonBlankLines(const std::string& bytes) {
  std::vector<std::string> lines;
  for (const std::string& line : splitTextLines(bytes)) {
    if (!isBlank(line)) lines.push_back(line);
  }
  return lines;
}

}  // namespace

std::string StoreFile::path() const { return files_.dataPath(file_name_); }

bool StoreFile::exists() { return files_.fileExists(path()) == 1; }

std::vector<std::string> StoreFile::fileLines() {
  std::string bytes;
  if (files_.platform().readFile(path(), &bytes) != FileError::kNone) return {};
  return nonBlankLines(bytes);
}

bool StoreFile::loadCache() {
  std::string bytes;
  if (files_.platform().readFile(path(), &bytes) != FileError::kNone) return false;
  cache_ = joinLines(nonBlankLines(bytes));
  return true;
}

std::string StoreFile::read(const std::string& key) {
  std::string wanted = toLower(trimBlanks(key));
  if (wanted.empty() || !exists()) return std::string();
  if (cache_.empty()) loadCache();
  for (const std::string& line : splitAt(cache_, "\r\n")) {
    if (isBlank(line) || toLower(trimBlanks(keyOf(line))) != wanted) continue;
    std::string value = trimBlanks(field(line, "=", 2));
    if (rules_.strip_quotes_from_values) value = trimBlanks(replaceAll(value, "\"", ""));
    return value;
  }
  return std::string();
}

void StoreFile::write(const std::string& entry) {
  std::string key = toLower(keyOf(entry));
  std::vector<std::string> kept;
  if (exists()) {
    // A store that is there but cannot be read (held by another program) is
    // left alone: rewriting it from an empty cache would lose every record.
    if (cache_.empty() && !loadCache()) return;
    for (const std::string& line : splitAt(cache_, "\r\n")) {
      if (!isBlank(line) && toLower(trimBlanks(keyOf(line))) != key) kept.push_back(line);
    }
  }
  std::string text = joinLines(kept);
  if (!field(entry, "=", 2).empty()) {
    text += "\r\n";
    text += entry;
  }
  // The cache keeps what the file now holds, so the run goes on with the new
  // text even when the disk refused it. The file is replaced atomically: a
  // crash leaves the old or the new store, never a part of one.
  cache_ = text;
  files_.platform().replaceFile(path(), text + "\r\n");
}

std::vector<std::string> StoreFile::readAllLines() {
  if (!exists()) return {};
  if (cache_.empty()) loadCache();
  std::vector<std::string> lines;
  for (const std::string& line : splitAt(cache_, "\r\n")) {
    if (!isBlank(line)) lines.push_back(line);
  }
  return lines;
}

std::vector<std::string> StoreFile::listKeys() {
  std::vector<std::string> keys;
  for (const std::string& line : fileLines()) {
    std::string lower = toLower(line);
    bool unlisted = false;
    for (const std::string& part : rules_.unlisted_key_parts) {
      if (lower.find(part) != std::string::npos) unlisted = true;
    }
    if (!unlisted) keys.push_back(keyOf(line));
  }
  if (keys.empty()) keys.push_back(std::string());
  return keys;
}

void StoreFile::removeFile() { files_.platform().removeFile(path()); }

}  // namespace quarvel
