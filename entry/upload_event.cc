#include "entry/upload_event.h"

#include <vector>

#include "config/numbers.h"
#include "config/text.h"
#include "entry/dispatch.h"
#include "entry/handlers.h"
#include "evaluation/credits.h"
#include "evaluation/quota_evaluation.h"
#include "evaluation/trial_evaluation.h"
#include "server/contract.h"

namespace quarvel {

std::string normalisedLocalPath(const std::string& raw) {
  std::string path = replaceAll(raw, "/", "\\");
  // Folding the leading pair too would turn \\server\share\x into a path on
  // the current drive, and the upload would count as nothing.
  std::string share_prefix = path.compare(0, 2, "\\\\") == 0 ? "\\\\" : "";
  return share_prefix + replaceAll(path.substr(share_prefix.size()), "\\\\", "\\");
}

namespace {

// The text between the (2n-1)th and the (2n)th double quote after the
// command word, to the end when the closing quote is missing; false when
// the opening quote is not there.
bool quotedArgument(const std::string& command_line, int n, std::string* argument) {
  std::string rest = command_line.size() > 3 ? command_line.substr(3) : std::string();
  std::size_t from = 0;
  for (int i = 1; i <= n; ++i) {
    std::size_t open = from < rest.size() ? rest.find('"', from) : std::string::npos;
    if (open == std::string::npos) return false;
    std::size_t close = rest.find('"', open + 1);
    if (i == n) {
      *argument = rest.substr(open + 1, close == std::string::npos ? close : close - open - 1);
      return true;
    }
    if (close == std::string::npos) return false;
    from = close + 1;
  }
  return false;
}

}  // namespace

std::string uploadedFilePath(const std::string& command_line) {
  std::string path;
  return quotedArgument(command_line, 1, &path) ? normalisedLocalPath(path) : std::string();
}

std::string uploadedVirtualPath(const std::string& command_line) {
  std::string path;
  quotedArgument(command_line, 2, &path);
  return path;
}

namespace {

// The uploaded file, measured on first need only: uploads of users in
// neither store never touch it.
class UploadedFile {
 public:
  UploadedFile(Files& files, std::string path) : files_(files), path_(std::move(path)) {}
  double sizeMB() {
    if (!measured_) size_mb_ = files_.fileSizeMB(path_);
    measured_ = true;
    return size_mb_;
  }
  const std::string& path() const { return path_; }

 private:
  Files& files_;
  std::string path_;
  bool measured_ = false;
  double size_mb_ = 0;
};

// Entries of the uploaded file's ledger shard looked at by each upload (see
// sweep).
constexpr std::size_t kSweptPerUpload = 2;

}  // namespace

Next runUpload(Run& run) {
  // The file's own folder decides whether it counts (the caller's current
  // folder says nothing about STOR /elsewhere/x.rar).
  std::string virtual_path = uploadedVirtualPath(run.command_line);
  if (!virtual_path.empty() && isExcluded(run.settings.excludedDirs(), virtual_path)) {
    return Next::kEndRun;
  }
  UploadedFile file(run.files, uploadedFilePath(run.command_line));
  std::string name = run.env(contract::kUserVariable);
  std::string group = run.env(contract::kGroupVariable);
  bool on_trial = run.trial.isOnTrial(name);
  bool in_quota = run.quota.member(name).has_value();
  if (!on_trial && !in_quota) return Next::kContinue;

  std::vector<FileCredit> credits = run.credits.creditsOf(file.path());
  double amount =
      uploadCredit(file.sizeMB(), creditGoingTo(run.trial, run.quota, name, run.today()), &credits);
  // Both credits come before the trial pass check, so that they reach the
  // disk in the commit before its announcement. Giving a suspended quota
  // record back keeps the credited amount and the new group, as crediting
  // after it would.
  creditMember(run.trial, name, group, amount);
  creditMember(run.quota, name, group, amount);
  run.credits.sweep(run.files, kSweptPerUpload, file.path());
  run.credits.setCredits(file.path(), credits);
  if (on_trial) checkTrialPass(run.records(), run.out, run.trialPass(), name);
  if (in_quota) checkQuotaPass(run.quota, run.stores, run.settings, run.out, name);
  return Next::kContinue;
}

}  // namespace quarvel
