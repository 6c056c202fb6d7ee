#include "entry/handlers.h"

namespace quarvel {

Next runTrialCommand(Run&) { return Next::kContinue; }

}  // namespace quarvel
