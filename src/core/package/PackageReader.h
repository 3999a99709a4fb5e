#pragma once
// Walking the entry tree of a validated package. Every header is checked
// before its sizes are trusted: a name that is not one path component, a stored
// size that is negative or runs past its parent's list, a negative file size, or
// nesting deeper than any path can hold reports the package as damaged
// ("The installer appears to be corrupted. Please download it again"). Siblings
// are skipped by seeking over their stored size, never by decompressing.
#include <cstdint>
#include <functional>
#include <string>

#include "PackageFormat.h"

class TStream;

class TEntryVisitor {
public:
    virtual ~TEntryVisitor() = default;
    // `path` is the entry's path below the list walked, components joined by "\".
    // The stream stands at the entry's data; the walker seeks past it afterwards.
    virtual void File(const TEntryHeader& entry, const std::string& path, TStream& stream) = 0;
    // Return false to skip the folder's children.
    virtual bool EnterFolder(const TEntryHeader& entry, const std::string& path) = 0;
    virtual void LeaveFolder(const TEntryHeader&, const std::string&) {}
};

namespace PackageReader {
constexpr int MaxDepth = 128;

// `wide` says the list is a wide package's (TPackageInfo::Wide): its entry
// headers carry 64-bit sizes.

// Reads and checks the next header of a list that must end by `limit`.
TEntryHeader ReadEntry(TStream& stream, int64_t limit, bool wide);

// Walks the list at the stream's position, which must end by `limit`.
void WalkList(TStream& stream, int64_t limit, bool wide, TEntryVisitor& visitor,
              const std::string& prefix = std::string(), int depth = 0);

// Scans the top-level list for an entry of that name and kind; on success the
// stream stands just after its header and the header is returned through `found`.
bool FindTopLevel(TStream& stream, const TPackageInfo& info, const std::string& name, bool folder,
                  TEntryHeader& found);

// Checks every header of the list at the stream's position without
// decompressing anything, so a damaged tree is refused before a file is written.
// The stream is left where it was.
void CheckList(TStream& stream, int64_t limit, bool wide);

// The sum of the uncompressed sizes of all files in the list at the stream's
// position and below.
int64_t ListFileSize(TStream& stream, int64_t limit, bool wide);

// Raises the package-damaged error.
[[noreturn]] void Damaged();
}  // namespace PackageReader
