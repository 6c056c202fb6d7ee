#include "stores/trial_store.h"

#include "config/text.h"
#include "dates/dates.h"
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

bool isTrialStoreKey(const std::string& key) {
  return equalsIgnoringCase(trimBlanks(key), kTrialDueKey) ||
         equalsIgnoringCase(trimBlanks(key), kTrialCountedKey);
}

// The due list and the counted date are no trial users: they are left out
// of every listing.
TrialStore::TrialStore(Files& files)
    : file_(files, contract::kTrialStoreFile,
            StoreRules{true, {kTrialDueKey, kTrialCountedKey}}) {}

std::string TrialStore::countedDay() {
  std::string date = file_.read(kTrialCountedKey);
  return hasDateForm(date) ? date : std::string();
}

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
