// Standard output, line by line.
#pragma once

#include <string>

#include "platform/platform.h"

namespace quarvel {

class Output {
 public:
  explicit Output(Platform& platform) : platform_(platform) {}

  // Writes the text and CR LF in one write. A text that holds CR LF itself
  // goes out in the same single write.
  void printLine(const std::string& text);

 private:
  Platform& platform_;
};

}  // namespace quarvel
