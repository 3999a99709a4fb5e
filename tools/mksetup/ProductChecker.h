#pragma once
// The checks of a product folder, one class read in three files: the
// folder's Setup.ini as text (ProductCheck.cpp), the files the folder holds
// (ProductCheckFiles.cpp) and what Setup.ini asks of the installer
// (ProductCheckSettings.cpp), with the text and name helpers they share
// (ProductCheckText.cpp). Only mksetup's own files include it.
#include <filesystem>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "ProductCheck.h"
#include "ProgramVersion.h"
#include "SetupModel.h"

namespace ProductChecks {

namespace fs = std::filesystem;

// The names the installer knows, from the one description of Setup.ini.
extern const std::map<std::string, std::vector<std::string>> KnownKeys;
extern const std::vector<std::string> ListSections;
extern const std::set<std::string> KnownVariables;
std::vector<std::string> LocationNames();
std::string Upper(std::string text);
// The candidate nearest to `name` by edit distance, when it is near enough; empty otherwise.
std::string Nearest(const std::string& name, const std::vector<std::string>& candidates);
// "A, B and C".
std::string Listed(const std::vector<std::string>& names);

// What stops the installer's JPEG reader at a side picture, or the picture's
// size: the frame header's width and height. `problem` is empty for a JPEG.
struct TPictureFacts {
    std::string Problem;
    int Width = 0, Height = 0;
};
TPictureFacts ReadPictureFacts(const std::string& bytes);

// Setup.ini read as the installer reads it, but keeping line numbers.
struct TIniLine {
    int Number;
    std::string Section;  // as written
    std::string Text;     // trimmed
    bool IsSection;
};
std::vector<TIniLine> ReadIniLines(const std::vector<std::string>& raw);
std::string ReadText(const fs::path& path);
// The text's lines as the installer reads them: a UTF-8 byte-order mark at
// the start is dropped, and UTF-16 with its mark is read as written.
std::vector<std::string> ReadLines(const fs::path& path);
// The same for a file's bytes in hand (a package entry's).
std::vector<std::string> TextLines(std::string text);

class TChecker {
public:
    TChecker(const fs::path& folder, const std::optional<TProgramVersion>& version) : FFolder(folder), FVersion(version) {}

    std::vector<TDiagnostic> Run();

private:
    void Add(const fs::path& file, int line, bool error, const std::string& text);
    std::vector<TDiagnostic> Sorted();
    // The line of a key in the last section of that name (0 when absent).
    int LineOf(const std::string& section, const std::string& key) const;
    int SectionLine(const std::string& section) const;
    // Lines of the section that counts (the last of that name), with numbers.
    std::vector<std::pair<int, std::string>> SectionLines(const std::string& section) const;
    // UTF-16 without its byte-order mark is no text the installer reads: every name would be wrong.
    bool CheckEncoding();
    void CheckHeadersAndLines();
    void CheckPictures();
    // The machine a Windows program file is built for (0 when it is none):
    // 0x14C x86, 0x8664 x64, 0xAA64 ARM64.
    static unsigned MachineOf(const fs::path& path);
    // A plug-in built for the other bitness than the package: a 64-bit one in
    // a 32-bit package lands where 64-bit hosts never look, and the other way round.
    void CheckBitness();
    // Folders of the product that no [Components] line installs: packed, never written.
    void CheckPackedFolders();
    void CheckEntryNames();
    void CheckNames();
    void LoadModel();
    void CheckBundleInfo(const std::string& message);
    bool PackageFolderExists(const std::string& name) const;
    void CheckComponents();
    void CheckMachines();
    void CheckOptions();
    // Every file the components install, in capitals, by where it goes.
    // Plug-in lines may rename what they install (.vst3, a DLL suffix): below
    // their folders nothing is judged.
    void CollectInstalledFiles(std::set<std::string>& files, std::vector<std::string>& renaming) const;
    // A shortcut into a folder the product installs to must point at a file it installs.
    void CheckShortcutTargets();
    void CheckShortcuts();
    void CheckVariables();
    void CheckFoldersRegistry();
    void CheckRegistryValues();
    void CheckFolderIcons();
    // The version users see beside the record's: the record decides the
    // folder's %d, the registry's version key and what counts as newer.
    void CheckDisplayVersion();
    void CheckDeployment();
    // Whom for: a value the installer does not know would install for everyone
    // unasked; a product for one user alone cannot bring the formats whose
    // hosts look only in the folders for everyone.
    void CheckInstallFor();
    void CheckInstalledFiles();
    // [Setup] Languages, the maker's texts per language and the licences per language.
    void CheckLanguages();
    // Where files land on the customer's machine: two that land on one file,
    // and paths longer than Windows allows.
    void CheckDestinations();
    // Plug-in bundles and binaries as their hosts expect them.
    void CheckPluginLayouts();
    // A VST 3 bundle: each architecture folder's binary built for its
    // machine, and the module information readable where hosts read it.
    void CheckVst3Bundle(const fs::path& bundle);
    // An AAX bundle: Pro Tools loads the binary named like the bundle and no other.
    void CheckAaxBundle(const fs::path& bundle);
    // The folders of the product that [Components] lines install, each once.
    std::vector<fs::path> ComponentFolders() const;
    // What the customer reads (the licences, the readmes the product installs)
    // and the keys and sections Setup.ini gives twice.
    void CheckTexts();

    fs::path FFolder, FIniPath;
    std::optional<TProgramVersion> FVersion;
    std::vector<std::string> FRaw;
    std::vector<TIniLine> FLines;
    TSetupModel FModel;
    std::vector<TDiagnostic> FFound;
};

}  // namespace ProductChecks
