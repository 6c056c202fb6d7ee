#include "stores/store_file.h"

#include <cstdint>

#include "config/text.h"

namespace quarvel {
namespace {

std::string_view keyOf(std::string_view line) { return line.substr(0, line.find('=')); }

bool isBlank(std::string_view line) { return line.find_first_not_of(' ') == std::string_view::npos; }

// Characters that would split a line, end the file early (where code 26
// marks the end of a text file) or cut a server command short.
std::string safeEntry(std::string entry) {
  for (char& c : entry) {
    if (c == '\r' || c == '\n' || c == '\0' || c == 26) c = '_';
  }
  return entry;
}

}  // namespace

void StoreFile::load() {
  if (state_ != State::kUnloaded) return;
  std::string bytes;
  FileError error = platform_.readFile(path_, &bytes);
  if (error == FileError::kNotFound || error == FileError::kPathNotFound) {
    state_ = State::kMissing;
    return;
  }
  if (error != FileError::kNone) {
    state_ = State::kUnreadable;
    load_error_ = error;
    return;
  }
  state_ = State::kPresent;
  on_disk_ = true;
  texts_.push_back(std::move(bytes));
  disk_is_loaded_text_ = true;
  // CR LF, CR alone and LF alone each end a line, so a store edited on
  // Linux reads as it should. Code 26 ends the text only where the platform
  // gives it that meaning.
  std::vector<std::string_view> lines =
      splitTextLineViews(texts_.back(), platform_.endOfFileCharacterEndsText());
  lines_.reserve(lines.size());
  next_.reserve(lines.size());
  last_.reserve(lines.size());
  live_.reserve(lines.size());
  growIndex(lines.size());
  for (std::string_view line : lines) {
    if (!isBlank(line)) add(line);
  }
}

std::string_view StoreFile::keyAt(std::size_t position) const {
  return blanksTrimmed(keyOf(lines_[position]));
}

std::size_t StoreFile::slotOf(std::string_view key) const {
  const std::size_t mask = slots_.size() - 1;
  for (std::size_t slot = hashIgnoringCase(key) & mask;; slot = (slot + 1) & mask) {
    const std::uint32_t taken = slots_[slot];
    if (taken == 0) return slot;
    if (taken != kRemovedKey && equalsIgnoringCase(keyAt(taken - 1), key)) return slot;
  }
}

void StoreFile::growIndex(std::size_t lines) {
  // At most half the slots taken, so that a search soon meets an empty one;
  // removed keys are dropped on the way.
  std::vector<std::uint32_t> old = std::move(slots_);
  std::size_t size = 16;
  while (size < 2 * (lines + 1)) size *= 2;
  slots_.assign(size, 0);
  slots_taken_ = 0;
  for (std::uint32_t taken : old) {
    if (taken == 0 || taken == kRemovedKey) continue;
    slots_[slotOf(keyAt(taken - 1))] = taken;
    ++slots_taken_;
  }
}

void StoreFile::add(std::string_view line) {
  const std::size_t position = lines_.size();
  lines_.push_back(line);
  next_.push_back(kNoLine);
  last_.push_back(static_cast<std::uint32_t>(position));
  live_.push_back(true);
  ++live_count_;
  if (2 * (slots_taken_ + 1) > slots_.size()) growIndex(live_count_);
  const std::size_t slot = slotOf(keyAt(position));
  if (slots_[slot] == 0) {
    slots_[slot] = static_cast<std::uint32_t>(position + 1);
    ++slots_taken_;
    return;
  }
  const std::size_t first = slots_[slot] - 1;
  next_[last_[first]] = static_cast<std::uint32_t>(position);
  last_[first] = static_cast<std::uint32_t>(position);
}

bool StoreFile::exists() {
  load();
  return state_ == State::kPresent || state_ == State::kUnreadable;
}

std::string StoreFile::read(const std::string& key) {
  std::string_view wanted = blanksTrimmed(key);
  load();
  if (wanted.empty() || state_ != State::kPresent) return std::string();
  if (slots_.empty()) return std::string();
  const std::uint32_t taken = slots_[slotOf(wanted)];
  if (taken == 0) return std::string();
  std::string value = trimBlanks(field(std::string(lines_[taken - 1]), "=", 2));
  if (rules_.strip_quotes_from_values) value = trimBlanks(replaceAll(value, "\"", ""));
  return value;
}

void StoreFile::write(const std::string& raw_entry) {
  load();
  dirty_ = true;
  // A store that is there but cannot be read (held by another program) is
  // left alone; commit() reports it.
  if (state_ == State::kUnreadable) return;
  std::string entry = safeEntry(raw_entry);
  // The entry's key is taken as it is: only an untrimmed line key would
  // match one with blanks around it, and line keys are compared trimmed.
  const std::size_t slot = slots_.empty() ? 0 : slotOf(keyOf(entry));
  if (!slots_.empty() && slots_[slot] != 0) {
    for (std::uint32_t position = slots_[slot] - 1; position != kNoLine;
         position = next_[position]) {
      live_[position] = false;
      lines_[position] = std::string_view();
      --live_count_;
    }
    slots_[slot] = kRemovedKey;
  }
  state_ = State::kPresent;
  if (field(entry, "=", 2).empty()) {
    leading_blank_ = false;
    return;
  }
  leading_blank_ = live_count_ == 0;
  texts_.push_back(std::move(entry));
  add(texts_.back());
}

std::vector<std::string> StoreFile::readAllLines() {
  load();
  std::vector<std::string> lines;
  if (state_ != State::kPresent) return lines;
  lines.reserve(live_count_);
  for (std::size_t i = 0; i < lines_.size(); ++i) {
    if (live_[i]) lines.emplace_back(lines_[i]);
  }
  return lines;
}

std::vector<std::string> StoreFile::listKeys() {
  std::vector<std::string> keys;
  for (const std::string& line : readAllLines()) {
    std::string lower = toLower(line);
    bool unlisted = false;
    for (const std::string& part : rules_.unlisted_key_parts) {
      if (lower.find(part) != std::string::npos) unlisted = true;
    }
    if (!unlisted) keys.emplace_back(keyOf(line));
  }
  if (keys.empty()) keys.push_back(std::string());
  return keys;
}

void StoreFile::removeFile() {
  load();
  if (state_ == State::kUnreadable) {
    dirty_ = true;
    return;
  }
  lines_.clear();
  next_.clear();
  last_.clear();
  live_.clear();
  live_count_ = 0;
  slots_.clear();
  slots_taken_ = 0;
  leading_blank_ = false;
  state_ = State::kMissing;
  dirty_ = true;
}

std::string StoreFile::text() const {
  // Each write used to rewrite the file from the lines kept and the new
  // entry; these are exactly the bytes the last such rewrite produced.
  if (live_count_ == 0) return "\r\n";
  std::string bytes = leading_blank_ ? "\r\n" : "";
  bytes.reserve(diskBytes().size() + 64);
  for (std::size_t i = 0; i < lines_.size(); ++i) {
    if (!live_[i]) continue;
    bytes += lines_[i];
    bytes += "\r\n";
  }
  return bytes;
}

FileError StoreFile::commit() {
  if (!dirty_) return FileError::kNone;
  if (state_ == State::kUnreadable) return load_error_;
  FileError error = FileError::kNone;
  if (state_ == State::kMissing) {
    if (on_disk_) {
      error = platform_.removeFile(path_);
      if (error == FileError::kNone) changed_on_disk_ = true;
    }
    if (error == FileError::kNotFound) error = FileError::kNone;
    if (error == FileError::kNone) on_disk_ = false;
  } else {
    std::string bytes = text();
    if (!on_disk_ || bytes != diskBytes()) {
      error = platform_.replaceFile(path_, bytes);
      if (error == FileError::kNone) changed_on_disk_ = true;
    }
    if (error == FileError::kNone) {
      on_disk_ = true;
      committed_bytes_ = std::move(bytes);
      disk_is_loaded_text_ = false;
    }
  }
  if (error == FileError::kNone) dirty_ = false;
  return error;
}

}  // namespace quarvel
