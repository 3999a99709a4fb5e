#pragma once
// Walks the files that match a mask. Normal, read-only and archive files
// always match; hidden, system and directory entries only when their bits are
// given.
#include <windows.h>

#include <string>

class TFileEnumerator {
public:
    TFileEnumerator(const std::string& mask, DWORD attributes);
    ~TFileEnumerator();
    TFileEnumerator(const TFileEnumerator&) = delete;
    TFileEnumerator& operator=(const TFileEnumerator&) = delete;

    // Moves to the next match (the first call keeps the initial one); false at the end.
    bool Next();
    // The current match's name without folder; empty when there is none.
    std::string Name() const;
    bool HasAttribute(DWORD bits) const;
    const std::string& Folder() const { return FFolder; }

private:
    bool Matches() const;
    bool Advance();

    WIN32_FIND_DATAA FData{};
    HANDLE FHandle = INVALID_HANDLE_VALUE;
    bool FFound = false;
    bool FFirst = true;
    DWORD FExcluded;
    std::string FFolder;
};
