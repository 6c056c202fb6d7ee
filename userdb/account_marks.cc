#include "userdb/account_marks.h"

#include <cerrno>
#include <cstdlib>
#include <string_view>

#include "config/text.h"
#include "dates/dates.h"
#include "userdb/server_files.h"

namespace quarvel {
namespace {

constexpr long long kSecondsPerDay = 86400;

long long readMark(const std::vector<std::string>& words) {
  if (words.size() < 2) return 0;
  errno = 0;
  char* end = nullptr;
  long long value = std::strtoll(words[1].c_str(), &end, 10);
  if (errno != 0 || end == words[1].c_str() || *end != '\0') return 0;
  return value;
}

}  // namespace

AccountMarks parseAccountMarks(const std::string& user_file_text) {
  AccountMarks marks;
  forEachServerLine(user_file_text, [&](std::string_view line) {
    // Only the two marked lines are copied and cut into words (a stats
    // line has 75).
    const std::string_view keyword = line.substr(0, line.find(' '));
    if (equalsIgnoringCase(keyword, "deletedon")) {
      marks.deleted_on = readMark(splitAt(std::string(line), " "));
    } else if (equalsIgnoringCase(keyword, "expiresat")) {
      marks.expires_at = readMark(splitAt(std::string(line), " "));
    }
  });
  return marks;
}

AccountState accountStateOn(const AccountMarks& marks, const LocalDate& today) {
  if (marks.deleted_on != 0) return AccountState::kDeleted;
  if (marks.expires_at <= 0) return AccountState::kActive;
  const long long expiry_day = dayNumber("01-01-1970") + marks.expires_at / kSecondsPerDay;
  return expiry_day < dayNumber(formatDate(today)) ? AccountState::kExpired : AccountState::kActive;
}

std::string accountStateWord(AccountState state) {
  switch (state) {
    case AccountState::kDeleted:
      return "deleted";
    case AccountState::kExpired:
      return "expired";
    case AccountState::kActive:
      break;
  }
  return std::string();
}

}  // namespace quarvel
