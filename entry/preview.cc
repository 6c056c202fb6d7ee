// preview [MM-DD-YYYY]: what a newday on that date (today when left out)
// would do, told before it happens. It runs the real newday on a second run
// whose platform keeps every change in memory (stores, the day file) and
// makes no connection, and whose admin session only notes the commands,
// then prints what that run would have logged and whom the next period
// would enrol.
#include <memory>

#include "config/text.h"
#include "dates/dates.h"
#include "entry/handlers.h"
#include "platform/overlay_platform.h"
#include "server/admin_session.h"
#include "stores/trial_store.h"
#include "userdb/server_files.h"

namespace quarvel {
namespace {

// The real platform with another date, whose file changes stay in memory:
// the newday run on it reads what it wrote before, as on disk, while the
// disk itself is never touched, not even for the temporary copies of the
// server's files. It prints nothing, sets no variable of the process and
// makes no connection.
class PreviewPlatform : public OverlayPlatform {
 public:
  PreviewPlatform(Platform& real, LocalDate date) : OverlayPlatform(real), date_(date) {}

  void setEnvironment(const std::string&, const std::string&) override {}
  std::unique_ptr<InstanceLock> acquireInstanceLock() override { return nullptr; }
  void writeOutput(const std::string&) override {}
  LocalDate today() override { return date_; }
  std::unique_ptr<TcpConnection> connectTcp(const std::string&, int, int,
                                            int* error_number) override {
    *error_number = 10013;  // access denied
    return nullptr;
  }
  void setWindowText(std::intptr_t, const std::string&) override {}

 private:
  LocalDate date_;
};

// The dry session, which also does to the server's files in memory what the
// server does on a command it accepts: a flag added goes into the user's
// file and a deletion marks it, so that the rest of the newday (the next
// period's enrolment) sees the accounts as the real newday will.
class PreviewSession : public DryAdminSession {
 public:
  explicit PreviewSession(Run& dry) : dry_(dry) {}

  SiteReply send(const std::string& command) override {
    SiteReply reply = DryAdminSession::send(command);
    const std::string verb = toUpper(commandWord(command, 2));
    const std::string name = commandWord(command, 3);
    if (verb == "CHANGE" && toUpper(commandWord(command, 4)) == "FLAGS") {
      const std::string flags = commandWord(command, 5);
      if (!flags.empty() && flags[0] == '+') changeUserFile(name, flags.substr(1), false);
    } else if (verb == "DELUSER") {
      changeUserFile(name, "", true);
    }
    return reply;
  }

 private:
  void changeUserFile(const std::string& name, const std::string& added, bool deleted) {
    std::string table;
    if (dry_.platform.readFile(dry_.settings.userTable(), &table) != FileError::kNone) return;
    IdTableEntry entry;
    if (!findIdTableEntry(table, name, &entry) || entry.id.empty()) return;
    const std::string path = dry_.settings.userFolder() + "\\" + entry.id;
    std::string text;
    if (dry_.platform.readFile(path, &text) != FileError::kNone) return;
    if (deleted) {
      text += "DeletedOn " + std::to_string(dry_.platform.utcSeconds()) + "\r\n";
    } else {
      std::size_t at = text.find("flags ");
      if (at == std::string::npos || (at > 0 && text[at - 1] != '\n')) return;
      std::size_t end = text.find_first_of("\r\n", at);
      if (end == std::string::npos) end = text.size();
      std::string flags = text.substr(at + 6, end - at - 6);
      for (char letter : added) {
        if (flags.find(letter) == std::string::npos) flags += letter;
      }
      text.replace(at + 6, end - at - 6, flags);
    }
    dry_.platform.replaceFile(path, text);
  }

  Run& dry_;
};

std::string statusName(const std::string& status) {
  if (status == QuotaStatus::kCounting) return "counting";
  if (status == QuotaStatus::kSuspended) return "on trial";
  if (status == QuotaStatus::kExempt) return "exempt";
  return "status " + status;
}

}  // namespace

Next runPreview(Run& run) {
  LocalDate date = run.platform.today();
  std::string given = run.word(2);
  if ((!given.empty() && !parseDate(given, &date)) || !run.word(3).empty()) {
    run.platform.writeErrorLine("preview: give the date as MM-DD-YYYY (for example " +
                                formatDate(run.platform.today()) + "), or none for today");
    return Next::kEndRun;
  }
  PreviewPlatform platform(run.platform, date);
  Run dry(platform);
  // The stores as the next run will find them: a commit a stopped run left
  // is finished in memory only.
  if (!dry.stores.finishInterruptedCommit()) return Next::kEndRun;
  dry.loadStartupSettings();
  std::vector<std::string> plan;
  dry.audit.captureInto(&plan);
  bool period_was_running = dry.quota.periodStarted();
  std::string starts_before = dry.quota.periodStarts();
  PreviewSession session(dry);
  newdayOn(dry, session);

  run.printLine("newday on " + formatDate(date) +
                " would do this (nothing is sent and nothing is changed now):");
  for (const std::string& line : plan) run.printLine(line);
  bool period_starts = dry.quota.periodStarted() &&
                       (!period_was_running || dry.quota.periodStarts() != starts_before);
  if (period_starts) {
    run.printLine("enrolled in the new period:");
    for (const std::string& name : dry.quota.listQuotaUsers()) {
      if (trimBlanks(name).empty()) continue;
      run.printLine("    " + name + " " + statusName(dry.quota.statusOf(name).text()));
    }
  }
  if (plan.empty()) run.printLine("nothing");
  return Next::kEndRun;
}

}  // namespace quarvel
