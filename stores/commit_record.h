// One commit over several files: a run that changed several stores writes
// them so that a kill at any moment leaves either none of the changes or,
// once the next run has started, all of them.
//
// The steps: each new text goes to a temporary file beside its target
// (<target>.new), on disk before the next step; then the commit record
// Quarvel.commit in the data folder, replaced atomically and on disk,
// names every target with its temporary file (its length and checksum) or
// its removal, and ends with a line that counts the entries and checks the
// bytes before it; then the renames and removals; then the record goes.
// A commit of one file needs no record: its atomic replacement is already
// all or nothing.
//
// Every run that takes the instance lock calls finishInterruptedCommit
// before it reads a store. A complete record is carried out again: a
// temporary file already renamed is simply missing and skipped (one whose
// bytes do not match the record is not this commit's, and is removed), a
// removal already done is done. A record without its end line or with a
// wrong count or checksum was never complete, so no rename had started: it
// and the temporary files it names go, and the stores stay as they were.
//
// The record, one entry a line, fields separated by a tab:
//   quarvel commit
//   replace <target> <temporary file> <length> <checksum>
//   remove <target>
//   end <entries> <checksum of every byte before this line>
// Checksums are 64-bit FNV-1a, in hexadecimal.
#pragma once

#include <string>
#include <vector>

#include "platform/platform.h"

namespace quarvel {

// A file a commit changes: replaced by `bytes`, or removed.
struct PendingWrite {
  std::string path;
  bool remove = false;
  std::string bytes;
};

// Why a commit, or finishing one, stopped: the error and the file it met.
struct CommitFailure {
  FileError error = FileError::kNone;
  std::string path;
  bool failed() const { return error != FileError::kNone; }
};

// Writes every change of `writes` as one commit through the record at
// `record_path`. On a failure before the record was on disk nothing has
// changed and the temporary files are gone; after it, the record stays and
// the next run finishes the commit.
CommitFailure commitTogether(Platform& platform, const std::string& record_path,
                             const std::vector<PendingWrite>& writes);

enum class Recovery {
  kNone,       // no record: the last commit ended
  kFinished,   // a complete record was carried out
  kDiscarded,  // an incomplete record was removed with its temporary files
  kFailed,     // the record could not be read or carried out (see failure)
};

// See the header comment. `failure` is set on kFailed.
Recovery finishInterruptedCommit(Platform& platform, const std::string& record_path,
                                 CommitFailure* failure);

// The record's text for these writes (each replacement's temporary file is
// its target's path and ".new").
std::string commitRecordText(const std::vector<PendingWrite>& writes);
std::string temporaryPathOf(const std::string& target);

}  // namespace quarvel
