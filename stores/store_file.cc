#include "stores/store_file.h"

#include <algorithm>
#include <cstdint>

#include "config/text.h"

namespace quarvel {
namespace {

std::string_view keyOf(std::string_view line) { return line.substr(0, line.find('=')); }

bool isBlank(std::string_view line) {
  return line.find_first_not_of(' ') == std::string_view::npos;
}

// Characters that would split a line, end the file early (where code 26
// marks the end of a text file) or cut a server command short.
std::string safeEntry(std::string entry) {
  for (char& c : entry) {
    if (c == '\r' || c == '\n' || c == '\0' || c == 26) c = '_';
  }
  return entry;
}

// Calls visit(start, line) for each line of `text`, in order, until it
// returns false. CR LF, CR alone and LF alone each end a line.
template <typename Visit>
void forEachLine(std::string_view text, Visit visit) {
  std::size_t from = 0;
  // The next CR and the next LF, each searched for again only once passed.
  std::size_t cr = positionOf(text, '\r', 0);
  std::size_t lf = positionOf(text, '\n', 0);
  while (from < text.size()) {
    if (cr < from) cr = positionOf(text, '\r', from);
    if (lf < from) lf = positionOf(text, '\n', from);
    const std::size_t at = std::min(cr, lf);
    if (!visit(from, text.substr(from, at - from))) return;
    if (at == text.size()) return;
    from = at + (text[at] == '\r' && at + 1 < text.size() && text[at + 1] == '\n' ? 2 : 1);
  }
}

bool keyIs(std::string_view line, std::string_view key) {
  return equalsIgnoringCase(blanksTrimmed(keyOf(line)), key);
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
  unindexed_ = texts_.back();
  if (platform_.endOfFileCharacterEndsText()) {
    unindexed_ = unindexed_.substr(0, unindexed_.find('\x1a'));
  }
}

bool StoreFile::searchable(std::string_view key) {
  // A line's key never holds "=" or a line end, and has no blanks around it.
  return !key.empty() && key.front() != ' ' && key.back() != ' ' &&
         key.find_first_of("=\r\n") == std::string_view::npos;
}

bool StoreFile::searchText(std::string_view key) {
  if (indexed_) return false;
  if (searchable(key) && ++searches_ <= kSearchesBeforeIndex) return true;
  buildIndex();
  return false;
}

std::size_t StoreFile::findInText(std::string_view key, std::size_t from) const {
  // The key must start a line, blanks aside, and end where the line's key
  // does.
  const std::string_view text = unindexed_;
  std::size_t start = 0;
  const std::size_t at = findIgnoringCase(text, key, from, [&](std::size_t at) {
    start = at;
    while (start > 0 && text[start - 1] == ' ') --start;
    if (start > 0 && text[start - 1] != '\r' && text[start - 1] != '\n') return false;
    std::size_t after = at + key.size();
    while (after < text.size() && text[after] == ' ') ++after;
    if (after < text.size() && text[after] != '=' && text[after] != '\r' && text[after] != '\n') {
      return false;
    }
    return !removedFromText(start);
  });
  return at == std::string_view::npos ? at : start;
}

std::string_view StoreFile::lineAt(std::size_t start) const {
  const std::string_view rest = unindexed_.substr(start);
  return rest.substr(0, rest.find_first_of("\r\n"));
}

bool StoreFile::removedFromText(std::size_t start) const {
  return std::find(removed_.begin(), removed_.end(), start) != removed_.end();
}

bool StoreFile::anyLineLeft() const {
  for (std::string_view line : added_) {
    if (!line.empty()) return true;
  }
  bool found = false;
  forEachLine(unindexed_, [&](std::size_t start, std::string_view line) {
    found = !isBlank(line) && !removedFromText(start);
    return !found;
  });
  return found;
}

void StoreFile::buildIndex() {
  if (indexed_) return;
  indexed_ = true;
  std::sort(removed_.begin(), removed_.end());
  std::vector<std::string_view> lines = splitTextLineViews(unindexed_, false);
  const std::size_t count = lines.size() + added_.size();
  lines_.reserve(count);
  next_.reserve(count);
  last_.reserve(count);
  live_.reserve(count);
  growIndex(count);
  auto removed = removed_.begin();
  for (std::string_view line : lines) {
    const std::size_t start = static_cast<std::size_t>(line.data() - unindexed_.data());
    while (removed != removed_.end() && *removed < start) ++removed;
    if (removed != removed_.end() && *removed == start) continue;
    if (!isBlank(line)) add(line);
  }
  for (std::string_view line : added_) {
    if (!line.empty()) add(line);
  }
  removed_ = std::vector<std::size_t>();
  added_ = std::vector<std::string_view>();
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

FileError StoreFile::readError() {
  load();
  return state_ == State::kUnreadable ? load_error_ : FileError::kNone;
}

bool StoreFile::exists() {
  load();
  return state_ == State::kPresent || state_ == State::kUnreadable;
}

std::string StoreFile::read(const std::string& key) {
  std::string_view wanted = blanksTrimmed(key);
  load();
  if (wanted.empty() || state_ != State::kPresent) return std::string();
  std::string_view line;
  if (searchText(wanted)) {
    const std::size_t start = findInText(wanted, 0);
    if (start != std::string_view::npos) {
      line = lineAt(start);
    } else {
      for (std::string_view added : added_) {
        if (!added.empty() && keyIs(added, wanted)) {
          line = added;
          break;
        }
      }
    }
  } else if (!slots_.empty()) {
    const std::uint32_t taken = slots_[slotOf(wanted)];
    if (taken != 0) line = lines_[taken - 1];
  }
  if (line.empty()) return std::string();
  std::string value = trimBlanks(field(std::string(line), "=", 2));
  if (rules_.strip_quotes_from_values) value = trimBlanks(replaceAll(value, "\"", ""));
  return value;
}

void StoreFile::write(const std::string& raw_entry) {
  load();
  dirty_ = true;
  noteWritten(keyOf(raw_entry));
  // A store that is there but cannot be read (held by another program) is
  // left alone; commit() reports it.
  if (state_ == State::kUnreadable) return;
  std::string entry = safeEntry(raw_entry);
  // The entry's key is taken as it is: only an untrimmed line key would
  // match one with blanks around it, and line keys are compared trimmed.
  const std::string_view key = keyOf(entry);
  // A line read with a key that no line is written with (one holding a NUL)
  // goes too: the entry replaces it under the safe key, and a removal
  // removes it, instead of leaving it to be read again by every run.
  const std::string_view raw_key = keyOf(raw_entry);
  if (raw_key != key) {
    noteWritten(key);
    removeKey(raw_key);
  }
  const bool in_text = removeKey(key);
  state_ = State::kPresent;
  if (field(entry, "=", 2).empty()) {
    leading_blank_ = false;
    return;
  }
  leading_blank_ = in_text ? !anyLineLeft() : live_count_ == 0;
  texts_.push_back(std::move(entry));
  if (in_text) {
    added_.push_back(texts_.back());
  } else {
    add(texts_.back());
  }
}

bool StoreFile::removeKey(std::string_view key) {
  const bool in_text = searchText(key);
  if (in_text) {
    for (std::size_t start = findInText(key, 0); start != std::string_view::npos;
         start = findInText(key, start + lineAt(start).size())) {
      removed_.push_back(start);
    }
    for (std::string_view& added : added_) {
      if (!added.empty() && keyIs(added, key)) added = std::string_view();
    }
  } else if (!slots_.empty()) {
    const std::size_t slot = slotOf(key);
    if (slots_[slot] != 0) {
      for (std::uint32_t position = slots_[slot] - 1; position != kNoLine;
           position = next_[position]) {
        live_[position] = false;
        lines_[position] = std::string_view();
        --live_count_;
      }
      slots_[slot] = kRemovedKey;
    }
  }
  return in_text;
}

std::vector<std::string> StoreFile::readAllLines() {
  load();
  buildIndex();
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

bool StoreFile::isRecordKey(const std::string& key) {
  if (toLower(trimBlanks(key)).compare(0, 6, "setup_") == 0) return false;
  for (const std::string& line : readAllLines()) {
    if (line.find('=') != std::string::npos &&
        equalsIgnoringCase(trimBlanks(std::string(keyOf(line))), trimBlanks(key))) {
      return true;
    }
  }
  return false;
}

void StoreFile::removeFile() {
  load();
  buildIndex();
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
  all_written_ = true;
}

std::string StoreFile::text() const {
  // Each write used to rewrite the file from the lines kept and the new
  // entry; these are exactly the bytes the last such rewrite produced.
  if (!indexed_) return textBeforeIndex();
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

std::string StoreFile::textBeforeIndex() const {
  if (!anyLineLeft()) return "\r\n";
  std::string bytes = leading_blank_ ? "\r\n" : "";
  bytes.reserve(unindexed_.size() + 64);
  std::vector<std::size_t> removed = removed_;
  std::sort(removed.begin(), removed.end());
  auto next_removed = removed.begin();
  // Lines kept that already end in CR LF are copied together, a run of
  // them at a time.
  std::size_t run_start = 0;
  std::size_t run_end = 0;
  forEachLine(unindexed_, [&](std::size_t start, std::string_view line) {
    while (next_removed != removed.end() && *next_removed < start) ++next_removed;
    if (next_removed != removed.end() && *next_removed == start) return true;
    if (isBlank(line)) return true;
    const std::size_t end = start + line.size();
    if (unindexed_.compare(end, 2, "\r\n") == 0) {
      if (start != run_end) {
        bytes.append(unindexed_, run_start, run_end - run_start);
        run_start = start;
      }
      run_end = end + 2;
      return true;
    }
    bytes.append(unindexed_, run_start, run_end - run_start);
    run_start = run_end = end;
    bytes += line;
    bytes += "\r\n";
    return true;
  });
  bytes.append(unindexed_, run_start, run_end - run_start);
  for (std::string_view line : added_) {
    if (line.empty()) continue;
    bytes += line;
    bytes += "\r\n";
  }
  return bytes;
}

void StoreFile::noteWritten(std::string_view key) {
  if (all_written_) return;
  if (written_keys_.size() == kWrittenKeysListed) {
    all_written_ = true;
    written_keys_.clear();
    return;
  }
  written_keys_.emplace_back(blanksTrimmed(key));
}

bool StoreFile::writtenKeys(std::vector<std::string>* keys) const {
  if (all_written_) return false;
  *keys = written_keys_;
  return true;
}

std::string_view StoreFile::textOnDisk() {
  if (!on_disk_) return std::string_view();
  if (!disk_is_loaded_text_) return committed_bytes_;
  std::string_view read = texts_.front();
  if (!platform_.endOfFileCharacterEndsText()) return read;
  return read.substr(0, read.find('\x1a'));
}

std::string StoreFile::textNow() {
  if (state_ == State::kUnloaded) return std::string(textOnDisk());
  if (state_ != State::kPresent) return std::string();
  return text();
}

FileError StoreFile::commit() {
  if (!dirty_) return FileError::kNone;
  if (state_ == State::kUnreadable) return load_error_;
  PendingWrite write;
  if (!pendingWrite(&write)) return FileError::kNone;
  FileError error =
      write.remove ? platform_.removeFile(path_) : platform_.replaceFile(path_, write.bytes);
  if (write.remove && error == FileError::kNotFound) {  // gone already
    markClean();
    on_disk_ = false;
    return FileError::kNone;
  }
  if (error == FileError::kNone) committed(std::move(write));
  return error;
}

bool StoreFile::pendingWrite(PendingWrite* write) {
  if (!dirty_ || state_ == State::kUnreadable) return false;
  if (state_ == State::kMissing) {
    if (!on_disk_) {
      markClean();
      return false;
    }
    *write = {path_, true, std::string()};
    return true;
  }
  std::string bytes = text();
  if (on_disk_ && bytes == diskBytes()) {
    markClean();
    return false;
  }
  *write = {path_, false, std::move(bytes)};
  return true;
}

void StoreFile::markClean() {
  dirty_ = false;
  written_keys_.clear();
  all_written_ = false;
}

void StoreFile::committed(PendingWrite&& written) {
  markClean();
  changed_on_disk_ = true;
  on_disk_ = !written.remove;
  if (written.remove) return;
  committed_bytes_ = std::move(written.bytes);
  disk_is_loaded_text_ = false;
}

}  // namespace quarvel
