// preview [MM-DD-YYYY]: what a newday on that date (today when left out)
// would do, told before it happens. It runs the real newday on a second run
// whose platform keeps every change in memory (stores, the day file) and
// makes no connection, and whose admin session only notes the commands,
// then prints what that run would have logged and whom the next period
// would enrol.
#include <map>
#include <memory>

#include "config/text.h"
#include "dates/dates.h"
#include "entry/handlers.h"
#include "server/admin_session.h"
#include "stores/trial_store.h"

namespace quarvel {
namespace {

// The real platform with another date, whose file changes stay in memory:
// the newday run on it reads what it wrote before, as on disk, while the
// disk itself is never touched. Connections always fail. Temporary copies
// of the server's files (".tmp", read and removed at once) are the one
// thing made for real, as reading the user database needs them.
class PreviewPlatform : public Platform {
 public:
  PreviewPlatform(Platform& real, LocalDate date) : real_(real), date_(date) {}

  std::string commandLine() override { return real_.commandLine(); }
  std::string environment(const std::string& name) override { return real_.environment(name); }
  void setEnvironment(const std::string&, const std::string&) override {}
  std::string currentFolder() override { return real_.currentFolder(); }
  std::string programFolder() override { return real_.programFolder(); }
  std::unique_ptr<InstanceLock> acquireInstanceLock() override { return nullptr; }
  void writeOutput(const std::string&) override {}
  void showErrorCode(long code) override { real_.showErrorCode(code); }
  void writeErrorLine(const std::string& text) override { real_.writeErrorLine(text); }
  LocalDate today() override { return date_; }
  std::int64_t monotonicMs() override { return real_.monotonicMs(); }
  std::int64_t utcSeconds() override { return real_.utcSeconds(); }
  FileError probeFile(const std::string& path) override {
    const Written* written = find(path);
    if (written == nullptr) return real_.probeFile(path);
    return written->removed ? FileError::kNotFound : FileError::kNone;
  }
  FileError readFile(const std::string& path, std::string* contents) override {
    const Written* written = find(path);
    if (written == nullptr) return real_.readFile(path, contents);
    if (written->removed) return FileError::kNotFound;
    *contents = written->contents;
    return FileError::kNone;
  }
  bool endOfFileCharacterEndsText() override { return real_.endOfFileCharacterEndsText(); }
  // A file changed in memory has no identity on disk.
  bool fileIdentity(const std::string& path, FileIdentity* identity) override {
    return find(path) == nullptr && real_.fileIdentity(path, identity);
  }
  bool fileSize(const std::string& path, std::uint64_t* size) override {
    const Written* written = find(path);
    if (written == nullptr) return real_.fileSize(path, size);
    if (written->removed) return false;
    *size = written->contents.size();
    return true;
  }
  FileError copyFile(const std::string& from, const std::string& to) override {
    return isCopy(to) ? real_.copyFile(from, to) : FileError::kAccessDenied;
  }
  FileError removeFile(const std::string& path) override {
    if (isCopy(path)) return real_.removeFile(path);
    FileError error = probeFile(path);
    if (error == FileError::kNone) written_[path] = Written{true, std::string()};
    return error;
  }
  FileError replaceFile(const std::string& path, const std::string& contents) override {
    written_[path] = Written{false, contents};
    return FileError::kNone;
  }
  FileError appendFile(const std::string&, const std::string&) override {
    return FileError::kAccessDenied;
  }
  FileError syncFile(const std::string&) override { return FileError::kAccessDenied; }
  bool anyEntryMatches(const std::string& prefix) override {
    return real_.anyEntryMatches(prefix);
  }
  std::unique_ptr<BinaryFile> openForReading(const std::string& path, FileError* error) override {
    return real_.openForReading(path, error);
  }
  std::unique_ptr<BinaryFile> createForWriting(const std::string&, FileError* error) override {
    *error = FileError::kAccessDenied;
    return nullptr;
  }
  std::unique_ptr<TcpConnection> connectTcp(const std::string&, int, int,
                                            int* error_number) override {
    *error_number = 10013;  // access denied
    return nullptr;
  }
  void setWindowText(std::intptr_t, const std::string&) override {}

 private:
  struct Written {
    bool removed;
    std::string contents;
  };

  const Written* find(const std::string& path) const {
    auto it = written_.find(path);
    return it == written_.end() ? nullptr : &it->second;
  }
  static bool isCopy(const std::string& path) {
    return path.size() > 4 && toLower(path.substr(path.size() - 4)) == ".tmp";
  }

  Platform& real_;
  LocalDate date_;
  std::map<std::string, Written> written_;
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
  dry.loadStartupSettings();
  std::vector<std::string> plan;
  dry.audit.captureInto(&plan);
  bool period_was_running = dry.quota.periodStarted();
  std::string starts_before = dry.quota.periodStarts();
  DryAdminSession session;
  newdayOn(dry, session);

  run.printLine("newday on " + formatDate(date) +
                " would do this (nothing is sent and nothing is changed now):");
  for (const std::string& line : plan) run.printLine(line);
  bool period_starts = dry.quota.periodStarted() &&
                       (!period_was_running ||
                        dry.quota.periodStarts() != starts_before);
  if (period_starts) {
    run.printLine("enrolled in the new period:");
    for (const std::string& name : dry.quota.listQuotaUsers()) {
      if (trimBlanks(name).empty()) continue;
      run.printLine("    " + name + " " +
                    statusName(dry.quota.member(name).second));
    }
  }
  if (plan.empty()) run.printLine("nothing");
  return Next::kEndRun;
}

}  // namespace quarvel
