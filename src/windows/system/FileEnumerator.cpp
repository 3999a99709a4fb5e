#include "FileEnumerator.h"

#include "PathUtils.h"

namespace {
constexpr DWORD Selectable = FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_DIRECTORY | 8 /* volume */;
}

TFileEnumerator::TFileEnumerator(const std::string& mask, DWORD attributes)
    : FExcluded(~attributes & Selectable), FFolder(ExtractFilePath(mask))
{
    FHandle = FindFirstFileA(mask.c_str(), &FData);
    FFound = FHandle != INVALID_HANDLE_VALUE;
    if (FFound && !Matches()) FFound = Advance();
}

TFileEnumerator::~TFileEnumerator()
{
    if (FHandle != INVALID_HANDLE_VALUE) FindClose(FHandle);
}

bool TFileEnumerator::Matches() const { return (FData.dwFileAttributes & FExcluded) == 0; }

bool TFileEnumerator::Advance()
{
    while (FindNextFileA(FHandle, &FData))
        if (Matches()) return true;
    return false;
}

bool TFileEnumerator::Next()
{
    if (!FFound) return false;
    if (FFirst) {
        FFirst = false;
        return true;
    }
    FFound = Advance();
    return FFound;
}

std::string TFileEnumerator::Name() const { return FFound ? FData.cFileName : std::string(); }

bool TFileEnumerator::HasAttribute(DWORD bits) const { return FFound && (FData.dwFileAttributes & bits) != 0; }
