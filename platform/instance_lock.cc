#include "platform/instance_lock.h"

namespace quarvel {

const char kInstanceLockFileName[] = "QuarvelInstance.lock";

const std::vector<std::string>& instanceMutexNames() {
  static const std::vector<std::string> names = {"Global\\QuarvelInstance", "QuarvelInstance"};
  return names;
}

InstanceMutex openInstanceMutex(const MutexCreator& create, std::vector<std::string>* notices) {
  const std::vector<std::string>& names = instanceMutexNames();
  InstanceMutex result;
  for (std::size_t i = 0; i < names.size(); ++i) {
    unsigned long error = 0;
    bool denied = false;
    result.name = names[i];
    result.handle = create(names[i], &error, &denied);
    if (result.handle != 0) return result;
    bool last = i + 1 == names.size();
    if (!denied || last) {
      notices->push_back("Quarvel: cannot create the instance lock " + names[i] + " (error " +
                         std::to_string(error) + "); the run did nothing");
      return result;
    }
    notices->push_back("Quarvel: the instance lock " + names[i] +
                       " is refused (access denied); using " + names[i + 1] +
                       ", which serialises runs of this logon session only");
  }
  return result;
}

}  // namespace quarvel
