#include "entry/upload_event.h"

#include "config/numbers.h"
#include "config/text.h"
#include "entry/handlers.h"
#include "evaluation/quota_evaluation.h"
#include "evaluation/trial_evaluation.h"
#include "server/contract.h"
#include "stores/store_record.h"

namespace quarvel {

std::string uploadedFilePath(const std::string& command_line) {
  std::string rest = command_line.size() > 3 ? command_line.substr(3) : std::string();
  std::size_t open = rest.find('"');
  if (open == std::string::npos) return std::string();
  std::size_t close = rest.find('"', open + 1);
  std::string path =
      rest.substr(open + 1, close == std::string::npos ? std::string::npos : close - open - 1);
  path = replaceAll(path, "/", "\\");
  // Folding the leading pair too would turn \\server\share\x into a path on
  // the current drive, and the upload would count as nothing.
  std::string share_prefix = path.compare(0, 2, "\\\\") == 0 ? "\\\\" : "";
  return share_prefix + replaceAll(path.substr(share_prefix.size()), "\\\\", "\\");
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

 private:
  Files& files_;
  std::string path_;
  bool measured_ = false;
  double size_mb_ = 0;
};

// Adds the file's size to the user's record in one store and refreshes its
// group; false when the user has no record there.
bool creditUpload(StoreFile& store, const std::string& name, const std::string& group,
                  UploadedFile& file) {
  std::string value = store.read(name);
  if (value.empty()) return false;
  StoreRecord record = StoreRecord::parse(value).credited(file.sizeMB());
  record.group = group;
  store.write(record.entry(name));
  return true;
}

}  // namespace

Next runUpload(Run& run) {
  UploadedFile file(run.files, uploadedFilePath(run.command_line));
  std::string name = run.env(contract::kUserVariable);
  std::string group = run.env(contract::kGroupVariable);
  // Both credits come before the trial pass check, so that they reach the
  // disk in the commit before its announcement. Giving a suspended quota
  // record back keeps the credited amount and the new group, as crediting
  // after it would.
  bool on_trial = creditUpload(run.trial.file(), name, group, file);
  bool in_quota = creditUpload(run.quota.file(), name, group, file);
  if (on_trial) checkTrialPass(run, name);
  if (in_quota) checkQuotaPass(run, name);
  return Next::kContinue;
}

}  // namespace quarvel
