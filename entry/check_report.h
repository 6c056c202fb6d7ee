// What `quarvel check` prints: problems, each on a line of its own that
// starts with "PROBLEM ", warnings that start with "WARNING ", and indented
// notes that only describe. The
// problems are counted for the summary line and the exit code.
#pragma once

#include <string>
#include <vector>

#include "config/config_lines.h"
#include "entry/run.h"

namespace quarvel {

class CheckReport {
 public:
  CheckReport(Run& run, std::vector<ConfigLine> lines) : run_(run), lines_(std::move(lines)) {}

  void problem(const std::string& text) {
    ++problems_;
    run_.printLine("PROBLEM " + text);
  }
  void note(const std::string& text) { run_.printLine("  " + text); }
  // Sound, but the operator should know: not counted as a problem.
  void warning(const std::string& text) { run_.printLine("WARNING " + text); }

  // "KEY (line N)" (or "KEY (not set)") to say where a value came from.
  std::string where(const std::string& key) const {
    int line = lineOfKey(lines_, key);
    return key + (line > 0 ? " (line " + std::to_string(line) + ")" : " (not set)");
  }

  int problems() const { return problems_; }
  const std::vector<ConfigLine>& lines() const { return lines_; }

 private:
  Run& run_;
  std::vector<ConfigLine> lines_;
  int problems_ = 0;
};

// The admin login as the program makes it, the server's replies shown, and
// whether the account may kick, delete and change flags.
void checkAdminLogin(Run& run, CheckReport& report);

}  // namespace quarvel
