#include "platform/instance_lock.h"

#include <gtest/gtest.h>

namespace quarvel {
namespace {

TEST(InstanceLock, TheMachineWideNameComesFirst) {
  EXPECT_EQ(instanceMutexNames(),
            (std::vector<std::string>{"Global\\QuarvelInstance", "QuarvelInstance"}));
}

// Each row: how the creator answers each name it is asked for, in order
// (a handle, or 0 and denied or not), and what comes out.
struct Answer {
  std::intptr_t handle;
  bool denied;
};
struct Row {
  const char* label;
  std::vector<Answer> answers;
  std::vector<std::string> asked;
  std::intptr_t handle;
  std::size_t notices;
};

TEST(InstanceLock, FallsBackToTheSessionNameOnlyWhenTheGlobalOneIsDenied) {
  const Row rows[] = {
      {"global works", {{7, false}}, {"Global\\QuarvelInstance"}, 7, 0},
      {"global denied",
       {{0, true}, {9, false}},
       {"Global\\QuarvelInstance", "QuarvelInstance"},
       9,
       1},
      {"global fails otherwise", {{0, false}}, {"Global\\QuarvelInstance"}, 0, 1},
      {"both denied", {{0, true}, {0, true}}, {"Global\\QuarvelInstance", "QuarvelInstance"}, 0, 2},
  };
  for (const Row& row : rows) {
    std::vector<std::string> asked;
    std::vector<std::string> notices;
    InstanceMutex got = openInstanceMutex(
        [&](const std::string& name, unsigned long* error, bool* denied) {
          Answer answer = row.answers.at(asked.size());
          asked.push_back(name);
          *error = answer.handle == 0 ? (answer.denied ? 5 : 87) : 0;
          *denied = answer.denied;
          return answer.handle;
        },
        &notices);
    EXPECT_EQ(asked, row.asked) << row.label;
    EXPECT_EQ(got.handle, row.handle) << row.label;
    EXPECT_EQ(got.name, row.asked.back()) << row.label;
    EXPECT_EQ(notices.size(), row.notices) << row.label;
  }
}

TEST(InstanceLock, NoticesNameTheLockAndTheOutcome) {
  std::vector<std::string> notices;
  openInstanceMutex(
      [](const std::string& name, unsigned long* error, bool* denied) -> std::intptr_t {
        *error = 5;
        *denied = true;
        return name == "QuarvelInstance" ? 3 : 0;
      },
      &notices);
  ASSERT_EQ(notices.size(), 1u);
  EXPECT_EQ(notices[0],
            "Quarvel: the instance lock Global\\QuarvelInstance is refused (access denied); "
            "using QuarvelInstance, which serialises runs of this logon session only");
}

}  // namespace
}  // namespace quarvel
