#pragma once
// Reading a product folder into the tree of package items the writer takes.
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "PackageWriter.h"

struct TProductTree {
    std::vector<TPackageItem> Items;
    int64_t FileCount = 0;
    int64_t TotalBytes = 0;
    // What was left out as of no use on Windows: its kind, and its path below the product folder.
    std::vector<std::pair<std::string, std::string>> LeftOut;
};

// What a product folder holds that no customer's machine needs, by kind:
// version control (".git", ".svn", ".hg"), the Finder's and Explorer's own
// files (".DS_Store", "__MACOSX", "AppleDouble" for "._NAME", "Thumbs.db",
// "desktop.ini" without a PlugIn.ico beside it) and editor backups ("backup"
// for "NAME~", ".bak", ".swp", ".#NAME"). Empty for a file or folder of the
// product. [Package] Include=PATH in Setup.ini packs one on purpose.
std::string JunkKind(const std::string& path, bool folder);
// The one line that says what a build left out; empty when nothing.
std::string LeftOutSummary(const std::vector<std::pair<std::string, std::string>>& leftOut);
// Why a link in the product folder is not packed (every link is refused: one
// that points outside would carry the maker's files to every customer, one
// that points inside would be a second copy); empty for no link.
std::string LinkRefusal(const std::string& path, const std::string& productFolder);

// Every top-level file becomes a top-level file entry, every folder a folder
// entry, recursively, sorted by name (byte order) so the same inputs always give
// the same package. `fixedFileTime`, when given, stamps every file; otherwise
// each file carries its own last-write time (local time). Raises ESetupError
// naming the file and what is wrong: a missing folder, Setup.ini or Setup.lic,
// a name an entry cannot carry, two names Windows cannot tell apart, a file
// that cannot be read, a link. What JunkKind names is left out.
TProductTree ScanProductFolder(const std::string& folder, std::optional<int32_t> fixedFileTime);
