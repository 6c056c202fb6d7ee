// A test's way to stop a run at a chosen change of the disk as a kill
// would: with QUARVEL_TEST_KILL_BEFORE_DISK_CHANGE=N in the environment,
// the process ends at once (exit code 137, nothing flushed, nothing
// cleaned up) just before its Nth change of a file (a write of a new or
// replaced file, a rename, a removal); with "rename:N", just before its
// Nth rename of one file onto another. Without the variable, as in every
// real use, it never fires.
#pragma once

namespace quarvel {

class KillSwitch {
 public:
  // `setting` is the variable's value (null when unset).
  explicit KillSwitch(const char* setting);
  // Counts a change of the disk; true when the process must end before it.
  bool fires(bool is_rename);

 private:
  long fire_at_ = 0;  // 0: never
  bool renames_only_ = false;
  long changes_ = 0;
};

inline constexpr char kKillSwitchVariable[] = "QUARVEL_TEST_KILL_BEFORE_DISK_CHANGE";
inline constexpr int kKilledExitCode = 137;

}  // namespace quarvel
