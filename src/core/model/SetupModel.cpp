#include "SetupModel.h"

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <tuple>

#include "Exception.h"
#include "IniFile.h"
#include "Languages.h"
#include "Messages.h"
#include "PathUtils.h"
#include "TextUtils.h"

namespace {

std::string JoinLines(const std::vector<std::string>& lines)
{
    std::string text;
    for (const std::string& line : lines) text += line + "\r\n";
    return text;
}

bool HasLineNamed(const std::vector<std::string>& lines, const std::string& name)
{
    for (const std::string& line : lines)
        if (SameTextAscii(LineName(line), name)) return true;
    return false;
}

std::string WithLeadingBackslash(const std::string& key) { return !key.empty() && key[0] == '\\' ? key : "\\" + key; }

}  // namespace

void TSetupModel::LoadConfiguration(const TTextLoader& loadText, bool runsOn64BitWindows)
{
    TIniFile ini(loadText("Setup.ini"));
    FFacts.Is64Bit = ini.ReadBool("Setup", "Is64Bit", false);
    FFacts.IsBundle = ini.ReadBool("Setup", "IsBundle", false);
    // An unknown value installs for everyone, as a product without the key does; mksetup check refuses it.
    FFacts.InstallFor = TInstallFor::AllUsers;
    ParseInstallFor(ini.ReadString("Setup", "InstallFor", "AllUsers"), FFacts.InstallFor);
    FFacts.ProductName = ini.ReadString("Setup", "ProductName", "");
    FFacts.ProductSuffix = ini.ReadString("Setup", "ProductSuffix", "");
    FFacts.Publisher = ini.ReadString("Setup", "Publisher", "");
    FFacts.DisplayVersion = Trim(ini.ReadString("Setup", "DisplayVersion", ""));
    FFacts.HelpLink = Trim(ini.ReadString("Setup", "HelpLink", ""));
    FFacts.UpdateInfoUrl = Trim(ini.ReadString("Setup", "URLUpdateInfo", ""));
    FFacts.RegistryRoot = ini.ReadString("Setup", "RegistryRoot", "");
    FFacts.InstallDescription = ini.ReadString("Setup", "InstallDescription", "$ProductName");
    FFacts.WelcomeNote = ini.ReadString("Setup", "WelcomeWin64", "");
    FFacts.IgnoreMinorVersion = ini.ReadBool("Setup", "IgnoreMinorVersion", true);
    FFacts.DefaultFolder = ini.ReadString("Setup", "DefaultFolder", "");
    FFacts.ContentFolderDefault = ini.ReadString("Setup", "ContentFolder", "$ProgramFolder\\Content");
    FFacts.PersonalizeOwner = ini.ReadString("Setup", "PersonalizeOwner", "");
    FFacts.PersonalizeInfo = ini.ReadString("Setup", "PersonalizeInfo", "");
    FFacts.BundleSelectHeading = ini.ReadString("Setup", "BundleSelectHeading", "");
    FFacts.BundleSelectDescription = ini.ReadString("Setup", "BundleSelectDescription", "");
    FFacts.BundleRegistryRoot = ini.ReadString("Setup", "BundleRegistryRoot", "");
    FFacts.BundleItemName = ini.ReadString("Setup", "BundleItemName", "");

    FFacts.PageFlags = 0;
    const std::pair<const char*, TPageFlag> pages[] = {{"VstPluginFolder", pfVstPluginFolder},
                                                       {"DigiPluginFolder", pfDigiPluginFolder},
                                                       {"PhotoshopPluginFolder", pfPhotoshopPluginFolder},
                                                       {"Personalization", pfPersonalization}};
    for (const auto& [key, flag] : pages)
        if (ini.ReadBool("Pages", key, false)) FFacts.PageFlags |= flag;

    FFacts.InstalledFiles = ini.ReadSection("InstalledFiles");
    FFacts.Folders = ini.ReadSection("Folders");
    FFacts.FoldersRegistry = ini.ReadSection("FoldersRegistry");
    FFacts.Components = ini.ReadSection("Components");
    FFacts.ComponentsOptions = ini.ReadSection("ComponentsOptions");
    FFacts.ComponentLines.clear();
    for (const std::string& line : FFacts.Components)
        FFacts.ComponentLines.push_back(ParseComponentLine(line, FFacts.ComponentsOptions));
    FFacts.CallLibraries = ini.ReadSection("CallLibraries");
    FFacts.RegistrySettings = ini.ReadSection("RegistrySettings");
    FFacts.GlobalRegistrySettings = ini.ReadSection("GlobalRegistrySettings");
    FFacts.Shortcuts = ini.ReadSection("Shortcuts");
    FFacts.ShowLanguageDialog = ini.ReadBool("Setup", "ShowLanguageDialog", false);
    std::string languages = ini.ReadString("Setup", "Languages", "");
    FFacts.Languages = languages.empty() ? std::vector<std::string>() : SplitList(languages);
    FFacts.Texts.clear();
    for (const TLanguage& language : Languages())
        if (ini.SectionExists(TextsSection(language.Tag)))
            FFacts.Texts[language.Tag] = ini.ReadSection(TextsSection(language.Tag));

    // InstallDescription has not had its own variables replaced at this moment.
    FFacts.CompleteMessage = ini.ReadString("Complete", "Message", "");
    FFacts.CompleteReadme = ini.ReadString("Complete", "Readme", "");
    FFacts.CompleteProduct = ini.ReadString("Complete", "Product", "");

    FFacts.LicenseText = JoinLines(loadText("Setup.lic"));

    if (FFacts.RegistryRoot.empty() || FFacts.DefaultFolder.empty() ||
        (FFacts.IsBundle && FFacts.BundleRegistryRoot.empty()))
        throw ESetupError(LoadMessage(Msg::InvalidConfiguration));
    FFacts.RegistryRoot = WithLeadingBackslash(FFacts.RegistryRoot);
    if (FFacts.IsBundle) FFacts.BundleRegistryRoot = WithLeadingBackslash(FFacts.BundleRegistryRoot);

    FFacts.ShortcutKinds = 0;
    if (HasLineNamed(FFacts.Shortcuts, "StartMenu")) FFacts.ShortcutKinds |= skStartMenu;
    if (HasLineNamed(FFacts.Shortcuts, "Desktop")) FFacts.ShortcutKinds |= skDesktop;

    FFacts.WelcomeNote = ExpandText(FFacts.WelcomeNote);
    FFacts.InstallDescription = ExpandText(FFacts.InstallDescription);
    if (!FFacts.Is64Bit && !runsOn64BitWindows) FFacts.WelcomeNote.clear();

    FFacts.BundleItems.clear();
    if (FFacts.IsBundle)
        FFacts.BundleItems = ParseBundleInfo(loadText("BundleInfo.ini"), FFacts.BundleItemName, FFacts.PackageDate);
    FFacts.VersionKey = FormatVersionKey(FFacts.PackageVersion.Major, FFacts.PackageVersion.Minor);
    Choices.Items.assign(FFacts.BundleItems.size(), true);
}

std::string TSetupModel::ExpandVariables(const std::string& text, const TSetupBundleItem* item,
                                         const TDestination& destination) const
{
    auto has = [&](const char* name) { return text.find(name) != std::string::npos; };
    if ((has("$VstPluginFolder") && !Choices.InstallVst2) ||
        ((has("$Vst3PluginFolder") || has("$Vst3ProgramFolder")) && !Choices.InstallVst3) ||
        (has("$DigiPluginFolder") && !Choices.InstallRtas) || (has("$AaxPluginFolder") && !Choices.InstallAax) ||
        (has("$PhotoshopPluginFolder") && !Choices.InstallPhotoshop) || (has("$ClapPluginFolder") && !Choices.InstallClap) ||
        (has("$BundleItem") && !item) ||
        (Choices.ForCurrentUser && (has("$DigiPluginFolder") || has("$AaxPluginFolder") || has("$PhotoshopPluginFolder"))))
        return std::string();

    std::string result = text;
    for (size_t i = 0; i < FFacts.Folders.size(); ++i)
        result = ReplaceFirst(result, "%" + LineName(FFacts.Folders[i]), ExcludeDelimiter(FolderValue(i)));

    const std::pair<const char*, const std::string*> folders[] = {
        {"$Documents", &FMachine.DocumentsFolder},      {"$ProgramFolder", &destination.InstallFolder},
        {"$VstPluginFolder", &Choices.Vst2Folder},      {"$Vst3ProgramFolder", &destination.InstallFolder},
        {"$Vst3PluginFolder", &Choices.Vst3Folder},     {"$DigiPluginFolder", &Choices.DigiFolder},
        {"$AaxPluginFolder", &Choices.AaxFolder},       {"$PhotoshopPluginFolder", &Choices.PhotoshopFolder},
        {"$ApplicationData", &FMachine.AppDataFolder},  {"$ClapPluginFolder", &Choices.ClapFolder},
        {"$ContentFolder", &destination.ContentFolder},
    };
    for (const auto& [name, value] : folders) result = ReplaceFirst(result, name, ExcludeDelimiter(*value));

    if (item) {
        result = ReplaceAll(result, "$BundleItemProductName", item->ItemProductName);
        const std::string marker = "$BundleItem";
        // The search goes on after each inserted name, so an item name that
        // itself holds the marker is inserted once and left alone.
        for (size_t at, from = 0; (at = result.find(marker, from)) != std::string::npos;) {
            result.erase(at, marker.size());
            if (at < result.size() && result[at] == '(') {
                size_t close = result.find(')', at);
                if (close != std::string::npos) {
                    if (result.substr(at + 1, close - at - 1) != item->ItemName) return std::string();
                    result.erase(at, close - at + 1);
                }
            }
            result.insert(at, item->ItemName);
            from = at + item->ItemName.size();
        }
    }
    return result;
}

std::string TSetupModel::EveryoneOnlyFormats() const
{
    std::vector<std::string> formats;
    if (FFacts.HasAax) formats.push_back("AAX");
    if (FFacts.HasRtas) formats.push_back("RTAS");
    if (FFacts.HasPhotoshop) formats.push_back("Photoshop");
    std::string text;
    for (size_t i = 0; i < formats.size(); ++i)
        text += (i == 0 ? "" : LoadMessage(i + 1 == formats.size() ? Msg::ListLastSeparator : Msg::ListSeparator)) +
                formats[i];
    return text;
}

std::vector<std::pair<std::string, std::string>> TSetupModel::InstalledFolders() const
{
    bool everyone = !Choices.ForCurrentUser;
    const std::tuple<const char*, bool, const std::string*> parts[] = {
        {"Program", true, &Choices.InstallFolder},
        {"VST 2", FFacts.HasVst2 && Choices.InstallVst2, &Choices.Vst2Folder},
        {"VST 3", FFacts.HasVst3 && Choices.InstallVst3, &Choices.Vst3Folder},
        {"CLAP", FFacts.HasClap && Choices.InstallClap, &Choices.ClapFolder},
        {"AAX", everyone && FFacts.HasAax && Choices.InstallAax, &Choices.AaxFolder},
        {"RTAS", everyone && FFacts.HasRtas && Choices.InstallRtas, &Choices.DigiFolder},
        {"Photoshop", everyone && FFacts.HasPhotoshop && Choices.InstallPhotoshop, &Choices.PhotoshopFolder},
        {"Content", FFacts.HasContent, &Choices.ContentFolder},
    };
    std::vector<std::pair<std::string, std::string>> folders;
    for (const auto& [name, installed, folder] : parts)
        if (installed && !folder->empty()) folders.emplace_back(name, ExcludeDelimiter(*folder));
    return folders;
}

std::string TSetupModel::CompleteMessage() const
{
    // The maker's text for the language Setup speaks comes first, then [Complete] Message, then the program's own.
    bool ownForLanguage = false;
    auto texts = FFacts.Texts.find(Choices.Language);
    if (texts != FFacts.Texts.end())
        for (const std::string& line : texts->second)
            ownForLanguage = ownForLanguage || MessageNamed(Trim(LineName(line))) == Msg::ReadyDescriptionLabel;
    bool given = !FFacts.CompleteMessage.empty() && !ownForLanguage;
    return ExpandText(given ? FFacts.CompleteMessage : LoadMessage(Msg::ReadyDescriptionLabel));
}

std::string TSetupModel::ExpandText(const std::string& text) const
{
    std::string result = text;
    const std::pair<const char*, std::string> variables[] = {
        {"$ProductName", FFacts.ProductName},
        {"$FullProductName", FullProductName()},
        {"$ProductVersion", VersionText()},
        {"$PersonalizeInfo", FFacts.PersonalizeInfo},
        {"$InstallDescription", FFacts.InstallDescription},
        {"$BundleSelectHeading", FFacts.BundleSelectHeading},
        {"$BundleSelectDescription", FFacts.BundleSelectDescription},
        {"$BitSuffix", FFacts.Is64Bit ? LoadMessage(Msg::BitSuffix) : std::string()},
    };
    for (const auto& [name, value] : variables) result = ReplaceAll(result, name, value);
    return result;
}

std::string TSetupModel::FolderValue(size_t index) const
{
    std::string value = LineValue(FFacts.Folders.at(index));
    // A folder without a [FoldersRegistry] name is remembered nowhere. Earlier
    // installations wrote it to the version key's (Default) value, the last
    // folder winning: read back only where one folder alone can have written it.
    size_t unnamed = 0;
    for (size_t i = 0; i < FFacts.Folders.size(); ++i) unnamed += HasFolderSetting(i) ? 0 : 1;
    bool remembered = HasFolderSetting(index) || unnamed == 1;
    if (remembered && FMachine.HasPreviousInstall && FFacts.PackageVersion.Major == FMachine.PreviousVersion.Major) {
        std::string remembered = ReadFolderSetting(FolderSettingLocation(index, FMachine.PreviousVersionKey));
        if (!remembered.empty()) value = IncludeDelimiter(remembered);
    }
    return value;
}

bool TSetupModel::HasFolderSetting(size_t index) const
{
    std::string name = LineName(FFacts.Folders.at(index));
    for (const std::string& line : FFacts.FoldersRegistry)
        if (SameTextAscii(LineName(line), name) && !LineValue(line).empty()) return true;
    return false;
}

TSettingPath TSetupModel::FolderSettingLocation(size_t index, const std::string& versionKey) const
{
    std::string name = LineName(FFacts.Folders.at(index));
    std::string location;
    for (const std::string& line : FFacts.FoldersRegistry)
        if (SameTextAscii(LineName(line), name)) {
            location = LineValue(line);
            break;
        }
    return SplitSettingPath(location, versionKey, nullptr);
}

TSettingPath TSetupModel::SplitSettingPath(const std::string& settingName, const std::string& versionKey,
                                           const TSetupBundleItem* item) const
{
    TSettingPath path;
    size_t slash = settingName.rfind('\\');
    path.ValueName = slash == std::string::npos ? settingName : settingName.substr(slash + 1);
    std::string keyPath = slash == std::string::npos ? std::string() : settingName.substr(0, slash + 1);
    if (!item) {
        std::string key = GetProductKey(versionKey);
        if (!keyPath.empty()) key = JoinPath(key, keyPath);
        path.Key = ExcludeDelimiter(key);
        return path;
    }
    std::string expanded = ExcludeDelimiter(ExpandVariables(keyPath, item));
    if (expanded.empty()) return path;
    path.Key = JoinPath(JoinPath(FFacts.BundleRegistryRoot, expanded),
                        FormatVersionKey(item->ItemVersion.Major, item->ItemVersion.Minor));
    return path;
}

std::string TSetupModel::FullProductName() const
{
    std::string result = FFacts.IsBundle
                             ? FFacts.ProductName
                             : ProductNameWithVersion(FFacts.ProductName, FFacts.PackageVersion, FFacts.DisplayVersion);
    if (!FFacts.ProductSuffix.empty()) result += " " + FFacts.ProductSuffix;
    return result;
}

std::string TSetupModel::RecordedProductName() const
{
    std::string result =
        FFacts.IsBundle ? FFacts.ProductName : ProductNameWithVersion(FFacts.ProductName, FFacts.PackageVersion);
    if (!FFacts.ProductSuffix.empty()) result += " " + FFacts.ProductSuffix;
    return result;
}

std::string TSetupModel::FormatVersionKey(int32_t major, int32_t minor) const
{
    return std::to_string(major) + "." + std::to_string(FFacts.IgnoreMinorVersion ? 0 : minor);
}

void TSetupModel::SetInstallFolder(const std::string& folder)
{
    TDestination destination = DestinationAt(folder);
    Choices.InstallFolder = destination.InstallFolder;
    Choices.ContentFolder = destination.ContentFolder;
}

TDestination TSetupModel::DestinationAt(const std::string& folder) const
{
    std::string installFolder = IncludeDelimiter(folder);
    // [Setup] ContentFolder may name the destination ($ProgramFolder\Content): it follows it.
    return {installFolder, Choices.ContentFolderChosen ? Choices.ContentFolder : ContentFolderFollowing(installFolder)};
}

std::string TSetupModel::ContentFolderFollowing(const std::string& installFolder) const
{
    if (FFacts.ContentFolderDefault.find("$ContentFolder") != std::string::npos) return std::string();
    std::string text =
        ReplaceAll(FFacts.ContentFolderDefault, "$ProgramFolder", ExcludeDelimiter(IncludeDelimiter(installFolder)));
    std::string content = ExpandVariables(text, nullptr, {IncludeDelimiter(installFolder), std::string()});
    return content.empty() ? std::string() : IncludeDelimiter(content);
}

void TSetupModel::SetContentFolder(const std::string& folder)
{
    Choices.ContentFolder = IncludeDelimiter(folder);
    Choices.ContentFolderChosen = true;
}

std::string ProductNameWithVersion(const std::string& name, const TProgramVersion& version, const std::string& shown)
{
    if (version.Major < 1) return name;
    std::string result = name;
    std::string tail = " " + std::to_string(version.Major);
    if (result.size() > 2 && result.compare(result.size() - 2, 2, tail) == 0) result.resize(result.size() - 2);
    return result + " " + (shown.empty() ? version.AsText() : shown);
}

std::string FormatDefaultFolder(const std::string& pattern, int32_t major)
{
    auto invalid = [&]() { return EFormatError(FormatMessageText(Msg::InvalidFormat, {pattern})); };
    std::string result;
    bool used = false;
    for (size_t i = 0; i < pattern.size(); ++i) {
        if (pattern[i] != '%') {
            result += pattern[i];
            continue;
        }
        if (++i >= pattern.size()) throw invalid();
        if (pattern[i] == '%') {
            result += '%';
            continue;
        }
        // %[index:][-][width][.precision]type, the one argument used once.
        size_t start = i;
        while (i < pattern.size() && (std::isdigit(static_cast<unsigned char>(pattern[i])) || pattern[i] == ':' ||
                                      pattern[i] == '-' || pattern[i] == '.'))
            ++i;
        if (i >= pattern.size()) throw invalid();
        std::string flags = pattern.substr(start, i - start);
        char type = char(std::tolower(static_cast<unsigned char>(pattern[i])));
        size_t colon = flags.find(':');
        if (colon != std::string::npos) {
            if (colon != 1 || flags[0] != '0') throw invalid();  // only argument 0 exists
            flags.erase(0, 2);
            used = false;
        }
        if (used || (type != 'd' && type != 'u' && type != 'x')) throw invalid();
        if (flags.find(':') != std::string::npos || flags.find('-', 1) != std::string::npos ||
            std::count(flags.begin(), flags.end(), '.') > 1)
            throw invalid();
        bool left = !flags.empty() && flags[0] == '-';
        if (left) flags.erase(0, 1);
        size_t point = flags.find('.');
        int width = std::atoi(flags.substr(0, point).c_str());
        int precision = point == std::string::npos ? 0 : std::atoi(flags.substr(point + 1).c_str());
        if (width > 255 || precision > 255) throw invalid();
        std::string text = type == 'x'   ? UnsignedText(unsigned(major), 16)
                           : type == 'u' ? UnsignedText(unsigned(major))
                                         : std::to_string(major);
        bool negative = !text.empty() && text[0] == '-';
        std::string number = negative ? text.substr(1) : text;
        if (int(number.size()) < precision) number.insert(0, size_t(precision) - number.size(), '0');
        text = (negative ? "-" : "") + number;
        if (int(text.size()) < width) {
            if (left)
                text.append(size_t(width) - text.size(), ' ');
            else
                text.insert(0, size_t(width) - text.size(), ' ');
        }
        result += text;
        used = true;
    }
    return result;
}

std::string TextsSection(const std::string& tag) { return "Texts." + tag; }

void TSetupModel::LoadLanguageTables(const std::vector<std::string>& lines)
{
    TIniFile tables(lines);
    FFacts.Translations.clear();
    for (const TLanguage& language : Languages())
        if (language.Tag != std::string("en") && tables.SectionExists(TextsSection(language.Tag)))
            FFacts.Translations[language.Tag] = tables.ReadSection(TextsSection(language.Tag));
}

void TSetupModel::LoadLanguageLicense(const std::string& tag, const std::vector<std::string>& lines)
{
    FFacts.LicenseTexts[tag] = JoinLines(lines);
}

const std::string& TSetupModel::LicenseText() const
{
    auto own = FFacts.LicenseTexts.find(Choices.Language);
    return own != FFacts.LicenseTexts.end() ? own->second : FFacts.LicenseText;
}

std::map<int, std::string> TSetupModel::MessageTexts(std::vector<std::string>* refused) const
{
    std::map<int, std::string> texts;
    // The installer's own table of the language first, then what the maker words otherwise.
    for (const auto* given : {&FFacts.Translations, &FFacts.Texts}) {
        auto lines = given->find(Choices.Language);
        if (lines == given->end()) continue;
        for (const std::string& line : lines->second) {
            std::string name = Trim(LineName(line));
            int id = MessageNamed(name);
            std::string text = TextValue(LineValue(line));
            std::string why = !id ? "no text has that name"
                              : !SamePlaceholders(text, LoadStoredMessage(id))
                                  ? "its %s placeholders are not the program's text's"
                              : text.empty() ? "it is empty"
                                             : std::string();
            if (why.empty())
                texts[id] = text;
            else if (refused) {
                std::string told = name;
                told += given == &FFacts.Texts ? " of [" + TextsSection(Choices.Language) + "]: "
                                               : " of the installer's " + Choices.Language + " texts: ";
                told += why;
                refused->push_back(told);
            }
        }
    }
    return texts;
}

std::string TSetupModel::RegisteredPublisher() const
{
    if (!FFacts.Publisher.empty()) return FFacts.Publisher;
    std::string root =
        FFacts.RegistryRoot.substr(std::min(FFacts.RegistryRoot.find_first_not_of('\\'), FFacts.RegistryRoot.size()));
    if (SameTextAscii(root.substr(0, 9), "Software\\")) root = root.substr(9);
    return root.substr(0, root.find('\\'));
}
