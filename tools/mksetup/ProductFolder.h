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
};

// Every top-level file becomes a top-level file entry, every folder a folder
// entry, recursively, sorted by name (byte order) so the same inputs always give
// the same package. `fixedFileTime`, when given, stamps every file; otherwise
// each file carries its own last-write time (local time). Raises ESetupError
// naming the file and what is wrong: a missing folder, Setup.ini or Setup.lic,
// a name an entry cannot carry, two names Windows cannot tell apart, a file
// that cannot be read.
TProductTree ScanProductFolder(const std::string& folder, std::optional<int32_t> fixedFileTime);
