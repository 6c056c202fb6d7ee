// Any bytes as each of the three stores, built as a run builds them (the
// trial, quota and credit stores over one data folder, committed together):
// reading, listing, members, memos, changes, a commit and a second reading
// of what was committed, and nothing reads or writes out of bounds. Any
// bytes as a member record: a rewrite keeps them exactly once they hold
// three fields. Thin on purpose: it drives the stores and the records
// through their public interfaces only.
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "config/files.h"
#include "config/output.h"
#include "config/text.h"
#include "platform/fake_platform.h"
#include "stores/credit_store.h"
#include "stores/quota_store.h"
#include "stores/store_record.h"
#include "stores/stores.h"
#include "stores/trial_store.h"

namespace {

using namespace quarvel;

// The first key of the text, as far as a key can be told: any name a
// record could have.
std::string firstKey(const std::string& text) {
  std::string line = text.substr(0, text.find_first_of("\r\n"));
  return line.substr(0, line.find('='));
}

void readEverything(TrialStore& trial, QuotaStore& quota, CreditStore& credits,
                    const std::string& key) {
  trial.readAllTrialLines();
  for (const std::string& name : trial.listTrialUsers()) trial.member(name);
  trial.member(key);
  trial.isDue(key);
  trial.dueUsers();
  trial.countedDay();
  for (const std::string& name : quota.listQuotaUsers()) quota.member(name);
  quota.member(key);
  quota.periodStarts();
  quota.periodEnds();
  quota.periodStarted();
  quota.pendingUsers();
  credits.creditsOf(key);
  credits.creditsOf("C:\\site\\incoming\\a.rar");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  std::string text(reinterpret_cast<const char*>(data), size);
  FakePlatform platform;
  for (const char* name : {"Quarvel.dat", "Velkrin.dat", "Credits.dat"}) {
    platform.addFile(std::string("C:\\site\\") + name, text);
  }
  Output out(platform);
  Files files(platform, out, "C:\\site");
  TrialStore trial(files);
  QuotaStore quota(files);
  CreditStore credits(files);
  Stores stores(platform, trial, quota, credits);
  const std::string key = firstKey(text);

  readEverything(trial, quota, credits, key);
  if (std::optional<TrialRecord> record = trial.member(key)) trial.putMember("bob", *record);
  trial.removeMember(key);
  trial.setDueUsers({"bob", key});
  trial.setCountedDay("12-15-2026");
  if (std::optional<QuotaRecord> record = quota.member("bob")) quota.putMember(key, *record);
  quota.setPendingUsers({key});
  quota.setPeriodStarts("12-01-2026");
  std::vector<FileCredit> credited = credits.creditsOf(key);
  credited.push_back({key, 1.5});
  credits.setCredits(key, credited);
  credits.setCredits("C:\\site\\incoming\\a.rar", {{"bob", 2}});
  credits.sweep(files, 3, key);
  stores.commitAtEnd();

  // What was committed reads back through fresh stores, as the next run's.
  Files next_files(platform, out, "C:\\site");
  TrialStore next_trial(next_files);
  QuotaStore next_quota(next_files);
  CreditStore next_credits(next_files);
  readEverything(next_trial, next_quota, next_credits, key);

  std::string encoded = TrialRecord::parse(text).encode();
  bool three_fields = splitAt(text, "::").size() >= 3;
  if ((three_fields && encoded != text) || TrialRecord::parse(encoded).encode() != encoded ||
      QuotaRecord::parse(text).encode() != encoded) {
    __builtin_trap();
  }
  return 0;
}
