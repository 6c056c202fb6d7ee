#include "entry/handlers.h"

namespace quarvel {

Next runQstart(Run&) { return Next::kContinue; }

Next runQnow(Run&) { return Next::kEndRun; }

Next runCheckup(Run&) { return Next::kContinue; }

Next runNewday(Run&) { return Next::kEndRun; }

}  // namespace quarvel
