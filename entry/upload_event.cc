#include "entry/upload_event.h"

#include "config/numbers.h"
#include "config/text.h"
#include "entry/event_records.h"
#include "entry/handlers.h"
#include "evaluation/quota_evaluation.h"
#include "evaluation/trial_evaluation.h"
#include "server/contract.h"

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

// Adds the file's size to the user's record in one store and refreshes its
// group; false when the user has no record there.
bool creditUpload(StoreFile& store, const std::string& name, const std::string& group,
                  double size_mb) {
  std::string record = store.read(name);
  if (record.empty()) return false;
  double uploaded = size_mb + readNumber(field(record, "::", 1));
  store.write(recordEntry(name, plainForm(uploaded), field(record, "::", 2), group));
  return true;
}

}  // namespace

Next runUpload(Run& run) {
  std::string path = uploadedFilePath(run.command_line);
  std::string name = run.env(contract::kUserVariable);
  std::string group = run.env(contract::kGroupVariable);
  double size_mb = run.files.fileSizeMB(path);
  if (creditUpload(run.trial.file(), name, group, size_mb)) checkTrialPass(run, name);
  // Read after the trial pass check, which may have given a suspended quota
  // record back.
  if (creditUpload(run.quota.file(), name, group, size_mb)) checkQuotaPass(run, name);
  return Next::kContinue;
}

}  // namespace quarvel
