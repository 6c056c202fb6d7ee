// The record text the events and membership commands write back:
// key=uploaded::second field::group, where the second field is the days left
// of a trial record or the status of a quota record.
#pragma once

#include <string>

namespace quarvel {

inline std::string recordEntry(const std::string& key, const std::string& uploaded,
                               const std::string& second, const std::string& group) {
  return key + "=" + uploaded + "::" + second + "::" + group;
}

}  // namespace quarvel
