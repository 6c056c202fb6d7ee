// The credit ledger: for each uploaded file that was credited to a trial or
// quota member, who was credited how much, and to which trial and which
// quota period. An append credits only what the file grew by, and a
// deletion takes back what was credited, from whoever was credited,
// whoever deletes the file, and only from the trial or period it went to.
//
// On disk: the folder Credits beside the stores, with up to 4096 shard
// files 000.dat to fff.dat. A file's entry lives in the shard named by a
// hash of its folder, so an event reads and rewrites one small file
// whatever the size of the site, and the files of one folder (a release)
// share a shard, which a nuke or a folder rename then finds in one read.
// Each line is
//
//   <local path>=<user>::<MB>::<trial>::<quota>[::<user>::...][::nuked]
//
// <trial> is the last day of the trial the credit went to (MM-DD-YYYY),
// <quota> the first day of the quota period it went to ("0" when the
// store names none); "-" when the credit went to no trial or period, "?"
// when that is not known (an entry moved over from Credits.dat). "nuked"
// marks a file whose release was nuked. The path is written as stored names
// are (stored_names.h) and compared as the platform compares file names.
// Any line can be edited or deleted with a text editor; renames.dat in the
// same folder holds the source of each user's pending rename.
//
// The single Credits.dat of earlier versions is moved over by the first run
// that needs the ledger: its entries go to their shards, and the file is
// deleted only after every shard is written.
#pragma once

#include <map>
#include <string>
#include <vector>

#include "stores/store_file.h"

namespace quarvel {

// A credit's trial or period field: credited to none, or not known.
inline constexpr char kNoPeriod[] = "-";
inline constexpr char kUnknownPeriod[] = "?";

struct FileCredit {
  std::string user;
  double mb = 0;
  std::string trial = kUnknownPeriod;
  std::string quota = kUnknownPeriod;
};

struct LedgerEntry {
  std::vector<FileCredit> credits;  // in the order first credited
  bool nuked = false;
};

// One file the ledger has still to write: its new bytes, or its deletion.
struct LedgerWrite {
  std::string path;
  std::string bytes;
  bool remove = false;
};

class CreditStore {
 public:
  // Names compared as the platform's file system compares them.
  explicit CreditStore(Files& files);
  CreditStore(Files& files, bool ignore_case);
  CreditStore(const CreditStore&) = delete;
  CreditStore& operator=(const CreditStore&) = delete;

  // The file's entry; empty when it has none (also when its shard cannot
  // be read).
  LedgerEntry entryOf(const std::string& path);
  // Replaces the file's entry; one without credits removes it.
  void setEntry(const std::string& path, const LedgerEntry& entry);
  std::vector<FileCredit> creditsOf(const std::string& path) { return entryOf(path).credits; }
  // Replaces the credits and keeps the nuke mark; an empty list removes.
  void setCredits(const std::string& path, const std::vector<FileCredit>& credits);

  // Marks (or unmarks) as nuked the entries of the files directly in
  // `folder`; how many changed.
  int markNuked(const std::string& folder, bool nuked);

  // The paths with an entry that a rename of `path` carries along: the
  // path itself and, for a folder, the files directly in it.
  std::vector<std::string> pathsMovedWith(const std::string& path);

  // Looks at the `count` oldest entries of the shard that holds `path`:
  // those whose file is gone (removed or renamed without an event) are
  // dropped, the others move to the end. Each upload sweeps a little of
  // the shard it writes anyway, so the ledger holds the files still there
  // plus a few stale ones.
  void sweep(Files& files, std::size_t count, const std::string& path);

  // The source of `user`'s pending rename (between RNFR and RNTO).
  void noteRenameSource(const std::string& user, const std::string& path);
  // The noted source, which is dropped; empty when none.
  std::string takeRenameSource(const std::string& user);

  // The commit. The writes pending, in the order they are to be made (the
  // removal of an old Credits.dat comes last); the folder must exist first
  // (prepareFolder). markWritten() once every one is on disk.
  std::vector<LedgerWrite> pendingWrites();
  void markWritten();
  FileError prepareFolder();
  // A shard that could not be read and was to be changed is never written:
  // its read error and path; kNone when there is none.
  FileError readErrorOfChanged(std::string* path) const;
  // Makes every pending write on its own (a run commits them with its
  // stores, stores.h); on failure the error and the file it was.
  FileError commit(std::string* failed_path);
  // Whether a commit of this run wrote or deleted a file.
  bool changedOnDisk() const { return changed_on_disk_; }

  // The shard file that holds `path`'s entry, and the ledger's folder.
  std::string shardPathOf(const std::string& path) const;
  const std::string& folder() const { return folder_; }

 private:
  struct Shard {
    std::string path;
    bool unreadable = false;
    FileError read_error = FileError::kNone;
    bool on_disk = false;
    bool touched = false;  // a change was asked for
    std::string disk_bytes;
    std::vector<std::string> lines;  // as written, without line ends
  };

  void moveOldStore();
  Shard& shard(const std::string& name);
  Shard& shardOfPath(const std::string& path);
  std::string shardNameOf(const std::string& path) const;
  bool sameName(const std::string& a, const std::string& b) const;
  std::size_t findLine(const Shard& shard, const std::string& key) const;
  void putLine(Shard& shard, const std::string& key, const std::string& line);
  static std::string bytesOf(const Shard& shard);

  Platform& platform_;
  bool ignore_case_;
  std::string folder_;
  std::string old_store_path_;
  bool old_store_checked_ = false;
  bool remove_old_store_ = false;
  FileError old_store_error_ = FileError::kNone;
  std::map<std::string, Shard> shards_;
  bool changed_on_disk_ = false;
};

// A line's entry, and the line of an entry (without its path).
LedgerEntry parseLedgerValue(const std::string& value);
std::string ledgerValue(const LedgerEntry& entry);

}  // namespace quarvel
