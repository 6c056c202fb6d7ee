#include "entry/handlers.h"

namespace quarvel {

Next runConnectionTest(Run&) { return Next::kContinue; }

}  // namespace quarvel
