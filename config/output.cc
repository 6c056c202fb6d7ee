#include "config/output.h"

namespace quarvel {

void Output::printLine(const std::string& text) { platform_.writeOutput(text + "\r\n"); }

}  // namespace quarvel
