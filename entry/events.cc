#include "entry/handlers.h"

namespace quarvel {

Next runUpload(Run&) { return Next::kContinue; }

Next runNuke(Run&) { return Next::kContinue; }

Next runUnnuke(Run&) { return Next::kContinue; }

Next runPreDelete(Run&) { return Next::kContinue; }

Next runPostDelete(Run&) { return Next::kContinue; }

Next runStats(Run&) { return Next::kContinue; }

}  // namespace quarvel
