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
    : file_(files, contract::kTrialStoreFile, StoreRules{true, {kTrialDueKey, kTrialCountedKey}}) {}

std::optional<TrialRecord> TrialStore::member(const std::string& name) {
  std::string value = file_.read(name);
  if (value.empty()) return std::nullopt;
  return TrialRecord::parse(value);
}

std::vector<TrialMember> TrialStore::membersInFileOrder() {
  std::vector<TrialMember> members;
  for (const std::string& line : file_.readAllLines()) {
    StoreLine parts = StoreLine::split(line);
    std::string name = trimBlanks(parts.key);
    // A setup line the program does not know is no trial: it stays as it is.
    if (!parts.has_value || name.empty() || isTrialStoreKey(name) ||
        toLower(name).compare(0, 6, "setup_") == 0) {
      continue;
    }
    members.push_back({name, TrialRecord::parse(trimBlanks(replaceAll(parts.value, "\"", "")))});
  }
  return members;
}

long long TrialStore::countedLines() {
  long long count = 0;
  for (const std::string& line : file_.readAllLines()) {
    if (!isTrialStoreKey(StoreLine::split(line).key)) ++count;
  }
  return count;
}

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
