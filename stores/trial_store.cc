#include "stores/trial_store.h"

#include "config/text.h"
#include "server/contract.h"

namespace quarvel {

std::vector<std::string> splitNames(const std::string& value) {
  std::vector<std::string> names;
  for (const std::string& name : splitAt(value, "::")) {
    if (!trimBlanks(name).empty()) names.push_back(trimBlanks(name));
  }
  return names;
}

std::string joinNames(const std::vector<std::string>& names, const std::string& separator) {
  std::string joined;
  for (const std::string& name : names) joined += (joined.empty() ? "" : separator) + name;
  return joined;
}

// The due list is no trial user: it is left out of every listing.
TrialStore::TrialStore(Files& files)
    : file_(files, contract::kTrialStoreFile, StoreRules{true, {kTrialDueKey}}) {}

bool TrialStore::isDue(const std::string& name) {
  for (const std::string& due : dueUsers()) {
    if (equalsIgnoringCase(due, trimBlanks(name))) return true;
  }
  return false;
}

void TrialStore::setDueUsers(const std::vector<std::string>& names) {
  // Unchanged: no rewrite.
  if (joinNames(names) == file_.read(kTrialDueKey)) return;
  file_.write(std::string(kTrialDueKey) + "=" + joinNames(names));
}

}  // namespace quarvel
