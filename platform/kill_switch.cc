#include "platform/kill_switch.h"

#include <cstdlib>
#include <cstring>

namespace quarvel {

KillSwitch::KillSwitch(const char* setting) {
  if (setting == nullptr) return;
  const char kRenames[] = "rename:";
  renames_only_ = std::strncmp(setting, kRenames, std::strlen(kRenames)) == 0;
  if (renames_only_) setting += std::strlen(kRenames);
  char* end = nullptr;
  long value = std::strtol(setting, &end, 10);
  if (end != setting && *end == '\0' && value > 0) fire_at_ = value;
}

bool KillSwitch::fires(bool is_rename) {
  if (fire_at_ == 0 || (renames_only_ && !is_rename)) return false;
  return ++changes_ == fire_at_;
}

}  // namespace quarvel
