// Plug-in bundles and binaries as their hosts expect them: a VST 3 bundle's
// binary per architecture folder and its module information, an AAX bundle's
// binary named like the bundle, and every plug-in binary a Windows program.
#include "ProductChecker.h"

#include <algorithm>
#include <cctype>
#include <fstream>

#include "Messages.h"
#include "PathUtils.h"
#include "ProductFolder.h"
#include "SetupBundleItem.h"
#include "TextUtils.h"

namespace ProductChecks {

namespace {

// The first fault of a JSON text, strictly as JSON is written: objects,
// arrays, strings with their escapes, numbers, true, false and null. Hosts
// read a VST 3 bundle's moduleinfo.json with such a reader and pass over the
// whole file at its first fault.
class TJsonSyntax {
public:
    struct TFault {
        std::string What;  // empty for valid JSON
        int Line = 0;
    };

    static TFault FirstFault(const std::string& text)
    {
        TJsonSyntax reader(text);
        try {
            if (text.compare(0, 3, "\xEF\xBB\xBF") == 0) reader.FAt = 3;
            reader.SkipBlanks();
            if (reader.AtEnd()) reader.Fail("the file holds no value");
            reader.Value(0);
            reader.SkipBlanks();
            if (!reader.AtEnd()) reader.Fail("more follows the end of the value");
        } catch (const TFault& fault) {
            return fault;
        }
        return {};
    }

private:
    explicit TJsonSyntax(const std::string& text) : FText(text) {}

    static constexpr int MaxDepth = 256;

    bool AtEnd() const { return FAt >= FText.size(); }
    char Next() const { return AtEnd() ? '\0' : FText[FAt]; }
    [[noreturn]] void Fail(const std::string& what) const
    {
        throw TFault{what, 1 + int(std::count(FText.begin(), FText.begin() + long(std::min(FAt, FText.size())), '\n'))};
    }
    // What stands where something else belongs, as the reader is told.
    std::string Found() const
    {
        if (Next() == '"') return "a string";
        size_t end = FAt + 1;
        while (end < FText.size() && end - FAt < 12 && std::isalnum(static_cast<unsigned char>(FText[end - 1])) &&
               std::isalnum(static_cast<unsigned char>(FText[end])))
            ++end;
        return "\"" + FText.substr(FAt, end - FAt) + "\"";
    }
    void SkipBlanks()
    {
        while (!AtEnd() && (Next() == ' ' || Next() == '\t' || Next() == '\r' || Next() == '\n')) ++FAt;
    }
    void NotAtEnd() const
    {
        if (AtEnd()) Fail("the file ends before the value is complete");
    }
    void Expect(char c, const std::string& after)
    {
        NotAtEnd();
        if (Next() != c) Fail(std::string("\"") + c + "\" is missing " + after + " (found " + Found() + ")");
        ++FAt;
    }

    void Value(int depth)
    {
        if (depth > MaxDepth) Fail("values nest deeper than " + std::to_string(MaxDepth) + " levels");
        NotAtEnd();
        char c = Next();
        if (c == '{')
            Members(depth);
        else if (c == '[')
            Elements(depth);
        else if (c == '"')
            String();
        else if (c == '-' || (c >= '0' && c <= '9'))
            Number();
        else if (!Word("true") && !Word("false") && !Word("null"))
            Fail(Found() + " where a value belongs");
    }
    bool Word(const char* word)
    {
        std::string text(word);
        if (FText.compare(FAt, text.size(), text) != 0) return false;
        FAt += text.size();
        if (std::isalnum(static_cast<unsigned char>(Next()))) Fail(Found() + " follows \"" + text + "\"");
        return true;
    }
    void Members(int depth)
    {
        ++FAt;
        SkipBlanks();
        if (Next() == '}') {
            ++FAt;
            return;
        }
        for (;;) {
            SkipBlanks();
            NotAtEnd();
            if (Next() == '}') Fail("a comma before \"}\"");
            if (Next() != '"') Fail(Found() + " where a name in double quotes belongs");
            String();
            SkipBlanks();
            Expect(':', "after a name");
            SkipBlanks();
            Value(depth + 1);
            SkipBlanks();
            if (Next() == '}') break;
            Expect(',', "between two members");
        }
        ++FAt;
    }
    void Elements(int depth)
    {
        ++FAt;
        SkipBlanks();
        if (Next() == ']') {
            ++FAt;
            return;
        }
        for (;;) {
            SkipBlanks();
            if (Next() == ']') Fail("a comma before \"]\"");
            Value(depth + 1);
            SkipBlanks();
            if (Next() == ']') break;
            Expect(',', "between two elements");
        }
        ++FAt;
    }
    void String()
    {
        for (++FAt;; ++FAt) {
            if (AtEnd()) Fail("a string without its closing quote");
            auto c = static_cast<unsigned char>(Next());
            if (c == '"') break;
            if (c == '\n' || c == '\r') Fail("a line break inside a string (write \\n)");
            if (c < 0x20) Fail("a control character inside a string");
            if (c != '\\') continue;
            ++FAt;
            if (AtEnd()) Fail("a string without its closing quote");
            if (Next() == 'u') {
                for (size_t at = FAt + 1; at <= FAt + 4; ++at)
                    if (at >= FText.size() || !std::isxdigit(static_cast<unsigned char>(FText[at])))
                        Fail("a \\u escape without four hexadecimal digits");
                FAt += 4;
            } else if (std::string("\"\\/bfnrt").find(Next()) == std::string::npos) {
                Fail("\"\\" + std::string(1, Next()) + "\" is no escape (a backslash is written \\\\)");
            }
        }
        ++FAt;
    }
    void Number()
    {
        auto digits = [&] {
            NotAtEnd();
            size_t start = FAt;
            while (std::isdigit(static_cast<unsigned char>(Next()))) ++FAt;
            if (FAt == start) Fail("a number without its digits (found " + Found() + ")");
        };
        if (Next() == '-') ++FAt;
        if (Next() == '0') {
            ++FAt;
            if (std::isdigit(static_cast<unsigned char>(Next()))) Fail("a number with a leading zero");
        } else {
            digits();
        }
        if (Next() == '.') {
            ++FAt;
            digits();
        }
        if (Next() == 'e' || Next() == 'E') {
            ++FAt;
            if (Next() == '+' || Next() == '-') ++FAt;
            digits();
        }
    }

    const std::string& FText;
    size_t FAt = 0;
};

// The folders of a VST 3 bundle's Contents, each for the binaries of one
// architecture, and the machine their header must name: Arm64EC binaries
// carry the x64 machine, Arm64X ones ARM64's.
struct TArchitecture {
    const char* Folder;
    unsigned Machine;
    const char* Holds;
};
const TArchitecture Vst3Architectures[] = {
    {"x86_64-win", 0x8664, "x64"},
    {"arm64-win", 0xAA64, "ARM64"},
    {"arm64ec-win", 0x8664, "ARM64EC (machine x64)"},
    {"arm64x-win", 0xAA64, "ARM64X (machine ARM64)"},
    {"x86-win", 0x14C, "x86"},
};
// The folders of an AAX bundle's Contents that Pro Tools loads a binary from.
const char* const AaxArchitectures[] = {"x64", "Win32"};

const char* const NoProgram = "is no Windows program (no PE header): hosts cannot load it";

std::string MachineName(unsigned machine)
{
    if (machine == 0x14C) return "x86";
    if (machine == 0x8664) return "x64";
    if (machine == 0xAA64) return "ARM64";
    return "machine 0x" + UnsignedText(machine, 16, 4);
}

bool IsPluginBinary(const fs::path& path)
{
    std::string extension = path.extension().string();
    return SameTextAscii(extension, ".dll") || SameTextAscii(extension, ".vst3") || SameTextAscii(extension, ".clap") ||
           SameTextAscii(extension, ".aaxplugin");
}

// Why a plug-in binary that is no Windows program is one all the same, or
// empty. What only poses as one is judged: an empty file, a damaged program
// ("MZ" without its PE header), a program of another system or any other
// binary content, and the pointer Git LFS leaves where the file was not
// fetched. A text stands in for a binary still to come and is left alone.
std::string NoProgramProblem(const fs::path& path)
{
    std::ifstream file(path, std::ios::binary);
    std::string head(4096, '\0');
    file.read(&head[0], std::streamsize(head.size()));
    head.resize(size_t(file.gcount()));
    if (head.compare(0, 23, "version https://git-lfs") == 0)
        return "is a Git LFS pointer, not the program: fetch the file (git lfs pull) before building";
    auto control = [](char c) {
        auto byte = static_cast<unsigned char>(c);
        return byte < 0x20 && byte != '\t' && byte != '\r' && byte != '\n';
    };
    bool poses = head.empty() || head.compare(0, 2, "MZ") == 0 || std::any_of(head.begin(), head.end(), control);
    return poses ? NoProgram : "";
}

// A plug-in binary the bitness check has named already: built for the other bitness than the package.
bool OtherBitness(unsigned machine, bool wide)
{
    return machine != 0 && (machine == 0x8664 || machine == 0xAA64) != wide;
}

std::vector<fs::path> FilesIn(const fs::path& folder)
{
    std::vector<fs::path> files;
    std::error_code error;
    for (const auto& entry : fs::directory_iterator(folder, error))
        if (entry.is_regular_file(error) && !entry.is_symlink(error) && JunkKind(entry.path().string(), false).empty())
            files.push_back(entry.path());
    std::sort(files.begin(), files.end());
    return files;
}

}  // namespace

// The folders of the product that [Components] lines install, each once.
std::vector<fs::path> TChecker::ComponentFolders() const
{
    std::vector<fs::path> folders;
    std::error_code error;
    for (const TComponentLine& line : FModel.Facts().ComponentLines) {
        std::vector<const TSetupBundleItem*> items{nullptr};
        if (line.Key.find("$BundleItem") != std::string::npos) {
            items.clear();
            for (const TSetupBundleItem& item : FModel.Facts().BundleItems) items.push_back(&item);
        }
        for (const TSetupBundleItem* item : items) {
            std::string key = FModel.ExpandVariables(line.Key, item);
            fs::path folder = FFolder / key;
            if (key.empty() || !fs::is_directory(folder, error) || fs::is_symlink(folder, error)) continue;
            if (std::none_of(folders.begin(), folders.end(),
                             [&](const fs::path& known) { return fs::equivalent(known, folder, error); }))
                folders.push_back(folder);
        }
    }
    return folders;
}

// A VST 3 bundle: each architecture folder's binary built for its machine,
// and the module information readable where hosts read it.
void TChecker::CheckVst3Bundle(const fs::path& bundle)
{
    fs::path contents = bundle / "Contents";
    for (const TArchitecture& architecture : Vst3Architectures)
        for (const fs::path& file : FilesIn(contents / architecture.Folder)) {
            if (!IsPluginBinary(file)) continue;
            unsigned machine = MachineOf(file);
            if (machine == 0)
                Add(file, 1, true, NoProgram);
            else if (machine != architecture.Machine && !OtherBitness(machine, FModel.Facts().Is64Bit))
                Add(file, 1, true,
                    FormatText("is built for %s, but %s holds %s binaries: the hosts that look there cannot load it",
                               {MachineName(machine), architecture.Folder, architecture.Holds}));
        }
    fs::path moduleInfo = contents / "Resources" / "moduleinfo.json";
    if (fs::is_regular_file(moduleInfo)) {
        TJsonSyntax::TFault fault = TJsonSyntax::FirstFault(ReadText(moduleInfo));
        if (!fault.What.empty())
            Add(moduleInfo, fault.Line, true,
                "is not valid JSON: " + fault.What + "; hosts cannot read the plug-in's module information from it");
    }
    if (fs::is_regular_file(contents / "moduleinfo.json"))
        Add(contents / "moduleinfo.json", 1, false,
            "belongs in Contents/Resources, where hosts read the module information; move it there");
}

// An AAX bundle: Pro Tools loads the binary named like the bundle and no other.
void TChecker::CheckAaxBundle(const fs::path& bundle)
{
    std::string name = bundle.filename().string();
    bool any = false;
    for (const char* architecture : AaxArchitectures) {
        fs::path folder = bundle / "Contents" / architecture;
        if (!fs::is_directory(folder)) continue;
        any = true;
        std::vector<fs::path> files = FilesIn(folder);
        if (std::any_of(files.begin(), files.end(),
                        [&](const fs::path& file) { return SameTextAscii(file.filename().string(), name); }))
            continue;
        std::vector<std::string> others;
        others.reserve(files.size());
        for (const fs::path& file : files)
            others.push_back("\"" + file.lexically_relative(bundle).generic_string() + "\"");
        Add(bundle, 1, true,
            FormatText(
                "has no \"Contents/%s/%s\", the binary named like the bundle that Pro Tools loads; found %s",
                {architecture, name,
                 others.empty() ? "an empty Contents/" + std::string(architecture) + " folder" : Listed(others)}));
    }
    if (!any)
        Add(bundle, 1, true,
            FormatText("has no \"Contents/x64/%s\", the binary named like the bundle that Pro Tools loads; found no "
                       "Contents/x64 folder",
                       {name}));
}

void TChecker::CheckPluginLayouts()
{
    std::error_code error;
    for (const fs::path& folder : ComponentFolders())
        for (fs::recursive_directory_iterator entry(folder, error), end; !error && entry != end;
             entry.increment(error)) {
            const fs::path& path = entry->path();
            bool isFolder = entry->is_directory(error);
            if (entry->is_symlink(error) || !JunkKind(path.string(), isFolder).empty()) {
                if (isFolder) entry.disable_recursion_pending();
                continue;  // refused, or left out of the package
            }
            std::string extension = path.extension().string();
            if (isFolder && SameTextAscii(extension, ".vst3") && fs::is_directory(path / "Contents")) {
                CheckVst3Bundle(path);
                entry.disable_recursion_pending();
            } else if (isFolder && SameTextAscii(extension, ".aaxplugin")) {
                CheckAaxBundle(path);  // its binaries are judged below, as every other
            } else if (!isFolder && IsPluginBinary(path) && MachineOf(path) == 0) {
                std::string problem = NoProgramProblem(path);
                if (!problem.empty()) Add(path, 1, true, problem);
            }
        }
}

}  // namespace ProductChecks
