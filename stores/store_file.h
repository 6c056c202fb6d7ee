// A store file: key=value lines, read once per run and changed in memory.
// A run that looks up or writes a few keys (every transfer event) finds them
// in the text as read; the ordered index of every line is built only once
// a run has searched the text many times or needs every line. The trial
// store and the quota store are two instances that differ only in their
// file name and two reading rules (StoreRules).
//
// Commit points. A run changes its stores in memory and writes them to disk
// (commit) only where it acts outside itself: before it sends a SITE
// command, before it prints a line that states a store change, and at its
// end. Each commit replaces the whole file atomically, so a run killed at
// any moment leaves the store as it was before the run or as at one of its
// commit points, never a part of one; and because the change is on disk
// before the line that announces it or the command that acts on it, no
// line already printed is ever contradicted by the store. A command that
// changes several records (the count-down and removal of the expired, a
// period end and the next enrolment) makes them all before one commit, so
// it is never left half done. A commit point that changed several files
// writes them as one commit (commit_record.h), so that the stores also
// agree with each other after a kill.
#pragma once

#include <cstdint>
#include <deque>
#include <string>
#include <string_view>
#include <vector>

#include "config/files.h"
#include "config/text.h"
#include "stores/commit_record.h"

namespace quarvel {

struct StoreRules {
  // Double-quote characters removed from a value read back.
  bool strip_quotes_from_values = true;
  // Keys containing any of these (lower case, anywhere) are not listed.
  std::vector<std::string> unlisted_key_parts;
};

class StoreFile {
 public:
  StoreFile(Files& files, std::string file_name, StoreRules rules)
      : platform_(files.platform()), path_(files.dataPath(file_name)), rules_(std::move(rules)) {}
  // Its lines are views into its own texts: a copy would point into these.
  StoreFile(const StoreFile&) = delete;
  StoreFile& operator=(const StoreFile&) = delete;
  StoreFile(StoreFile&&) = default;

  // The value of the first line whose key, trimmed, equals `key` trimmed,
  // without regard to case; "" when the key is empty, the store is missing
  // or no line matches. The value is the text between the first and second
  // "=", trimmed (and with double quotes removed when the rules say so).
  std::string read(const std::string& key);

  // key=value: removes every line of the key and adds the entry at the end;
  // key= only removes. Changes memory only; commit() writes the file. CR,
  // LF, NUL and the end-of-file character 26 are replaced by "_": none of
  // them may split a line, end the file early or reach a server command.
  void write(const std::string& entry);

  // The lines, untrimmed, in file order (blank lines left out); empty when
  // the store is missing.
  std::vector<std::string> readAllLines();

  // The keys of all lines, in order, less the unlisted ones; one empty name
  // when there are none.
  std::vector<std::string> listKeys();

  // Whether a line of `key` is a record: a key=value line whose key is not
  // one of the store's own ("setup_..."). A line the program does not
  // understand (free text, a setup key it does not know) is no record: it
  // is kept as it is, never taken for a user who is gone.
  bool isRecordKey(const std::string& key);

  // The whole store goes: reads find nothing, and the next commit deletes
  // the file, or replaces it with what was written since.
  void removeFile();

  // True when the file is there (also when it could not be read).
  bool exists();
  // Why the file could not be read; kNone when it was read or is missing.
  FileError readError();
  const std::string& path() const { return path_; }

  // Writes the store to disk if it changed since it was read or last
  // committed: the file replaced atomically (or deleted). kNone when that
  // worked or nothing was pending. A store that could not be read is never
  // written: a rewrite from nothing would lose every record.
  FileError commit();
  // Whether commit() has anything to write.
  bool hasUncommittedChanges() const { return dirty_; }

  // The same in two steps, for a commit with other files
  // (commit_record.h): what commit() would write, false when nothing (the
  // store is then clean); then, once that is on disk, committed() with it.
  // Never for a store that could not be read.
  bool pendingWrite(PendingWrite* write);
  void committed(PendingWrite&& written);
  // The text as it stands on disk (as read, or as last committed) and as
  // the next commit would write it; "" for a store that is not there. What
  // records a run changed is told by comparing the two.
  std::string_view textOnDisk();  // valid until the next commit
  std::string textNow();
  // The keys written since the store was last on disk, trimmed; false when
  // there were too many to list or the whole store went: then any key may
  // have changed.
  bool writtenKeys(std::vector<std::string>* keys) const;

  // Whether a commit of this run replaced or deleted the file: the run
  // changed the store on disk (a commit that found the bytes unchanged
  // wrote nothing and does not count).
  bool changedOnDisk() const { return changed_on_disk_; }

 private:
  enum class State { kUnloaded, kMissing, kPresent, kUnreadable };

  // Line positions are held in 32 bits: a store has far fewer lines.
  static constexpr std::uint32_t kNoLine = static_cast<std::uint32_t>(-1);

  void load();
  void add(std::string_view line);
  // Takes out every line of the key; true while the text is still searched
  // (see searchText).
  bool removeKey(std::string_view key);

  // Before the index: the text as read (up to a code 26 that ends it), less
  // the lines removed since, then the entries written since. The searches
  // compare keys as the index does.
  std::size_t findInText(std::string_view key, std::size_t from) const;  // a line's start
  std::string_view lineAt(std::size_t start) const;
  bool removedFromText(std::size_t start) const;
  bool anyLineLeft() const;
  // Whether a key can be searched for in the text: the index handles the
  // rest (an empty key, blanks around it).
  static bool searchable(std::string_view key);
  // Counts a search; true while the text is still searched.
  bool searchText(std::string_view key);
  void buildIndex();
  // The key index: open addressing over the first line of each key, so
  // that a large store costs no allocation per key.
  std::string_view keyAt(std::size_t position) const;
  std::size_t slotOf(std::string_view key) const;  // its slot, or the empty one
  void growIndex(std::size_t lines);               // room for this many lines
  std::string text() const;                        // the file's bytes for the current lines
  std::string textBeforeIndex() const;

  Platform& platform_;
  std::string path_;
  StoreRules rules_;

  State state_ = State::kUnloaded;
  FileError load_error_ = FileError::kNone;
  // The file's text as read, then each line written since. The lines are
  // views into these, so a large store is indexed without a copy of each
  // line; a deque never moves its elements, not even when it is moved.
  std::deque<std::string> texts_;
  // Until the index is built: see findInText. Searches of the text cost a
  // pass each; past this many the index (about 25 passes) is cheaper.
  static constexpr int kSearchesBeforeIndex = 16;
  bool indexed_ = false;
  int searches_ = 0;
  std::string_view unindexed_;
  std::vector<std::size_t> removed_;     // starts of lines of unindexed_
  std::vector<std::string_view> added_;  // "" once removed again
  // Lines in order, views into texts_; removed lines stay as empty slots so
  // that positions in the index stay valid.
  std::vector<std::string_view> lines_;
  std::vector<std::uint32_t> next_;  // the next line of the same key, or kNoLine
  std::vector<std::uint32_t> last_;  // for a key's first line: the key's last line
  std::vector<bool> live_;
  std::size_t live_count_ = 0;
  // Slots of the key index, a power of two of them: 0 is empty, kRemovedKey
  // a key taken out, otherwise 1 + the position of the key's first line.
  // Keys are trimmed and compared without regard to case.
  static constexpr std::uint32_t kRemovedKey = static_cast<std::uint32_t>(-1);
  std::vector<std::uint32_t> slots_;
  std::size_t slots_taken_ = 0;  // keys and removed keys
  bool leading_blank_ = false;
  bool dirty_ = false;
  bool on_disk_ = false;  // whether the file was there at load or commit
  // Its bytes then: the text read (texts_.front(), not held twice) until
  // the first commit, then what that commit wrote.
  bool disk_is_loaded_text_ = false;
  std::string committed_bytes_;
  const std::string& diskBytes() const {
    return disk_is_loaded_text_ ? texts_.front() : committed_bytes_;
  }
  bool changed_on_disk_ = false;
  // What writtenKeys tells; an event writes a few keys, a newday thousands.
  static constexpr std::size_t kWrittenKeysListed = 64;
  void noteWritten(std::string_view key);
  // Nothing left to write: the written keys are on disk.
  void markClean();
  std::vector<std::string> written_keys_;
  bool all_written_ = false;
};

}  // namespace quarvel
