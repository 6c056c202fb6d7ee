#include "stores/counted_day.h"

#include "config/text.h"
#include "dates/dates.h"
#include "server/contract.h"

namespace quarvel {
namespace {

constexpr char kCountedKey[] = "counted";

// A date as newday writes it: MM-DD-YYYY with digits where digits belong.
bool isDate(const std::string& text) {
  if (text.size() != 10 || text[2] != '-' || text[5] != '-') return false;
  for (std::size_t i : {0, 1, 3, 4, 6, 7, 8, 9}) {
    if (text[i] < '0' || text[i] > '9') return false;
  }
  return true;
}

}  // namespace

std::string CountedDay::read() {
  std::string bytes;
  if (files_.platform().readFile(files_.dataPath(contract::kCountedDayFile), &bytes) !=
      FileError::kNone) {
    return std::string();
  }
  for (const std::string& line : splitTextLines(bytes)) {
    if (!equalsIgnoringCase(trimBlanks(field(line, "=", 1)), kCountedKey)) continue;
    std::string date = trimBlanks(field(line, "=", 2));
    return isDate(date) ? date : std::string();
  }
  return std::string();
}

bool CountedDay::write(const std::string& date) {
  return files_.platform().replaceFile(files_.dataPath(contract::kCountedDayFile),
                                       std::string(kCountedKey) + "=" + date + "\r\n") ==
         FileError::kNone;
}

int daysToCount(const std::string& last_counted, const std::string& today) {
  if (last_counted.empty()) return 1;
  int days = daysBetween(today, last_counted);
  if (days < 0) return 1;
  return days;
}

}  // namespace quarvel
