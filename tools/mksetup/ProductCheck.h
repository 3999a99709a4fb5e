#pragma once
// `mksetup check`: reads a product folder with the installer's own rules and
// reports, compiler-style, what would stop the installer (errors) and what is
// legal but almost certainly a mistake (warnings).
#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "ProgramVersion.h"

struct TDiagnostic {
    std::string File;
    int Line = 1;
    bool Error = false;
    std::string Text;
};

// All diagnostics of the product folder, in file and line order. With a
// version, [InstalledFiles] is checked against its major number too.
std::vector<TDiagnostic> CheckProduct(const std::string& folder, const std::optional<TProgramVersion>& version);

// Prints "FILE:LINE: error|warning: text" lines and a summary; returns the
// number of errors (warnings count as errors with `warningsAreErrors`).
int ReportDiagnostics(const std::vector<TDiagnostic>& diagnostics, bool warningsAreErrors, std::ostream& out);
