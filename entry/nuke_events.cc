// NUKE and UNNUKE: a release's amount (in kilobytes) taken off a user's
// uploaded total or given back. Nothing is printed and no pass is checked.
#include "config/numbers.h"
#include "config/text.h"
#include "entry/handlers.h"
#include "stores/store_record.h"

namespace quarvel {
namespace {

template <class Store>
void adjustUploaded(Store& store, const std::string& name, double change_mb) {
  auto record = store.member(name);
  if (!record) return;
  record->uploaded =
      StoredNumber::plain(roundOneDecimal(saturatingSum(record->uploaded.value(), change_mb)));
  store.putMember(name, *record);
}

// Words 2 and 3 are the user (the key keeps this spelling) and kilobytes.
void applyNuke(Run& run, int sign) {
  std::string name = run.word(2);
  double amount_mb = roundOneDecimal(readNumber(run.word(3)) / 1024);
  adjustUploaded(run.trial, name, sign * amount_mb);
  adjustUploaded(run.quota, name, sign * amount_mb);
}

}  // namespace

Next runNuke(Run& run) {
  applyNuke(run, -1);
  return Next::kContinue;
}

Next runUnnuke(Run& run) {
  applyNuke(run, +1);
  return Next::kContinue;
}

}  // namespace quarvel
