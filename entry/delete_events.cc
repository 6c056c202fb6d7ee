#include "entry/delete_events.h"

#include <vector>

#include "config/numbers.h"
#include "config/text.h"
#include "entry/dispatch.h"
#include "entry/handlers.h"
#include "entry/upload_event.h"
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

// Virtual folders: "." stays, ".." goes up and never above the root.
void walk(std::vector<std::string>* folders, const std::string& path) {
  for (const std::string& part : splitAt(path, "/")) {
    if (part.empty() || part == ".") continue;
    if (part != "..") {
      folders->push_back(part);
    } else if (!folders->empty()) {
      folders->pop_back();
    }
  }
}

std::string joinVirtual(const std::vector<std::string>& parts) {
  std::string path;
  for (const std::string& part : parts) path += "/" + part;
  return path.empty() ? "/" : path;
}

// A local folder as its parts, and how many of them form its root (the
// drive, "" for a root without one, or "", "", server and share).
struct LocalFolder {
  std::vector<std::string> parts;
  std::size_t root = 1;

  explicit LocalFolder(const std::string& folder) {
    std::string path = normalisedLocalPath(folder);
    parts = splitAt(path, "\\");
    if (path.compare(0, 2, "\\\\") == 0) root = std::min<std::size_t>(4, parts.size());
    while (parts.size() > root && parts.back().empty()) parts.pop_back();
  }
  bool up() {
    if (parts.size() <= root) return false;
    parts.pop_back();
    return true;
  }
  std::string with(const std::vector<std::string>& below) const {
    std::vector<std::string> all = parts;
    all.insert(all.end(), below.begin(), below.end());
    std::string path;
    for (std::size_t i = 0; i < all.size(); ++i) path += (i ? "\\" : "") + all[i];
    return normalisedLocalPath(path);
  }
};

// The local path of `name` below the local folder, walking its "." and
// ".." on the local folder; false when it climbs above the folder's root.
bool localRelative(const std::string& name, LocalFolder folder, std::string* local) {
  std::vector<std::string> below;
  for (const std::string& part : splitAt(name, "/")) {
    if (part.empty() || part == ".") continue;
    if (part != "..") {
      below.push_back(part);
    } else if (!below.empty()) {
      below.pop_back();
    } else if (!folder.up()) {
      return false;
    }
  }
  *local = folder.with(below);
  return true;
}

}  // namespace

DeletedPath resolveDeletedPath(const std::string& name, const std::string& folder,
                               const std::string& pwd) {
  DeletedPath resolved;
  resolved.local = normalisedLocalPath(folder + "\\" + name);
  bool absolute = !name.empty() && name[0] == '/';
  if (pwd.empty()) {
    // No current virtual folder: a relative name is walked on the local
    // folder; an absolute one cannot be placed and keeps the joined path.
    if (absolute) {
      std::vector<std::string> target;
      walk(&target, name);
      resolved.virtual_ = joinVirtual(target);
    } else {
      localRelative(name, LocalFolder(folder), &resolved.local);
    }
    return resolved;
  }
  std::vector<std::string> current;
  walk(&current, pwd);
  std::vector<std::string> target = absolute ? std::vector<std::string>() : current;
  walk(&target, name);
  resolved.virtual_ = joinVirtual(target);
  // The local folder is the current virtual folder's: go up to where the
  // two virtual paths part, then down to the file.
  std::size_t common = 0;
  while (common < current.size() && common < target.size() &&
         toLower(current[common]) == toLower(target[common])) {
    ++common;
  }
  LocalFolder local(folder);
  for (std::size_t i = common; i < current.size(); ++i) {
    if (!local.up()) return resolved;
  }
  resolved.local = local.with(std::vector<std::string>(target.begin() + common, target.end()));
  return resolved;
}

namespace {

struct DeletedFile {
  std::string user;
  std::string memo_key;
  DeletedPath path;
};

// The command word, a blank, a four-letter verb and a blank come first:
// "PREDL DELE a.zip" names a.zip.
DeletedFile deletedFile(Run& run) {
  std::string name = run.command_line.size() > 11 ? run.command_line.substr(11) : std::string();
  DeletedFile file;
  file.user = run.env(contract::kUserVariable);
  file.memo_key = sizeMemoKey(file.user, name);
  file.path =
      resolveDeletedPath(name, run.env(contract::kPathVariable), run.env(contract::kPwdVariable));
  return file;
}

bool excluded(Run& run, const DeletedFile& file) {
  return !file.path.virtual_.empty() && isExcluded(run.settings.excludedDirs(), file.path.virtual_);
}

// Consumes the memo; takes its size off the user's total when the file is
// gone. True when the total was lowered.
bool settleDeletion(StoreFile& store, const DeletedFile& file, const std::string& group,
                    Files& files) {
  std::string value = store.read(file.user);
  if (value.empty()) return false;
  std::string memo = store.read(file.memo_key);
  if (memo.empty()) return false;
  bool gone = !files.fileExists(file.path.local);
  if (gone) {
    StoreRecord record = StoreRecord::parse(value).credited(-readNumber(memo));
    record.group = group;
    store.write(record.entry(file.user));
  }
  store.write(file.memo_key + "=");
  return gone;
}

// Takes a credit back from the user it went to; the group is refreshed only
// when that user is the one deleting. True when the user has a record.
bool takeBack(StoreFile& store, const FileCredit& credit, const DeletedFile& file,
              const std::string& group) {
  std::string value = store.read(credit.user);
  if (value.empty()) return false;
  bool own_file = toLower(credit.user) == toLower(file.user);
  StoreRecord record = StoreRecord::parse(value).credited(-credit.mb);
  if (own_file) record.group = group;
  store.write(record.entry(own_file ? file.user : credit.user));
  return true;
}

void dropMemo(StoreFile& store, const DeletedFile& file) {
  if (!store.read(file.user).empty() && !store.read(file.memo_key).empty()) {
    store.write(file.memo_key + "=");
  }
}

// A file the credit store knows: once it is gone, each user it was credited
// to loses that credit; the deleting user's memos are no longer needed.
void settleCreditedDeletion(Run& run, const DeletedFile& file,
                            const std::vector<FileCredit>& credits) {
  std::string group = run.env(contract::kGroupVariable);
  bool gone = !run.files.fileExists(file.path.local);
  std::vector<std::string> lowered_quota;
  if (gone) {
    for (const FileCredit& credit : credits) takeBack(run.trial.file(), credit, file, group);
  }
  dropMemo(run.trial.file(), file);
  if (gone) {
    for (const FileCredit& credit : credits) {
      if (!takeBack(run.quota.file(), credit, file, group)) continue;
      bool own_file = toLower(credit.user) == toLower(file.user);
      lowered_quota.push_back(own_file ? file.user : credit.user);
    }
    run.credits.setCredits(file.path.local, {});
  }
  dropMemo(run.quota.file(), file);
  for (const std::string& user : lowered_quota) {
    checkQuotaPass(run.quota, run.stores, run.settings, run.out, user);
  }
}

}  // namespace

Next runPreDelete(Run& run) {
  DeletedFile file = deletedFile(run);
  if (excluded(run, file)) return Next::kEndRun;
  // Measured once the user is known to be in a store, so events of other
  // users never touch the file.
  for (StoreFile* store : {&run.trial.file(), &run.quota.file()}) {
    if (store->read(file.user).empty()) continue;
    store->write(file.memo_key + "=" + plainForm(run.files.fileSizeMB(file.path.local)));
  }
  return Next::kContinue;
}

Next runPostDelete(Run& run) {
  DeletedFile file = deletedFile(run);
  if (excluded(run, file)) return Next::kEndRun;
  std::vector<FileCredit> credits = run.credits.creditsOf(file.path.local);
  if (!credits.empty()) {
    settleCreditedDeletion(run, file, credits);
    return Next::kContinue;
  }
  std::string group = run.env(contract::kGroupVariable);
  settleDeletion(run.trial.file(), file, group, run.files);
  if (settleDeletion(run.quota.file(), file, group, run.files)) {
    checkQuotaPass(run.quota, run.stores, run.settings, run.out, file.user);
  }
  return Next::kContinue;
}

}  // namespace quarvel
