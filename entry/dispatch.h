// Start-up and dispatch of one run: the instance lock, the start-up
// settings, the excluded-folder check, the table of commands in their fixed
// order, and the exit sequence.
#pragma once

#include <string>
#include <vector>

#include "entry/run.h"

namespace quarvel {

enum class CommandTest {
  kWholeLine,        // the whole command line, any case, equals the name
  kWord,             // word 1, any case, equals the name
  kWordTwoOperands,  // as kWord, and words 2 and 3 are not empty
  kAlways,           // the handler looks at the command line itself
};

struct CommandRow {
  const char* name;
  CommandTest test;
  Next (*handler)(Run&);
};

// The fourteen rows, in dispatch order.
const std::vector<CommandRow>& commandTable();

bool rowMatches(const CommandRow& row, const std::string& command_line);

// True when `pwd` begins with one of the non-empty "|"-separated entries,
// compared without regard to case.
bool isExcluded(const std::string& excluded_dirs, const std::string& pwd);

// Whether the run is judged against EXCLUDED_DIRS by the folder of the
// file it is about (its handler checks that) instead of the caller's
// current folder: an upload that names its virtual path, and a deletion.
bool judgedByFileFolder(const std::string& command_line);

// True for a command that changes nothing on disk (a preview): it runs
// without the instance lock.
bool writesNothingToDisk(const std::string& command_line);

// Offers the command line to every row in order until a handler ends the
// run.
void dispatch(Run& run, const std::vector<CommandRow>& table);

// The whole run: lock, settings, excluded check, dispatch, exit sequence.
// Always gives exit code 0, except `check`, whose code says whether it
// found anything wrong.
int runProgram(Platform& platform);

}  // namespace quarvel
