#include "entry/handlers.h"

namespace quarvel {

Next runIrcCommand(Run&) { return Next::kContinue; }

}  // namespace quarvel
