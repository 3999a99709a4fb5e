#include "PathUtils.h"

#include <vector>

std::string IncludeDelimiter(const std::string& path)
{
    if (path.empty() || path.back() == '\\') return path;
    return path + "\\";
}

std::string ExcludeDelimiter(const std::string& path)
{
    if (!path.empty() && path.back() == '\\') return path.substr(0, path.size() - 1);
    return path;
}

std::string ExtractFilePath(const std::string& path)
{
    size_t at = path.find_last_of("\\:");
    return at == std::string::npos ? std::string() : path.substr(0, at + 1);
}

std::string ExtractFileName(const std::string& path)
{
    size_t at = path.find_last_of("\\:");
    return at == std::string::npos ? path : path.substr(at + 1);
}

std::string JoinPath(const std::string& folder, const std::string& name) { return IncludeDelimiter(folder) + name; }

bool SameTextAscii(const std::string& a, const std::string& b)
{
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i) {
        char x = a[i], y = b[i];
        if (x >= 'a' && x <= 'z') x = char(x - 32);
        if (y >= 'a' && y <= 'z') y = char(y - 32);
        if (x != y) return false;
    }
    return true;
}

std::string Unquoted(const std::string& text)
{
    if (text.size() >= 2 && text.front() == '"' && text.back() == '"') return text.substr(1, text.size() - 2);
    return text;
}

namespace {

// Where the extension starts: the last "." after the last "\\" or ":".
size_t ExtensionStart(const std::string& path)
{
    size_t dot = path.find_last_of(".\\:");
    return dot != std::string::npos && path[dot] == '.' ? dot : std::string::npos;
}

}  // namespace

std::string ExtractFileExt(const std::string& path)
{
    size_t dot = ExtensionStart(path);
    return dot == std::string::npos ? std::string() : path.substr(dot);
}

std::string ChangeFileExt(const std::string& path, const std::string& extension)
{
    size_t dot = ExtensionStart(path);
    return (dot == std::string::npos ? path : path.substr(0, dot)) + extension;
}

std::string ExtractFileTitle(const std::string& path) { return ChangeFileExt(ExtractFileName(path), ""); }

std::string ExtractFileDrive(const std::string& path)
{
    if (path.size() >= 2 && path[1] == ':') return path.substr(0, 2);
    if (path.size() >= 2 && path[0] == '\\' && path[1] == '\\') {
        size_t server = path.find('\\', 2);
        if (server == std::string::npos) return path;
        size_t share = path.find('\\', server + 1);
        return share == std::string::npos ? path : path.substr(0, share);
    }
    return std::string();
}

bool SplitText(const std::string& text, char separator, std::string& head, std::string& tail)
{
    size_t at = text.find(separator);
    if (at == std::string::npos) {
        head = text;
        tail.clear();
        return false;
    }
    head = text.substr(0, at);
    tail = text.substr(at + 1);
    return true;
}

std::string NormalizeFolder(const std::string& path)
{
    std::string text = path;
    for (char& c : text)
        if (c == '/') c = '\\';
    std::string drive = ExtractFileDrive(text);
    std::vector<std::string> levels;
    size_t start = drive.size();
    while (start <= text.size()) {
        size_t end = text.find('\\', start);
        if (end == std::string::npos) end = text.size();
        std::string level = text.substr(start, end - start);
        // Windows drops blanks and dots at the end of a level; "." and ".." stay meaningful.
        if (level != "." && level != "..")
            while (!level.empty() && (level.back() == ' ' || level.back() == '.')) level.pop_back();
        if (level == "..") {
            if (!levels.empty()) levels.pop_back();
        } else if (!level.empty() && level != ".") {
            levels.push_back(level);
        }
        start = end + 1;
    }
    // A relative path stays relative.
    bool rooted = !drive.empty() || (!text.empty() && text[0] == '\\');
    std::string result = rooted ? drive + "\\" : std::string();
    for (const std::string& level : levels) result += level + "\\";
    return result;
}

bool IsInsideFolder(const std::string& path, const std::string& folder)
{
    std::string inside = IncludeDelimiter(folder);
    if (inside.empty()) return false;
    return SameTextAscii(IncludeDelimiter(path).substr(0, inside.size()), inside);
}

TPathSet::TDigest TPathSet::Digest(const std::string& path)
{
    // FNV-1a, and a multiply-rotate hash with a 64-bit finish (splitmix64's):
    // different arithmetic, so that a pair that meets in one still differs in the other.
    uint64_t a = 0xCBF29CE484222325ull, b = 0x9E3779B97F4A7C15ull ^ path.size();
    for (char c : path) {
        uint64_t byte = uint8_t(c >= 'a' && c <= 'z' ? c - 'a' + 'A' : c);
        a = (a ^ byte) * 0x100000001B3ull;
        b = ((b ^ byte) * 0xBF58476D1CE4E5B9ull);
        b = (b << 27) | (b >> 37);
    }
    b ^= b >> 31;
    b *= 0x94D049BB133111EBull;
    b ^= b >> 29;
    return {a, b};
}
