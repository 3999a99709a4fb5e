#pragma once
// Windows path helpers on plain strings: "\" separates, a drive ends in ":".
#include <cstdint>
#include <string>
#include <unordered_set>

// Adds a trailing backslash to a non-empty path that lacks one.
std::string IncludeDelimiter(const std::string& path);
// Removes one trailing backslash.
std::string ExcludeDelimiter(const std::string& path);
// The directory part, up to and including the last "\" or ":" (empty when none).
std::string ExtractFilePath(const std::string& path);
// The part after the last "\" or ":".
std::string ExtractFileName(const std::string& path);
// The extension of the file name part, from its last "." on (empty when none).
std::string ExtractFileExt(const std::string& path);
// The path with its extension replaced (an empty `extension` removes it).
std::string ChangeFileExt(const std::string& path, const std::string& extension);
// The file name without its last extension.
std::string ExtractFileTitle(const std::string& path);
// The drive part: "C:" of "C:\X", "\\server\share" of a UNC path, else empty.
std::string ExtractFileDrive(const std::string& path);
// Splits at the first `separator`: true when there was one.
bool SplitText(const std::string& text, char separator, std::string& head, std::string& tail);
// `folder` with a backslash, then `name`.
std::string JoinPath(const std::string& folder, const std::string& name);
// Compares ignoring the case of the ASCII letters A to Z only.
bool SameTextAscii(const std::string& a, const std::string& b);
// The text without one pair of enclosing double quotes.
std::string Unquoted(const std::string& text);
// A folder as Windows would take it: "/" read as "\\", repeated separators,
// "." and ".." levels and blanks at the end of a level resolved, with a
// trailing backslash. ".." never climbs above the drive.
std::string NormalizeFolder(const std::string& path);
// Whether `path` is `folder` itself or lies inside it (A to Z in any case).
bool IsInsideFolder(const std::string& path, const std::string& folder);

// A set of paths, A to Z in any case alike, that keeps 16 bytes a path
// instead of the path: two independent 64-bit digests of its UpperAscii text.
// Two paths of one run would take the same pair with a likelihood of about
// one in 10^28. A run of a hundred thousand files keeps a few megabytes.
class TPathSet {
public:
    void Insert(const std::string& path) { FDigests.insert(Digest(path)); }
    bool Contains(const std::string& path) const { return FDigests.count(Digest(path)) != 0; }
    void Clear() { FDigests.clear(); }
    size_t Size() const { return FDigests.size(); }

private:
    struct TDigest {
        uint64_t A, B;
        bool operator==(const TDigest& other) const { return A == other.A && B == other.B; }
    };
    struct THash {
        size_t operator()(const TDigest& digest) const { return size_t(digest.A ^ (digest.A >> 32)); }
    };
    static TDigest Digest(const std::string& path);
    std::unordered_set<TDigest, THash> FDigests;
};
