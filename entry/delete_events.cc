#include "entry/delete_events.h"

#include "config/numbers.h"
#include "config/text.h"
#include "entry/handlers.h"
#include "evaluation/quota_evaluation.h"
#include "server/contract.h"
#include "stores/store_record.h"

namespace quarvel {

std::string sizeMemoKey(const std::string& user, const std::string& file_name) {
  std::string safe_name = file_name;
  for (char& c : safe_name) {
    if (c == '=' || c == '\r' || c == '\n') c = '_';
  }
  return user + "_PREDEL_SIZE_" + safe_name;
}

namespace {

// The command word, a blank, a four-letter verb and a blank come first:
// "PREDL DELE a.zip" names a.zip.
struct DeletedFile {
  std::string user;
  std::string memo_key;
  std::string full_path;
};

DeletedFile deletedFile(Run& run) {
  std::string name = run.command_line.size() > 11 ? run.command_line.substr(11) : std::string();
  DeletedFile file;
  file.user = run.env(contract::kUserVariable);
  file.memo_key = sizeMemoKey(file.user, name);
  file.full_path = run.env(contract::kPathVariable) + "\\" + name;
  return file;
}

// Consumes the memo; takes its size off the user's total when the file is
// gone. True when the total was lowered.
bool settleDeletion(StoreFile& store, const DeletedFile& file, const std::string& group,
                    Files& files) {
  std::string value = store.read(file.user);
  if (value.empty()) return false;
  std::string memo = store.read(file.memo_key);
  if (memo.empty()) return false;
  bool gone = files.fileExists(file.full_path) == 0;
  if (gone) {
    StoreRecord record = StoreRecord::parse(value).credited(-readNumber(memo));
    record.group = group;
    store.write(record.entry(file.user));
  }
  store.write(file.memo_key + "=");
  return gone;
}

}  // namespace

Next runPreDelete(Run& run) {
  DeletedFile file = deletedFile(run);
  // Measured once the user is known to be in a store, so events of other
  // users never touch the file.
  for (StoreFile* store : {&run.trial.file(), &run.quota.file()}) {
    if (store->read(file.user).empty()) continue;
    store->write(file.memo_key + "=" + plainForm(run.files.fileSizeMB(file.full_path)));
  }
  return Next::kContinue;
}

Next runPostDelete(Run& run) {
  DeletedFile file = deletedFile(run);
  std::string group = run.env(contract::kGroupVariable);
  settleDeletion(run.trial.file(), file, group, run.files);
  if (settleDeletion(run.quota.file(), file, group, run.files)) checkQuotaPass(run, file.user);
  return Next::kContinue;
}

}  // namespace quarvel
