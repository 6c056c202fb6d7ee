// NUKE and UNNUKE: a release's amount (in kilobytes) taken off a user's
// uploaded total or given back. Nothing is printed and no pass is checked.
#include "config/numbers.h"
#include "config/text.h"
#include "entry/handlers.h"
#include "entry/upload_event.h"
#include "evaluation/credits.h"

namespace quarvel {
namespace {

// After the third word, blanks and double quotes around it taken off; the
// folder normalised as an upload's path, without a final separator.
std::string releaseFolder(const std::string& command_line) {
  std::size_t at = 0;
  for (int word = 0; word < 3; ++word) {
    at = command_line.find_first_not_of(' ', at);
    if (at == std::string::npos) return std::string();
    at = command_line.find(' ', at);
    if (at == std::string::npos) return std::string();
  }
  std::string release = trimBlanks(command_line.substr(at));
  if (release.size() >= 2 && release.front() == '"' && release.back() == '"') {
    release = release.substr(1, release.size() - 2);
  }
  release = normalisedLocalPath(release);
  while (release.size() > 1 && release.back() == '\\') release.pop_back();
  return release;
}

// Words 2 and 3 are the user (the key keeps this spelling) and kilobytes;
// the rest of the line, when given, the release's local folder, whose
// files the credit ledger marks as nuked (or no longer nuked), so that
// their deletion does not take their credit a second time.
void applyNuke(Run& run, int sign) {
  std::string name = run.word(2);
  double amount_mb = roundOneDecimal(readNumber(run.word(3)) / 1024);
  applyNukeChange(run.trial, run.quota, name, sign * amount_mb);
  std::string release = releaseFolder(run.command_line);
  if (!release.empty()) run.credits.markNuked(release, sign < 0);
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
