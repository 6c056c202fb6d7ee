#include "entry/log_command.h"

#include <vector>

#include "config/file_errors.h"
#include "config/output.h"
#include "config/text.h"
#include "entry/run.h"
#include "stores/audit_log.h"

namespace quarvel {

bool isLogCommand(const std::string& command_line) {
  return toLower(commandWord(command_line, 1)) == "log";
}

void printUserLog(Platform& platform, const std::string& command_line) {
  std::string user = commandWord(command_line, 2);
  if (user.empty() || !commandWord(command_line, 3).empty()) {
    platform.writeErrorLine("log: give one user name, for example: quarvel log bob");
    return;
  }
  std::string folder = dataFolderFor(platform, command_line);
  std::vector<std::string> lines;
  FileError error = readUserHistory(platform, folder, user, &lines);
  if (error != FileError::kNone) {
    platform.writeErrorLine("log: the audit log in " + folder + " could not be read (error " +
                            std::to_string(runtimeErrorNumber(error)) + ")");
    return;
  }
  Output out(platform);
  for (const std::string& line : lines) out.printLine(line);
  if (lines.empty()) out.printLine("log: nothing about " + user + " in Quarvel.log");
}

}  // namespace quarvel
