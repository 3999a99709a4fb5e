#pragma once
// Installs and removals with /S: no window and no question. Every choice is
// the wizard's proposal on this machine unless a switch says otherwise; a
// question the wizard would ask gets its safe answer, and the run's log says
// which.
#include "RunLog.h"
#include "SetupSwitches.h"

// Returns the exit code (see ExitCode).
int RunSilentInstall(const std::string& programPath, const TSetupSwitches& switches, TRunLog& log);
