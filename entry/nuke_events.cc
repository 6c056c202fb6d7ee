// NUKE and UNNUKE: a release's amount (in kilobytes) taken off a user's
// uploaded total or given back. Nothing is printed and no pass is checked.
#include "config/numbers.h"
#include "config/text.h"
#include "entry/handlers.h"
#include "evaluation/credits.h"

namespace quarvel {
namespace {

// Words 2 and 3 are the user (the key keeps this spelling) and kilobytes.
void applyNuke(Run& run, int sign) {
  std::string name = run.word(2);
  double amount_mb = roundOneDecimal(readNumber(run.word(3)) / 1024);
  applyNukeChange(run.trial, run.quota, name, sign * amount_mb);
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
