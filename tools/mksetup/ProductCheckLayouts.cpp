// Plug-in bundles and binaries as their hosts expect them.
#include "ProductChecker.h"

namespace ProductChecks {

void TChecker::CheckPluginLayouts() {}

}  // namespace ProductChecks
