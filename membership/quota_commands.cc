#include "entry/handlers.h"

namespace quarvel {

Next runQuotaCommand(Run&) { return Next::kContinue; }

}  // namespace quarvel
