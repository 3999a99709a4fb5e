#include "FolderRule.h"

#include "PathUtils.h"
#include "TextUtils.h"

size_t Utf16Length(const std::string& text)
{
    size_t length = 0;
    for (size_t i = 0; i < text.size(); ++i) {
        auto c = static_cast<unsigned char>(text[i]);
        if ((c & 0xC0) == 0x80) continue;  // a continuation byte
        length += c >= 0xF0 ? 2 : 1;       // four bytes make a surrogate pair
    }
    return length;
}

TFolderVerdict CheckFolderForm(const std::string& text, bool ownFolder, size_t deepest)
{
    TFolderVerdict verdict;
    std::string typed = Trim(text);
    for (char& c : typed)
        if (c == '/') c = '\\';
    if (typed.empty()) {
        verdict.Fault = TFolderFault::Empty;
        verdict.Folder = "\\";
        return verdict;
    }
    verdict.Folder = typed;
    if (typed.compare(0, 2, "\\\\") == 0) {
        verdict.Fault = TFolderFault::NotLocal;
        return verdict;
    }
    if (typed[0] == '\\') {
        verdict.Fault = TFolderFault::NoDrive;
        return verdict;
    }
    bool drive = typed.size() >= 2 && typed[1] == ':' &&
                 ((typed[0] >= 'A' && typed[0] <= 'Z') || (typed[0] >= 'a' && typed[0] <= 'z'));
    if (!drive || typed.size() < 3 || typed[2] != '\\') {
        verdict.Fault = TFolderFault::Relative;
        return verdict;
    }
    verdict.Folder = NormalizeFolder(typed);
    if (ownFolder && verdict.Folder.size() <= 3) {
        verdict.Fault = TFolderFault::DriveRoot;
        return verdict;
    }
    if (deepest > 0) {
        verdict.DeepestLength = Utf16Length(verdict.Folder) + deepest;
        if (verdict.DeepestLength > WindowsPathLimit) verdict.Fault = TFolderFault::TooLong;
    }
    return verdict;
}
