#pragma once
// The command line of Setup.exe and Uninst.exe, for installs and removals
// that nobody watches: switch names in any letter case, "/NAME=value" with
// the value quoted or not. Arguments it does not know are passed over.
#include <optional>
#include <string>
#include <vector>

struct TSetupSwitches {
    bool Silent = false;                   // /S: no window, no question
    std::optional<std::string> Dir;        // /DIR=: the destination
    std::optional<std::string> Vst2Dir;    // /VST2DIR=: the VST 2 plug-in folder
    std::optional<std::string> PsDir;      // /PSDIR=: the Photoshop plug-in folder
    std::optional<std::string> ContentDir; // /CONTENTDIR=: the folder of the product's content
    std::optional<std::vector<std::string>> Formats;  // /FORMATS=: of FormatNames, lower case
    std::optional<std::vector<std::string>> Items;    // /ITEMS=: bundle item names
    std::optional<std::string> Name;       // /NAME=: the personalisation name
    bool NoShortcuts = false;              // /NOSHORTCUTS
    bool AllUsers = false;                 // /ALLUSERS: install for everyone
    bool CurrentUser = false;              // /CURRENTUSER: install for the user who runs Setup alone
    // /ELEVATED: Setup started itself with administrator rights; it does not ask for them again.
    bool Elevated = false;
    std::optional<std::string> Log;        // /LOG=: the run's log file
    std::optional<std::string> Language;   // /LANG=: the tag of the language to speak, as the list writes it
    // The first switch with a value that cannot be used and why; empty when none.
    std::string BadSwitch, BadReason;

    bool WantsFormat(const std::string& format) const;
};

// The plug-in formats /FORMATS= knows.
extern const char* const FormatNames[6];

TSetupSwitches ParseSetupSwitches(const std::vector<std::string>& arguments);

// The program's exit codes, the same with the wizard and without.
namespace ExitCode {
constexpr int Done = 0;           // installed, or removed
constexpr int Failed = 1;         // failed, and the run rolled back
constexpr int Cancelled = 2;      // the user cancelled
constexpr int Requirements = 3;   // a 64-bit package on 32-bit Windows, no administrator rights
constexpr int Damaged = 4;        // the installer (or the uninstall log) is damaged
constexpr int BadSwitch = 5;      // a switch with a value that cannot be used
constexpr int FileInUse = 6;      // a file the run had to replace is held by a running program; rolled back
// Another Setup or uninstaller works in the same folder: the code deployment
// tools know as "another installation is in progress", so they try again later.
constexpr int Busy = 1618;
}  // namespace ExitCode
