#include "entry/delete_events.h"

#include <vector>

#include "config/numbers.h"
#include "config/text.h"
#include "entry/dispatch.h"
#include "entry/handlers.h"
#include "entry/upload_event.h"
#include "evaluation/credits.h"
#include "evaluation/quota_evaluation.h"
#include "server/contract.h"

namespace quarvel {

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

// The command word, a blank, a four-letter verb and a blank come first:
// "PREDL DELE a.zip" names a.zip.
Deletion deletionOf(Run& run, DeletedPath* path) {
  std::string name = run.command_line.size() > 11 ? run.command_line.substr(11) : std::string();
  *path =
      resolveDeletedPath(name, run.env(contract::kPathVariable), run.env(contract::kPwdVariable));
  return Deletion{run.env(contract::kUserVariable), run.env(contract::kGroupVariable), name,
                  path->local};
}

bool excluded(Run& run, const DeletedPath& path) {
  return !path.virtual_.empty() && isExcluded(run.settings.excludedDirs(), path.virtual_);
}

}  // namespace

Next runPreDelete(Run& run) {
  DeletedPath path;
  Deletion deletion = deletionOf(run, &path);
  if (excluded(run, path)) return Next::kEndRun;
  noteSizeBeforeDeletion(run.trial, run.quota, run.files, deletion);
  return Next::kContinue;
}

// RENAME RNFR <name> and RENAME RNTO <name>, after the server's RNFR and
// RNTO: the source is noted for the user, and the target takes over its
// credit entries (see settleRename). The name is resolved as a deletion's.
Next runRename(Run& run) {
  std::string verb = toUpper(run.word(2));
  if (verb != "RNFR" && verb != "RNTO") return Next::kContinue;
  std::string name = run.command_line.size() > 12 ? run.command_line.substr(12) : std::string();
  if (name.empty()) return Next::kContinue;
  DeletedPath path =
      resolveDeletedPath(name, run.env(contract::kPathVariable), run.env(contract::kPwdVariable));
  std::string user = run.env(contract::kUserVariable);
  if (verb == "RNFR") {
    run.credits.noteRenameSource(user, path.local);
    return Next::kContinue;
  }
  std::string from = run.credits.takeRenameSource(user);
  if (from.empty()) return Next::kContinue;
  Deletion mover{user, run.env(contract::kGroupVariable), name, path.local};
  for (const std::string& member : settleRename(run.trial, run.quota, run.credits, mover, from,
                                                path.local, excluded(run, path), run.today())) {
    checkQuotaPass(run.quota, run.stores, run.settings, run.out, member);
  }
  return Next::kContinue;
}

Next runPostDelete(Run& run) {
  DeletedPath path;
  Deletion deletion = deletionOf(run, &path);
  if (excluded(run, path)) return Next::kEndRun;
  for (const std::string& user :
       settleDeletion(run.trial, run.quota, run.credits, run.files, deletion, run.today())) {
    checkQuotaPass(run.quota, run.stores, run.settings, run.out, user);
  }
  return Next::kContinue;
}

}  // namespace quarvel
