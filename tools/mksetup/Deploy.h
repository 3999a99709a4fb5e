#pragma once
// What a studio's IT needs to roll an installer out: `mksetup winget` writes a
// winget manifest set for it, `mksetup deploy` prints the command lines, return
// codes and detection rule to paste into Intune, SCCM or a script. Both read
// the installer as list and verify do, and the product's facts from the
// Setup.ini it carries, with the installer's own rules.
#include <ostream>
#include <string>
#include <vector>

// One exit code of Setup.exe and Uninst.exe, as a deployment tool is told of it.
struct TDeployReturnCode {
    int Code;
    // The winget manifest's ReturnResponse; null for 0 and 1, which winget
    // takes as success and failure by itself.
    const char* WingetResponse;
    const char* Meaning;
};

// Every exit code the programs end with, in order: the table of README's
// "Unattended installs and removals", which winget, Intune and SCCM are given.
const std::vector<TDeployReturnCode>& DeployReturnCodes();

// The manifest schema the winget command writes.
constexpr char WingetManifestVersion[] = "1.12.0";

struct TWingetOptions {
    std::string Installer;
    std::string Url;  // where users download it: the manifest's InstallerUrl
    // Where the three files go; empty for manifests/<letter>/<Publisher>/
    // <Product>/<Version> below the current folder, the layout of winget's
    // community repository.
    std::string OutputFolder;
};

// Writes the version, installer and en-US default locale manifests of the
// installer and names each file on `out`. A value Setup.ini does not give is
// written as a "<fill in: ...>" placeholder and named in a warning on `err`.
// Returns the exit code, 0. A file that is no installer, a Setup.dat and an
// installer with volume files (winget downloads one file) raise ESetupError.
int WriteWingetManifests(const TWingetOptions& options, std::ostream& out, std::ostream& err);

// Prints the install and uninstall command lines for each scope the product
// allows, the return codes, and the detection rule with a PowerShell script
// that does the same. Returns the exit code, 0; ESetupError as above, but a
// Setup.dat and volumes are fine (they ship beside the program).
int PrintDeployment(const std::string& installer, std::ostream& out);
