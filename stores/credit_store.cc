#include "stores/credit_store.h"

#include <cstdint>
#include <cstdio>

#include "config/numbers.h"
#include "config/text.h"
#include "server/contract.h"
#include "stores/stored_names.h"

namespace quarvel {
namespace {

constexpr char kNukedMark[] = "nuked";
constexpr char kRenamesShard[] = "renames";
// 4096 shards: a million entries make about 250 lines, 15 KB, a shard.
constexpr std::uint32_t kShardMask = 0xFFF;

std::string keyOfLine(const std::string& line) { return line.substr(0, line.find('=')); }

std::string valueOfLine(const std::string& line) {
  std::size_t equals = line.find('=');
  return equals == std::string::npos ? std::string() : line.substr(equals + 1);
}

// The folder part of a stored path (backslashes), "" when it has none.
std::string folderOf(const std::string& stored_path) {
  std::size_t slash = stored_path.find_last_of('\\');
  return slash == std::string::npos ? std::string() : stored_path.substr(0, slash);
}

// A user name as the stores write it: no byte that would end the line.
std::string safeUser(std::string user) {
  for (char& c : user) {
    if (c == '\r' || c == '\n' || c == '\0' || c == '\x1A') c = '_';
  }
  return user;
}

}  // namespace

LedgerEntry parseLedgerValue(const std::string& value) {
  LedgerEntry entry;
  std::vector<std::string> fields = splitAt(value, "::");
  std::size_t count = fields.size();
  if (count > 0 && trimBlanks(fields[count - 1]) == kNukedMark) {
    entry.nuked = true;
    --count;
  }
  for (std::size_t i = 0; i + 1 < count; i += 4) {
    if (trimBlanks(fields[i]).empty()) continue;
    FileCredit credit{trimBlanks(fields[i]), readNumber(fields[i + 1])};
    if (i + 2 < count) credit.trial = trimBlanks(fields[i + 2]);
    if (i + 3 < count) credit.quota = trimBlanks(fields[i + 3]);
    if (credit.trial.empty()) credit.trial = kUnknownPeriod;
    if (credit.quota.empty()) credit.quota = kUnknownPeriod;
    entry.credits.push_back(credit);
  }
  return entry;
}

std::string ledgerValue(const LedgerEntry& entry) {
  std::string value;
  for (const FileCredit& credit : entry.credits) {
    if (!value.empty()) value += "::";
    value += safeUser(credit.user) + "::" + plainForm(credit.mb) + "::" + credit.trial +
             "::" + credit.quota;
  }
  if (entry.nuked) value += std::string("::") + kNukedMark;
  return value;
}

CreditStore::CreditStore(Files& files)
    : CreditStore(files, files.platform().fileNamesIgnoreCase()) {}

CreditStore::CreditStore(Files& files, bool ignore_case)
    : platform_(files.platform()),
      ignore_case_(ignore_case),
      folder_(files.dataPath(contract::kCreditLedgerFolder)),
      old_store_path_(files.dataPath(contract::kCreditStoreFile)) {}

bool CreditStore::sameName(const std::string& a, const std::string& b) const {
  return ignore_case_ ? a.size() == b.size() && toLower(a) == toLower(b) : a == b;
}

std::string CreditStore::shardNameOf(const std::string& path) const {
  std::string folder = folderOf(encodeStoredName(path));
  if (ignore_case_) folder = toLower(folder);
  std::uint32_t hash = 2166136261u;  // FNV-1a
  for (unsigned char c : folder) hash = (hash ^ c) * 16777619u;
  char name[8];
  std::snprintf(name, sizeof name, "%03x", static_cast<unsigned>(hash & kShardMask));
  return name;
}

std::string CreditStore::shardPathOf(const std::string& path) const {
  return folder_ + "\\" + shardNameOf(path) + ".dat";
}

CreditStore::Shard& CreditStore::shard(const std::string& name) {
  moveOldStore();
  auto found = shards_.find(name);
  if (found != shards_.end()) return found->second;
  Shard& loaded = shards_[name];
  loaded.path = folder_ + "\\" + name + ".dat";
  std::string text;
  FileError error = platform_.readFile(loaded.path, &text);
  if (error == FileError::kNone) {
    loaded.on_disk = true;
    loaded.disk_bytes = text;
    for (std::string& line : splitAt(text, "\n")) {
      if (!line.empty() && line.back() == '\r') line.pop_back();
      if (!trimBlanks(line).empty()) loaded.lines.push_back(line);
    }
  } else if (error != FileError::kNotFound && error != FileError::kPathNotFound) {
    loaded.unreadable = true;
    loaded.read_error = error;
  }
  if (old_store_error_ != FileError::kNone) {
    // An old store that could not be moved over: nothing is written, so
    // that it is moved over whole once it can be read.
    loaded.unreadable = true;
    loaded.read_error = old_store_error_;
  }
  return loaded;
}

CreditStore::Shard& CreditStore::shardOfPath(const std::string& path) {
  return shard(shardNameOf(path));
}

std::size_t CreditStore::findLine(const Shard& shard, const std::string& key) const {
  for (std::size_t i = 0; i < shard.lines.size(); ++i) {
    if (sameName(keyOfLine(shard.lines[i]), key)) return i;
  }
  return std::string::npos;
}

void CreditStore::putLine(Shard& shard, const std::string& key, const std::string& line) {
  shard.touched = true;
  if (shard.unreadable) return;
  for (std::size_t i = findLine(shard, key); i != std::string::npos; i = findLine(shard, key)) {
    shard.lines.erase(shard.lines.begin() + static_cast<std::ptrdiff_t>(i));
  }
  if (!line.empty()) shard.lines.push_back(line);
}

void CreditStore::moveOldStore() {
  if (old_store_checked_) return;
  old_store_checked_ = true;
  std::string text;
  FileError error = platform_.readFile(old_store_path_, &text);
  if (error == FileError::kNotFound || error == FileError::kPathNotFound) return;
  if (error != FileError::kNone) {
    old_store_error_ = error;
    return;
  }
  if (platform_.endOfFileCharacterEndsText()) text = text.substr(0, text.find('\x1A'));
  // Its keys had only "%" and "=" written as %25 and %3D, and its values
  // were user::MB pairs, with no period.
  for (std::string& line : splitAt(text, "\n")) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    std::size_t equals = line.find('=');
    if (equals == std::string::npos) continue;
    std::string path = decodeStoredName(trimBlanks(line.substr(0, equals)));
    LedgerEntry entry;
    std::vector<std::string> fields = splitAt(line.substr(equals + 1), "::");
    for (std::size_t i = 0; i + 1 < fields.size(); i += 2) {
      if (trimBlanks(fields[i]).empty()) continue;
      entry.credits.push_back(FileCredit{trimBlanks(fields[i]), readNumber(fields[i + 1])});
    }
    if (!path.empty() && !entry.credits.empty()) setEntry(path, entry);
  }
  remove_old_store_ = true;
}

LedgerEntry CreditStore::entryOf(const std::string& path) {
  Shard& found = shardOfPath(path);
  std::size_t line = findLine(found, encodeStoredName(path));
  return line == std::string::npos ? LedgerEntry()
                                   : parseLedgerValue(valueOfLine(found.lines[line]));
}

void CreditStore::setEntry(const std::string& path, const LedgerEntry& entry) {
  std::string key = encodeStoredName(path);
  putLine(shardOfPath(path), key, entry.credits.empty() ? "" : key + "=" + ledgerValue(entry));
}

void CreditStore::setCredits(const std::string& path, const std::vector<FileCredit>& credits) {
  LedgerEntry entry = entryOf(path);
  entry.credits = credits;
  setEntry(path, entry);
}

namespace {

// A path in the folder (its files' shard), the folder without a final
// separator.
std::string folderProbe(std::string folder) {
  while (!folder.empty() && folder.back() == '\\') folder.pop_back();
  return folder + "\\x";
}

}  // namespace

int CreditStore::markNuked(const std::string& folder, bool nuked) {
  std::string probe = folderProbe(folder);
  Shard& found = shardOfPath(probe);
  std::string stored_folder = folderOf(encodeStoredName(probe));
  int changed = 0;
  for (std::string& line : found.lines) {
    if (!sameName(folderOf(keyOfLine(line)), stored_folder)) continue;
    LedgerEntry entry = parseLedgerValue(valueOfLine(line));
    if (entry.nuked == nuked || entry.credits.empty()) continue;
    entry.nuked = nuked;
    line = keyOfLine(line) + "=" + ledgerValue(entry);
    ++changed;
  }
  if (changed > 0) found.touched = true;
  return changed;
}

std::vector<std::string> CreditStore::pathsMovedWith(const std::string& path) {
  std::vector<std::string> paths;
  if (!entryOf(path).credits.empty()) paths.push_back(path);
  std::string probe = folderProbe(path);
  std::string stored_folder = folderOf(encodeStoredName(probe));
  for (const std::string& line : shardOfPath(probe).lines) {
    if (sameName(folderOf(keyOfLine(line)), stored_folder)) {
      paths.push_back(decodeStoredName(keyOfLine(line)));
    }
  }
  return paths;
}

void CreditStore::sweep(Files& files, std::size_t count, const std::string& path) {
  Shard& found = shardOfPath(path);
  if (found.unreadable) return;
  std::vector<std::string> kept;
  std::size_t looked = 0;
  while (looked < count && looked < found.lines.size()) {
    const std::string& line = found.lines[looked++];
    std::string key = keyOfLine(line);
    // A line without a value is no entry: it goes.
    if (line.find('=') != std::string::npos && !valueOfLine(line).empty() &&
        files.fileExists(decodeStoredName(key))) {
      kept.push_back(line);
    }
  }
  if (looked == 0) return;
  found.lines.erase(found.lines.begin(), found.lines.begin() + static_cast<std::ptrdiff_t>(looked));
  found.lines.insert(found.lines.end(), kept.begin(), kept.end());
  found.touched = true;
}

void CreditStore::noteRenameSource(const std::string& user, const std::string& path) {
  std::string key = encodeStoredName(toLower(user));
  putLine(shard(kRenamesShard), key, key + "=" + encodeStoredName(path));
}

std::string CreditStore::takeRenameSource(const std::string& user) {
  Shard& renames = shard(kRenamesShard);
  std::string key = encodeStoredName(toLower(user));
  std::size_t line = findLine(renames, key);
  if (line == std::string::npos) return std::string();
  std::string path = decodeStoredName(valueOfLine(renames.lines[line]));
  putLine(renames, key, "");
  return path;
}

std::string CreditStore::bytesOf(const Shard& shard) {
  std::string bytes;
  for (const std::string& line : shard.lines) bytes += line + "\r\n";
  return bytes;
}

std::vector<LedgerWrite> CreditStore::pendingWrites() {
  // Shards that grow first, then those that shrink or go: an entry that
  // moves to another shard (a rename) is written at its new place before
  // it leaves the old one, so a run stopped in between leaves it twice
  // (the old path's line is swept later) rather than nowhere.
  std::vector<LedgerWrite> growing;
  std::vector<LedgerWrite> shrinking;
  for (auto& named : shards_) {
    Shard& shard = named.second;
    if (!shard.touched || shard.unreadable) continue;
    std::string bytes = bytesOf(shard);
    if (bytes.empty()) {
      if (shard.on_disk) shrinking.push_back(LedgerWrite{shard.path, std::string(), true});
    } else if (!shard.on_disk || bytes != shard.disk_bytes) {
      bool grows = !shard.on_disk || bytes.size() >= shard.disk_bytes.size();
      (grows ? growing : shrinking).push_back(LedgerWrite{shard.path, bytes, false});
    }
  }
  growing.insert(growing.end(), shrinking.begin(), shrinking.end());
  if (remove_old_store_) growing.push_back(LedgerWrite{old_store_path_, std::string(), true});
  return growing;
}

void CreditStore::markWritten() {
  if (remove_old_store_) changed_on_disk_ = true;
  for (auto& named : shards_) {
    Shard& shard = named.second;
    if (!shard.touched || shard.unreadable) continue;
    std::string bytes = bytesOf(shard);
    if (bytes != shard.disk_bytes) changed_on_disk_ = true;
    shard.disk_bytes = std::move(bytes);
    shard.on_disk = !shard.disk_bytes.empty();
    shard.touched = false;
  }
  remove_old_store_ = false;
}

FileError CreditStore::readErrorOfChanged(std::string* path) const {
  for (const auto& named : shards_) {
    if (named.second.touched && named.second.unreadable) {
      *path = named.second.path;
      return named.second.read_error;
    }
  }
  return FileError::kNone;
}

FileError CreditStore::prepareFolder() { return platform_.createFolder(folder_); }

FileError CreditStore::commit(std::string* failed_path) {
  FileError unreadable = readErrorOfChanged(failed_path);
  if (unreadable != FileError::kNone) return unreadable;
  std::vector<LedgerWrite> writes = pendingWrites();
  if (writes.empty()) return FileError::kNone;
  FileError error = prepareFolder();
  if (error != FileError::kNone) {
    *failed_path = folder_;
    return error;
  }
  for (const LedgerWrite& write : writes) {
    error = write.remove ? platform_.removeFile(write.path)
                         : platform_.replaceFile(write.path, write.bytes);
    if (error == FileError::kNotFound && write.remove) error = FileError::kNone;
    if (error != FileError::kNone) {
      *failed_path = write.path;
      return error;
    }
    changed_on_disk_ = true;
  }
  markWritten();
  return FileError::kNone;
}

}  // namespace quarvel
