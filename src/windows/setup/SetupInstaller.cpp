#include "SetupInstaller.h"

#include <windows.h>

#include <algorithm>
#include <cstring>

#include "Exception.h"
#include "InstallScope.h"
#include "FileSystem.h"
#include "HandleStream.h"
#include "Messages.h"
#include "PathUtils.h"
#include "Platform.h"
#include "ProcessText.h"
#include "ShellFolders.h"
#include "TextUtils.h"
#include "UninstallLog.h"
#include "UninstallRegistration.h"
#include "Uninstaller.h"

TSetupInstaller::TSetupInstaller(const std::string& programPath)
    : FInstaller(std::make_unique<TInstaller>(std::string(), programPath))
{
    SetPackageStamp(FInstaller->PackageVersion(), FInstaller->PackageDate());
    LoadConfiguration([this](const std::string& name) { return LoadPackageText(name); }, IsWow64());
    // The installer's texts in the product's other languages travel only inside the package.
    if (std::unique_ptr<TMemoryStream> tables = FInstaller->ExtractFileToMemory(LanguageTablesFileName))
        LoadLanguageTables(TextLines(*tables));
    for (const std::string& tag : FFacts.SpokenLanguages())
        if (std::unique_ptr<TMemoryStream> licence = FInstaller->ExtractFileToMemory(LanguageLicenseFileName(tag)))
            LoadLanguageLicense(tag, TextLines(*licence));
    // Lines built for another machine (Machine: arm64 on an x64 one) are not this machine's to install.
    FFacts.ComponentLines = ComponentLinesFor(FFacts.ComponentLines, NativeMachine());
    SurveyPackage();
    Choices.InstallVst2 = Choices.InstallVst3 = Choices.InstallRtas = true;
    Choices.InstallAax = Choices.InstallPhotoshop = Choices.InstallClap = true;
    ChooseScope(FFacts.InstallFor == TInstallFor::CurrentUser);
}

void TSetupInstaller::ChooseScope(bool oneUser)
{
    Choices.ForCurrentUser = oneUser;
    FInstaller->SetScope(Scope());
    FindSystemFolders();
    FindPreviousInstall();
    FindInstallFolder();
    FindContentFolder();
    FindPluginFolders();
    if (FFacts.PageFlags & pfPhotoshopPluginFolder) FindPhotoshopFolder();
    FindUserName();
}

std::unique_ptr<TStream> TSetupInstaller::OpenPackageFile(const std::string& name, const std::string& alternative,
                                                          std::string* opened)
{
    std::string found = name;
    std::unique_ptr<TMemoryStream> packed = FInstaller->ExtractFileToMemory(name);
    if (!packed && !alternative.empty()) {
        packed = FInstaller->ExtractFileToMemory(alternative);
        found = alternative;
    }
    if (packed) {
        if (opened) *opened = found;
        return packed;
    }
    std::string folder = GetProgramFolder(FInstaller->ProgramPath());
    found = name;
    if (!FileExists(folder + name) && !alternative.empty()) found = alternative;
    std::unique_ptr<TStream> file = THandleStream::OpenRead(folder + found, FILE_SHARE_READ);
    if (opened) *opened = found;
    return file;
}

int TSetupInstaller::RequirementsMessage() const
{
    if (!Choices.ForCurrentUser && !AdminRights()) return Msg::NoAdminRights;
    if (FFacts.Is64Bit && !IsWow64()) return Msg::Needs64BitWindows;
    return 0;
}

bool TSetupInstaller::CanCreateFolder(const std::string& path) const
{
    std::vector<std::string> levels;
    for (std::string current = path;;) {
        current = ExcludeDelimiter(current);
        std::string parent = ExtractFilePath(current);
        if (parent.empty() || parent == current) break;
        levels.push_back(current);
        current = parent;
    }
    // Outermost level first; then remove exactly what was created, deepest first.
    bool result = !levels.empty();
    std::vector<bool> created(levels.size(), false);
    for (size_t i = levels.size(); i-- > 0;) {
        if (CreateDirectoryA(levels[i].c_str(), nullptr))
            created[i] = true;
        else if (GetLastError() != ERROR_ALREADY_EXISTS)
            result = false;
    }
    for (size_t i = 0; i < levels.size(); ++i)
        if (created[i]) RemoveDirectoryA(levels[i].c_str());
    return result;
}

std::vector<std::string> TSetupInstaller::EarlierInstallationLog(const TFolderSurvey& survey) const
{
    // Not one of ours, a damaged one or another product's: nothing to carry forward.
    return survey.Log && survey.Log->ProductName == FFacts.ProductName ? survey.Log->Lines : std::vector<std::string>();
}

std::string TSetupInstaller::OtherInstallationIn(const TFolderSurvey& survey) const
{
    const std::string& own = survey.Folder;
    if (own.empty() || !survey.Exists) return std::string();
    if (survey.HasUninstaller || survey.HasJournal) {
        // Not an uninstaller of ours, or one damaged: somebody else's all the same.
        if (!survey.Log) return survey.HasUninstaller ? UninstallerFileName : UninstallLogFileName;
        const std::string& name = survey.Log->ProductName;
        if (name == FFacts.ProductName) return std::string();
        return name.empty() ? UninstallerFileName : name;
    }
    // A registration that names an uninstaller in this folder, of a product of another name.
    for (const TRegistrationEntry& entry : AllRegistrations(Scope()))
        if (!entry.Uninstaller.empty() &&
            SameTextAscii(ResolvedPath(entry.Uninstaller), ResolvedPath(own + UninstallerFileName)) &&
            !SameTextAscii(entry.DisplayName.substr(0, FFacts.ProductName.size()), FFacts.ProductName))
            return entry.DisplayName.empty() ? entry.Name : entry.DisplayName;
    return std::string();
}

TFolderVerdict TSetupInstaller::CheckFolder(const std::string& text, bool ownFolder, size_t deepest)
{
    TFolderVerdict verdict = CheckFolderForm(text, ownFolder, deepest);
    if (verdict.Fault != TFolderFault::None && verdict.Fault != TFolderFault::TooLong) return verdict;
    wchar_t windows[MAX_PATH + 1] = {};
    UINT length = GetWindowsDirectoryW(windows, MAX_PATH);
    if (length > 0 && length <= MAX_PATH &&
        IsInsideFolder(ResolvedPath(verdict.Folder), ResolvedPath(FromWide(windows, int(length)))))
        verdict.Fault = TFolderFault::WindowsFolder;
    return verdict;
}

namespace {
// A file is written under its name and ".partial" first, and the longer name must fit too.
constexpr size_t PartialSuffixLength = 8;
}  // namespace

std::string TSetupInstaller::FolderRefusal(const TFolderVerdict& verdict, bool chosen) const
{
    switch (verdict.Fault) {
    case TFolderFault::None: return std::string();
    case TFolderFault::Relative:
    case TFolderFault::NoDrive: return FormatMessageText(Msg::FolderNotFullPath, {verdict.Folder});
    case TFolderFault::NotLocal: return FormatMessageText(Msg::FolderNotLocal, {verdict.Folder});
    case TFolderFault::WindowsFolder: return FormatMessageText(Msg::FolderInsideWindows, {verdict.Folder});
    case TFolderFault::TooLong: {
        // The file's own length, against what Windows leaves it beside its temporary name.
        std::string text = FormatText(ExpandText(LoadMessage(Msg::FolderTooLong)),
                                      {verdict.Folder, std::to_string(verdict.DeepestLength - PartialSuffixLength),
                                       std::to_string(WindowsPathLimit - PartialSuffixLength)});
        // A folder the user did not choose: no advice to choose another, only what is wrong.
        size_t advice = text.rfind('\r');
        return chosen || advice == std::string::npos ? text : text.substr(0, advice);
    }
    case TFolderFault::Empty:
    case TFolderFault::DriveRoot: break;
    }
    return FormatMessageText(Msg::CannotCreateFolder, {verdict.Folder});
}

size_t TSetupInstaller::LineDepth(const TComponentLine& line, const TSetupBundleItem* item) const
{
    size_t path = FInstaller->DeepestPath(ExpandVariables(line.Key, item));
    if (path == 0) return 0;
    // A file is written under its name and ".partial" first; a DLL may gain
    // its suffix, and ".vst3" for ".dll".
    return path + PartialSuffixLength + Utf16Length(line.DllSuffix) + (line.Vst3 ? 1 : 0);
}

size_t TSetupInstaller::DeepestBelow(const std::string& variable)
{
    size_t deepest = 0;
    std::vector<const TSetupBundleItem*> items = {nullptr};
    for (const TSetupBundleItem& item : FFacts.BundleItems) items.push_back(&item);
    for (const TComponentLine& line : FFacts.ComponentLines) {
        if (line.Destination.compare(0, variable.size(), variable) != 0) continue;
        size_t below = Utf16Length(IncludeDelimiter(line.Destination.substr(variable.size())));
        for (const TSetupBundleItem* item : items)
            if (size_t depth = LineDepth(line, item)) deepest = std::max(deepest, below + depth);
    }
    return deepest;
}

TFolderVerdict TSetupInstaller::CheckFolderOf(const std::string& variable, const std::string& text)
{
    // The content folder holds nothing but the product, as its own folder
    // does, and goes with it: never a drive's root. A plug-in folder may be one.
    return CheckFolder(text, variable == "$ContentFolder", DeepestBelow(variable));
}

std::string TSetupInstaller::RefusedComponentFolder(const TDestination& to)
{
    for (const TSetupBundleItem* item : Passes())
        for (const TComponentLine& line : FFacts.ComponentLines) {
            std::string destination = ExpandVariables(line.Destination, item, to);
            size_t depth = LineDepth(line, item);
            if (destination.empty() || depth == 0) continue;
            TFolderVerdict verdict = CheckFolder(destination, false, depth);
            bool chosen = false;
            for (const char* variable :
                 {"$ProgramFolder", "$ContentFolder", "$VstPluginFolder", "$PhotoshopPluginFolder", "$DigiPluginFolder"})
                chosen = chosen || line.Destination.compare(0, std::strlen(variable), variable) == 0;
            if (!verdict.Ok()) return FolderRefusal(verdict, chosen);
        }
    return std::string();
}

bool TSetupInstaller::CanWriteInto(const std::string& folder)
{
    if (!DirectoryExists(folder)) return true;
    std::string probe = IncludeDelimiter(folder) + "~Setup write test.tmp";
    HANDLE file = CreateFileA(probe.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                              FILE_ATTRIBUTE_TEMPORARY | FILE_FLAG_DELETE_ON_CLOSE, nullptr);
    if (file == INVALID_HANDLE_VALUE) return GetLastError() == ERROR_FILE_EXISTS;
    CloseHandle(file);
    return true;
}

bool TSetupInstaller::HoldsOthersFiles(const TFolderSurvey& survey) const
{
    bool earlier =
        SameTextAscii(survey.Folder, FMachine.PreviousInstallFolder) || !EarlierInstallationLog(survey).empty();
    return survey.Exists && !FolderEntries(survey.Folder).empty() && !earlier;
}

std::vector<std::string> TSetupInstaller::LoadPackageText(const std::string& name)
{
    return TextLines(*OpenPackageFile(name));
}

std::vector<std::string> TSetupInstaller::TextLines(TStream& stream)
{
    std::string text(size_t(stream.Size() - stream.Position()), '\0');
    if (!text.empty()) stream.ReadBuffer(&text[0], text.size());
    // A maker's editor may have saved it as UTF-8 with a byte order mark, or
    // as UTF-16 with one (Notepad's "Unicode"): either is read as written.
    if (text.compare(0, 3, "\xEF\xBB\xBF") == 0) {
        text.erase(0, 3);
    } else if (text.compare(0, 2, "\xFF\xFE") == 0 || text.compare(0, 2, "\xFE\xFF") == 0) {
        bool big = text[0] == '\xFE';
        TWideText wide;
        for (size_t i = 2; i + 1 < text.size(); i += 2) {
            auto first = static_cast<unsigned char>(text[i]), second = static_cast<unsigned char>(text[i + 1]);
            wide.push_back(wchar_t(big ? (first << 8) | second : (second << 8) | first));
        }
        return SplitLines(FromWide(wide.data(), int(wide.size())));
    }
    return SplitLines(ProcessText(text));
}

void TSetupInstaller::FindSystemFolders()
{
    FMachine.AppDataFolder = GetAppDataFolder();
    FMachine.DocumentsFolder = GetDocumentsFolder();
    FMachine.LocalAppDataFolder = GetLocalAppDataFolder();
    if (Choices.ForCurrentUser) {
        // Where Windows keeps one user's programs (FOLDERID_UserProgramFiles)
        // and their shared files, as the VST 3 and CLAP hosts look for them.
        FMachine.ProgramFilesFolder = JoinPath(FMachine.LocalAppDataFolder, "Programs");
        FMachine.CommonFilesFolder = JoinPath(FMachine.ProgramFilesFolder, "Common");
    } else if (FFacts.Is64Bit) {
        FMachine.ProgramFilesFolder = GetProgramFiles64Folder(sfProgramFiles);
        FMachine.CommonFilesFolder = GetProgramFiles64Folder(sfCommonFiles);
    } else {
        FMachine.ProgramFilesFolder = GetProgramFilesFolder();
        FMachine.CommonFilesFolder = GetCommonFilesFolder();
    }
}

std::unique_ptr<TRegistry64> TSetupInstaller::CreateSettingsRegistry() const
{
    auto registry = std::make_unique<TRegistry64>(FFacts.Is64Bit);
    // What the run writes through it, a failed run puts back.
    registry->Undo = &FInstaller->Values();
    return registry;
}

std::string TSetupInstaller::ReadSetting(HKEY root, const std::string& key, const std::string& valueName) const
{
    try {
        std::unique_ptr<TRegistry64> registry = CreateSettingsRegistry();
        registry->RootKey = root;
        if (registry->OpenKey(key, false)) return registry->ReadString(valueName);
    } catch (const Exception&) {
    }
    return std::string();
}

std::string TSetupInstaller::ReadFolderSetting(const TSettingPath& path) const
{
    return ReadSetting(HKEY_CURRENT_USER, path.Key, path.ValueName);
}

void TSetupInstaller::FindPreviousInstall()
{
    FMachine.HasPreviousInstall = false;
    FMachine.PreviousVersion = TProgramVersion();
    FMachine.PreviousVersion.ParseText("0");
    std::unique_ptr<TRegistry64> registry = CreateSettingsRegistry();
    registry->RootKey = ScopeRoot(Scope());
    if (!registry->OpenKey(FFacts.RegistryRoot, false)) return;
    for (const std::string& subKey : registry->GetKeyNames()) {
        std::string text = ReadSetting(ScopeRoot(Scope()), GetProductKey(subKey), "VersionString");
        if (text.empty()) text = subKey;
        TProgramVersion found;
        try {
            found.ParseText(text);
        } catch (const EProgramVersionError&) {
            continue;
        }
        if (FFacts.PackageVersion.Major >= found.Major && found.Compare(FMachine.PreviousVersion) > 0) {
            FMachine.PreviousVersion = found;
            FMachine.HasPreviousInstall = true;
        }
    }
    if (FMachine.HasPreviousInstall)
        FMachine.PreviousVersionKey = FormatVersionKey(FMachine.PreviousVersion.Major, FMachine.PreviousVersion.Minor);
}

void TSetupInstaller::FindInstallFolder()
{
    Choices.InstallFolder =
        JoinPath(FMachine.ProgramFilesFolder, FormatDefaultFolder(FFacts.DefaultFolder, FFacts.PackageVersion.Major));
    FMachine.PreviousInstallFolder.clear();
    if (!FMachine.HasPreviousInstall) return;
    FMachine.PreviousInstallFolder =
        ReadSetting(ScopeRoot(Scope()), GetProductKey(FMachine.PreviousVersionKey), "Location");
    if (!FMachine.PreviousInstallFolder.empty()) {
        std::string major = std::to_string(FMachine.PreviousVersion.Major);
        for (const std::string& line : FFacts.InstalledFiles) {
            if (LineName(line) != major) continue;
            if (!FileExists(JoinPath(FMachine.PreviousInstallFolder, LineValue(line)))) {
                FMachine.PreviousInstallFolder.clear();
                break;
            }
        }
    }
    if (!FMachine.PreviousInstallFolder.empty()) {
        FMachine.PreviousInstallFolder = IncludeDelimiter(FMachine.PreviousInstallFolder);
        if (FFacts.PackageVersion.Major == FMachine.PreviousVersion.Major)
            Choices.InstallFolder = FMachine.PreviousInstallFolder;
    } else {
        FMachine.HasPreviousInstall = false;
    }
}

void TSetupInstaller::FindContentFolder()
{
    // Libraries stay where the user put them, across versions: an earlier
    // installation's content folder is proposed again.
    FMachine.PreviousContentFolder.clear();
    if (FMachine.HasPreviousInstall)
        FMachine.PreviousContentFolder =
            ReadSetting(ScopeRoot(Scope()), GetProductKey(FMachine.PreviousVersionKey), "ContentLocation");
    Choices.ContentFolderChosen = false;
    if (!FMachine.PreviousContentFolder.empty())
        SetContentFolder(FMachine.PreviousContentFolder);
    else
        Choices.ContentFolder = ContentFolderFollowing(Choices.InstallFolder);
}

void TSetupInstaller::FindPluginFolders()
{
    Choices.DigiFolder = JoinPath(FMachine.CommonFilesFolder, "Digidesign\\DAE\\Plug-Ins");
    Choices.AaxFolder = JoinPath(FMachine.CommonFilesFolder, "Avid\\Audio\\Plug-Ins");
    // One user's VST 2 folder is that user's own setting; there is no common one.
    Choices.Vst2Folder = ReadSetting(ScopeRoot(Scope()), "Software\\Vst", "VstPluginsPath");
    Choices.Vst3Folder = JoinPath(FMachine.CommonFilesFolder, "VST3");
    Choices.ClapFolder = JoinPath(FMachine.CommonFilesFolder, "CLAP");
}

bool TSetupInstaller::ItemHasContent(const TSetupBundleItem* item, bool (*matches)(const std::string& destination))
{
    for (const TComponentLine& line : FFacts.ComponentLines) {
        if (!matches(line.Destination)) continue;
        std::string folder = ExpandVariables(line.Key, item);
        if (!folder.empty() && FInstaller->FolderHasData(folder)) return true;
    }
    return false;
}

bool TSetupInstaller::PackageHasContent(bool (*matches)(const std::string& destination))
{
    for (const TSetupBundleItem& item : FFacts.BundleItems)
        if (ItemHasContent(&item, matches)) return true;
    return ItemHasContent(nullptr, matches);
}

void TSetupInstaller::SurveyPackage()
{
    FFacts.HasContent = PackageHasContent(
        [](const std::string& destination) { return destination.find("$ContentFolder") != std::string::npos; });
    FFacts.HasRtas = !FFacts.Is64Bit && PackageHasContent([](const std::string& destination) {
        return destination.find("$DigiPluginFolder") != std::string::npos;
    });
    FFacts.HasAax = PackageHasContent(
        [](const std::string& destination) { return destination.find("$AaxPluginFolder") != std::string::npos; });
    FFacts.HasVst2 = PackageHasContent(
        [](const std::string& destination) { return destination.find("$VstPluginFolder") != std::string::npos; });
    FFacts.HasPhotoshop = PackageHasContent(
        [](const std::string& destination) { return destination.find("$PhotoshopPluginFolder") != std::string::npos; });
    FFacts.HasClap = PackageHasContent(
        [](const std::string& destination) { return destination.find("$ClapPluginFolder") != std::string::npos; });
    if (!FFacts.IsBundle) {
        FFacts.HasVst3 = ItemHasVst3(nullptr);
        return;
    }
    bool all = true;
    for (const TSetupBundleItem& item : FFacts.BundleItems) {
        if (ItemHasVst3(&item)) {
            if (!FFacts.Vst3ItemList.empty()) FFacts.Vst3ItemList += ", ";
            FFacts.Vst3ItemList += item.ItemName;
            FFacts.HasVst3 = true;
        } else {
            all = false;
        }
    }
    if (all) FFacts.Vst3ItemList.clear();
}

void TSetupInstaller::FindPhotoshopFolder()
{
    try {
        std::unique_ptr<TRegistry64> registry = CreateSettingsRegistry();
        registry->RootKey = HKEY_LOCAL_MACHINE;
        if (!registry->OpenKey("SOFTWARE\\Adobe\\Photoshop", false)) return;
        std::string chosen;
        int32_t highest = 0;
        for (const std::string& name : registry->GetKeyNames()) {
            int32_t number = StrToIntDef(name.substr(0, name.find('.')), 0, false);
            if (number > highest) {
                highest = number;
                chosen = name;
            }
        }
        if (highest <= 0) return;
        if (registry->OpenKey(chosen + "\\PluginPath", false)) Choices.PhotoshopFolder = registry->ReadString("");
    } catch (const Exception&) {
    }
}

void TSetupInstaller::FindUserName()
{
    FMachine.PreviousUserName.clear();
    if (FMachine.HasPreviousInstall) {
        TSettingPath owner = SplitSettingPath(FFacts.PersonalizeOwner, FMachine.PreviousVersionKey, nullptr);
        FMachine.PreviousUserName = ReadSetting(HKEY_CURRENT_USER, owner.Key, owner.ValueName);
    }
    Choices.UserName = FMachine.PreviousUserName;
    if (Choices.UserName.empty()) Choices.UserName = WindowsUserName();
}

TDestinationCheck TSetupInstaller::CheckDestination(const TDestination& destination,
                                                    const std::function<bool(const std::string&)>& ask)
{
    const std::string& folder = destination.InstallFolder;
    if (!CanCreateFolder(folder))
        return {false, FormatMessageText(Msg::CannotCreateFolder, {folder}), true};
    // What the folder holds of an installation, read once for every question below.
    TFolderSurvey survey = SurveyFolder(folder);
    // One product per folder: another's uninstaller, journal and registration are never written over.
    std::string other = OtherInstallationIn(survey);
    if (!other.empty())
        return {false, FormatMessageText(Msg::FolderHoldsOtherProduct, {ExcludeDelimiter(folder), other}), true};
    // One installation is for everyone or for one user, never both: its
    // registration, keys and shared counts are in one place.
    // Whom it is for is where it is registered; its log says so only where it is registered nowhere.
    std::vector<std::string> earlier = EarlierInstallationLog(survey);
    if (!earlier.empty() && InstallationScope(survey.Folder + UninstallerFileName, earlier) != Scope())
        return {false,
                FormatText(ExpandText(LoadMessage(Msg::FolderOtherScope)),
                           {ExcludeDelimiter(folder),
                            LoadMessage(Choices.ForCurrentUser ? Msg::ScopeAllUsers : Msg::ScopeOneUser)}),
                true};
    if (FMachine.HasPreviousInstall) {
        bool same = SameTextAscii(FMachine.PreviousInstallFolder, folder);
        bool sameMajor = FFacts.PackageVersion.Major == FMachine.PreviousVersion.Major;
        if (sameMajor && !same && !ask(ExpandText(LoadMessage(Msg::UpgradeSameFolder)))) return {false, ""};
        if (!sameMajor && same && !ask(ExpandText(LoadMessage(Msg::OverwriteExistingCopy)))) return {false, ""};
    }
    // A folder that exists but cannot take a file (read-only, no rights) is
    // found now, not half-way through the copying.
    if (!CanWriteInto(folder)) return {false, FormatMessageText(Msg::FolderNotWritable, {folder})};
    // Every drive the run writes to must take what goes there.
    try {
        CheckDiskSpace(destination);
    } catch (const ESetupError& error) {
        return {false, error.what()};
    }
    // Somebody's files are there: they are kept aside and come back on removal, but the user decides.
    if (HoldsOthersFiles(survey) && !ask(FormatText(ExpandText(LoadMessage(Msg::DestinationNotEmpty)), {folder})))
        return {false, ""};
    return {true, ""};
}
