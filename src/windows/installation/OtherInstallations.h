#pragma once
// What the other registered installations of this program name in their
// logs: the evidence that a file, folder or key is another installation's
// too. A shared count alone is no such evidence; a log that names the place is.
#include <map>
#include <set>
#include <string>
#include <vector>

#include "InstallScope.h"

class TOtherInstallations {
public:
    // Reads the log of every installation in the Windows list of installed
    // programs whose uninstaller is one of ours and not `ownUninstaller`
    // (compared as the same file): for an installation for everyone (`scope`)
    // only those registered for everyone (AllRegistrations). Logs that cannot be
    // read, or that no longer match the digest their registration keeps,
    // count nothing.
    TOtherInstallations(TInstallScope scope, const std::string& ownUninstaller);
    TOtherInstallations() = default;

    // A file or folder another installation wrote, or holds a reference to.
    bool NamesPath(const std::string& path) const;
    // A registry key another installation records (its line's kind letter and
    // the key); registrations in the installed-programs list never count.
    bool NamesKey(char letter, const std::string& key) const;
    // The copies other installations keep of what was at `path` before they
    // wrote there, each inside its own installation's Replaced Files.
    std::vector<std::string> CopiesOf(const std::string& path) const;
    // How many levels above the key another installation created (its K
    // line), so that whichever of them goes last removes them; 0 when none.
    int ParentLevels(char letter, const std::string& key) const;

    // The places of one log's lines, as the evidence holds them (for a log
    // read elsewhere); `folder` is the folder of its uninstaller.
    void Add(const std::vector<std::string>& lines, const std::string& folder);

private:
    std::set<std::string> FPaths, FKeys;
    std::map<std::string, std::vector<std::string>> FCopies;
    std::map<std::string, int> FParentLevels;
};
