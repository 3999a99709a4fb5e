// Where files land on the customer's machine.
#include "ProductChecker.h"

namespace ProductChecks {

void TChecker::CheckDestinations() {}

}  // namespace ProductChecks
