#include "Deploy.h"

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <sstream>

#include "Exception.h"
#include "Inflate.h"
#include "LogLine.h"
#include "NewProduct.h"
#include "PackageFile.h"
#include "PackageReader.h"
#include "PathUtils.h"
#include "ProductChecker.h"
#include "SetupModel.h"
#include "Sha256.h"
#include "Stream.h"
#include "TextUtils.h"
#include "UninstallLog.h"

namespace fs = std::filesystem;

const std::vector<TDeployReturnCode>& DeployReturnCodes()
{
    static const std::vector<TDeployReturnCode> codes = {
        {0, nullptr, "installed, or removed"},
        {1, nullptr, "failed: an installation is rolled back; the log names what went wrong"},
        {2, "cancelledByUser", "cancelled by the user"},
        {3, "systemNotSupported",
         "requirements not met: a 64-bit product on 32-bit Windows, or no administrator rights for an "
         "installation for everyone"},
        {4, "contactSupport",
         "the installer or one of its volume files is damaged, missing or of another build: download it again"},
        {5, "invalidParameter", "a switch with a value that cannot be used; nothing was written"},
        {6, "fileInUse",
         "a file to replace is held by a running program (a host with the plug-in loaded); rolled back: close "
         "it and run again"},
        {1618, "installInProgress",
         "another Setup or uninstaller is working in the same product folder; nothing was written: run again "
         "later"},
    };
    return codes;
}

namespace {

constexpr char WingetLocale[] = "en-US";

// The installer as the deployment commands see it: its package's facts,
// read with the installer's own rules.
struct TInstallerFacts {
    // What a command line starts: the installer's file name, or the
    // Setup.exe that reads a Setup.dat beside it.
    std::string ProgramName;
    bool PackageAlone = false;
    std::vector<std::string> VolumeNames;
    // ARM64 binaries: a [Components] line for an ARM64 machine, or a VST 3
    // bundle's folder of one.
    bool CarriesArm64 = false;
    std::unique_ptr<TSetupModel> Model;

    const TSetupFacts& Facts() const { return Model->Facts(); }
    // The name of the installed-programs key the installation registers.
    std::string RegistrationKey() const { return Model->RecordedProductName() + Model->BitSuffix(); }
    // The entry's DisplayName.
    std::string DisplayName() const { return Model->FullProductName() + Model->BitSuffix(); }
};

// Finds a folder a VST 3 bundle keeps binaries for ARM64 Windows in.
class TArm64Finder : public TEntryVisitor {
public:
    void File(const TEntryHeader&, const std::string&, TStream&) override {}
    bool EnterFolder(const TEntryHeader& entry, const std::string&) override
    {
        std::string name = LowerAscii(entry.NameText());
        Found = Found || name == "arm64-win" || name == "arm64ec-win" || name == "arm64x-win";
        return !Found;
    }
    bool Found = false;
};

std::vector<std::string> EntryLines(TStream& data, const TPackageInfo& info, const std::string& name)
{
    TEntryHeader entry;
    if (!PackageReader::FindTopLevel(data, info, name, false, entry))
        throw EFOpenError(name + " is missing from the package");
    TMemoryStream text;
    TStreamSink sink(text);
    InflateEntry(data, entry.StoredSize, entry.UncompressedSize, sink);
    return ProductChecks::TextLines(text.AsString());
}

// `oneFile` refuses what winget cannot download as one file: a Setup.dat,
// and an installer with volume files.
TInstallerFacts ReadInstaller(const std::string& path, bool oneFile)
{
    TOpenedPackage package = OpenPackage(path, false);
    TInstallerFacts facts;
    facts.PackageAlone = package.Offset == 0;
    facts.ProgramName = facts.PackageAlone ? "Setup.exe" : fs::path(path).filename().string();
    facts.VolumeNames.reserve(package.Info.Volumes.size());
    for (const TVolumeRecord& volume : package.Info.Volumes) facts.VolumeNames.push_back(volume.Name);
    if (oneFile && facts.PackageAlone)
        throw ESetupError(path +
                          ": is a setup package alone (Setup.dat); winget installs one file, so give it "
                          "an installer with the package appended (mksetup build -o)");
    if (oneFile && !facts.VolumeNames.empty())
        throw ESetupError(
            path + ": winget installs one file and this installer has " + std::to_string(facts.VolumeNames.size()) +
            " volume files (" + facts.VolumeNames.front() +
            ", ...): build it without --volume-size where the package is under 2 GiB, or deploy its folder "
            "(mksetup deploy)");

    facts.Model = std::make_unique<TSetupModel>();
    facts.Model->SetPackageStamp(package.Info.Version, package.Info.PackageDate);
    TStream& data = *package.Data;
    try {
        facts.Model->LoadConfiguration([&](const std::string& name) { return EntryLines(data, package.Info, name); },
                                       true);
    } catch (const EPackageDamaged&) {
        throw;
    } catch (const Exception& e) {
        throw ESetupError(path + ": the installer's Setup.ini cannot be read: " + e.Message());
    }
    for (const TComponentLine& line : facts.Facts().ComponentLines)
        facts.CarriesArm64 = facts.CarriesArm64 || line.Machine.compare(0, 5, "arm64") == 0;
    if (!facts.CarriesArm64) {
        TArm64Finder finder;
        data.SetPosition(package.Info.EntriesStart);
        PackageReader::WalkList(data, package.Info.DataEnd, package.Info.Wide, finder);
        facts.CarriesArm64 = finder.Found;
    }
    return facts;
}

// Whom the product may be installed for, each with the switch that chooses
// it where the product offers both.
struct TScope {
    bool Machine;
    std::string Switch;
};

std::vector<TScope> ScopesOf(const TSetupFacts& facts)
{
    switch (facts.InstallFor) {
        case TInstallFor::AllUsers:
            return {{true, ""}};
        case TInstallFor::CurrentUser:
            return {{false, ""}};
        case TInstallFor::Either:
            break;
    }
    return {{true, "/ALLUSERS"}, {false, "/CURRENTUSER"}};
}

// A part of a package identifier: no blanks, dots or characters a file name
// cannot hold, at most 32 characters.
std::string IdentifierPart(const std::string& text)
{
    std::string part;
    size_t characters = 0;
    for (char c : text) {
        auto byte = static_cast<unsigned char>(c);
        if (byte <= 0x20 || byte == 0x7F || std::strchr(".\\/:*?\"<>|", c)) continue;
        bool starts = (byte & 0xC0) != 0x80;  // the first byte of a UTF-8 sequence
        if (starts && characters == 32) break;
        characters += starts ? 1 : 0;
        part += c;
    }
    return part;
}

std::string PackageName(const TSetupFacts& facts)
{
    return facts.ProductSuffix.empty() ? facts.ProductName : facts.ProductName + " " + facts.ProductSuffix;
}

// The file name a command's log goes to: "SpaceEcho-Setup.log".
std::string LogName(const TSetupFacts& facts, const char* program)
{
    std::string name = IdentifierPart(facts.ProductName);
    name += "-";
    name += program;
    name += ".log";
    return name;
}

// A YAML scalar: plain where YAML reads it back as this text, else in single quotes.
std::string Yaml(const std::string& text)
{
    std::string line = text;
    std::replace_if(
        line.begin(), line.end(), [](char c) { return static_cast<unsigned char>(c) < 0x20; }, ' ');
    bool numeric = line.find_first_not_of("0123456789.+-eE_:") == std::string::npos;
    bool word = false;
    for (const char* reserved : {"true", "false", "yes", "no", "on", "off", "y", "n", "null", "~"})
        word = word || SameTextAscii(line, reserved);
    bool plain = !line.empty() && !numeric && !word && !std::strchr("-?:,[]{}#&*!|>'\"%@`<=. ", line[0]) &&
                 line.back() != ' ' && line.back() != ':' && line.find(": ") == std::string::npos &&
                 line.find(" #") == std::string::npos;
    return plain ? line : "'" + ReplaceAll(line, "'", "''") + "'";
}

std::string ManifestHeader(const std::string& kind, const std::string& installer)
{
    std::ostringstream text;
    text << "# Created with mksetup winget from " << installer << "\n"
         << "# yaml-language-server: $schema=https://aka.ms/winget-manifest." << kind << "." << WingetManifestVersion
         << ".schema.json\n\n";
    return text.str();
}

std::string ManifestFooter(const std::string& kind)
{
    return "ManifestType: " + kind + "\nManifestVersion: " + WingetManifestVersion + "\n";
}

// What the manifests say of the package, found once.
struct TWingetPackage {
    std::string Identifier, Version, Sha256, Url, Installer;
};

std::string VersionManifest(const TWingetPackage& package)
{
    std::ostringstream text;
    text << ManifestHeader("version", package.Installer) << "PackageIdentifier: " << package.Identifier << "\n"
         << "PackageVersion: " << Yaml(package.Version) << "\n"
         << "DefaultLocale: " << WingetLocale << "\n"
         << ManifestFooter("version");
    return text.str();
}

std::string InstallerManifest(const TWingetPackage& package, const TInstallerFacts& installer)
{
    const TSetupFacts& facts = installer.Facts();
    std::ostringstream text;
    text << ManifestHeader("installer", package.Installer) << "PackageIdentifier: " << package.Identifier << "\n"
         << "PackageVersion: " << Yaml(package.Version) << "\n"
         << "InstallerType: exe\n"
         << "InstallModes:\n- interactive\n- silent\n- silentWithProgress\n"
         << "ExpectedReturnCodes:\n";
    for (const TDeployReturnCode& code : DeployReturnCodes())
        if (code.WingetResponse)
            text << "- InstallerReturnCode: " << code.Code << "\n  ReturnResponse: " << code.WingetResponse << "\n";
    text << "UpgradeBehavior: install\n"
         << "ProductCode: " << Yaml(installer.RegistrationKey()) << "\n"
         << "AppsAndFeaturesEntries:\n"
         << "- DisplayName: " << Yaml(installer.DisplayName()) << "\n"
         << "  Publisher: " << Yaml(installer.Model->RegisteredPublisher()) << "\n"
         << "  DisplayVersion: " << Yaml(package.Version) << "\n"
         << "  ProductCode: " << Yaml(installer.RegistrationKey()) << "\n"
         << "  InstallerType: exe\n"
         << "Installers:\n";
    std::vector<std::string> architectures = {facts.Is64Bit ? "x64" : "x86"};
    if (installer.CarriesArm64) architectures.emplace_back("arm64");
    for (const std::string& architecture : architectures)
        for (const TScope& scope : ScopesOf(facts)) {
            text << "- Architecture: " << architecture << "\n"
                 << "  Scope: " << (scope.Machine ? "machine" : "user") << "\n"
                 << "  InstallerUrl: " << Yaml(package.Url) << "\n"
                 << "  InstallerSha256: " << package.Sha256 << "\n"
                 << "  InstallerSwitches:\n"
                 << "    Silent: /S\n"
                 << "    SilentWithProgress: /S\n"
                 << "    InstallLocation: /DIR=\"<INSTALLPATH>\"\n"
                 << "    Log: /LOG=\"<LOGPATH>\"\n";
            if (!scope.Switch.empty()) text << "    Custom: " << scope.Switch << "\n";
            // Setup asks Windows for the rights itself, and only for everyone.
            if (scope.Machine) text << "  ElevationRequirement: elevatesSelf\n";
        }
    text << ManifestFooter("installer");
    return text.str();
}

// The licence's name: the first line of Setup.lic when it is a title; empty
// when it is none, or still the placeholder of mksetup new.
std::string LicenceTitle(const TSetupFacts& facts)
{
    if (facts.LicenseText.find(PlaceholderLicenceLine) != std::string::npos) return std::string();
    std::istringstream lines(facts.LicenseText);
    for (std::string line; std::getline(lines, line);) {
        line = Trim(line);
        if (!line.empty()) return line.size() >= 3 && line.size() <= 100 ? line : std::string();
    }
    return std::string();
}

// The product's description: InstallDescription where the maker wrote one
// other than the product's name.
std::string ShortDescription(const TSetupFacts& facts)
{
    const std::string& text = facts.InstallDescription;
    return text.size() >= 3 && text != facts.ProductName ? text : std::string();
}

bool IsWebAddress(const std::string& text)
{
    std::string scheme = LowerAscii(text.substr(0, text.find("://") + 3));
    return (scheme == "http://" || scheme == "https://") && text.size() > scheme.size() &&
           text.find_first_of(" \t") == std::string::npos;
}

// The web pages Setup.ini names for the installed-programs entry, as the
// manifest's fields: the updates page, the support page, and a PurchaseUrl
// setting (the entry's web page).
std::vector<std::pair<const char*, std::string>> WebPages(const TSetupFacts& facts)
{
    std::string purchase;
    for (const std::vector<std::string>* lines : {&facts.RegistrySettings, &facts.GlobalRegistrySettings})
        for (const std::string& line : *lines)
            if (SameTextAscii(ExtractFileName(LineName(line)), "PurchaseUrl")) purchase = Trim(LineValue(line));
    return {{"PackageUrl", facts.UpdateInfoUrl}, {"PublisherSupportUrl", facts.HelpLink}, {"PurchaseUrl", purchase}};
}

std::string LocaleManifest(const TWingetPackage& package, const TInstallerFacts& installer,
                           std::vector<std::string>& placeholders)
{
    const TSetupFacts& facts = installer.Facts();
    struct TValue {
        const char* Key;
        std::string Text;
        const char* Placeholder;
        std::string Why;
    };
    const TValue values[] = {
        {"Publisher", facts.Publisher, "publisher",
         "[Setup] Publisher is not set (the list of installed programs shows \"" +
             installer.Model->RegisteredPublisher() +
             "\", the maker level of RegistryRoot, which the identifier and AppsAndFeaturesEntries use)"},
        {"PackageName", PackageName(facts), "package name", "[Setup] ProductName is not set"},
        {"License", LicenceTitle(facts), "licence, such as Proprietary",
         "Setup.lic has no title line to name the licence by, or is still the placeholder of mksetup new"},
        {"ShortDescription", ShortDescription(facts), "short description",
         "Setup.ini has no description of the product ([Setup] InstallDescription, where it is more than the "
         "product's name)"},
    };
    std::ostringstream text;
    text << ManifestHeader("defaultLocale", package.Installer) << "PackageIdentifier: " << package.Identifier << "\n"
         << "PackageVersion: " << Yaml(package.Version) << "\n"
         << "PackageLocale: " << WingetLocale << "\n";
    placeholders.reserve(placeholders.size() + std::size(values));
    for (const TValue& value : values) {
        std::string written = value.Text;
        if (written.empty()) {
            written = "<fill in: ";
            written += value.Placeholder;
            written += ">";
            std::string told = value.Key;
            told += " is a placeholder to fill in: ";
            told += value.Why;
            placeholders.push_back(told);
        }
        text << value.Key << ": " << Yaml(written) << "\n";
    }
    for (const auto& page : WebPages(facts))
        if (IsWebAddress(page.second)) text << page.first << ": " << Yaml(page.second) << "\n";
    text << ManifestFooter("defaultLocale");
    return text.str();
}

// What a silent run needs on a machine that knows no folder for a format
// the package holds: it is refused with exit code 5 otherwise.
std::vector<std::string> SilentRunNeeds(const TSetupFacts& facts)
{
    const std::pair<const char*, const char*> formats[] = {
        {"$VstPluginFolder",
         "VST 2 plug-ins: a machine that knows no VST 2 folder (VstPluginsPath) needs "
         "/VST2DIR=\"FOLDER\", or /FORMATS= without vst2"},
        {"$PhotoshopPluginFolder",
         "a Photoshop plug-in: a machine without Photoshop needs /PSDIR=\"FOLDER\", or "
         "/FORMATS= without photoshop"},
    };
    std::vector<std::string> needs;
    needs.reserve(std::size(formats));
    for (const auto& format : formats)
        if (std::any_of(facts.ComponentLines.begin(), facts.ComponentLines.end(), [&](const TComponentLine& line) {
                return line.Destination.find(format.first) != std::string::npos;
            }))
            needs.emplace_back(format.second);
    return needs;
}

void WriteText(const fs::path& path, const std::string& text)
{
    std::ofstream file(path, std::ios::binary);
    file << text;
    file.close();
    if (!file) throw ESetupError(path.string() + ": cannot be written");
}

// Refuses a version winget's PackageVersion cannot hold.
void CheckWingetVersion(const std::string& version)
{
    bool bad = version.empty() || version.size() > 128 || std::any_of(version.begin(), version.end(), [](char c) {
                   return static_cast<unsigned char>(c) < 0x20 || std::strchr("\\/:*?\"<>|", c) != nullptr;
               });
    if (bad)
        throw ESetupError("the version \"" + version +
                          "\" cannot be a winget PackageVersion (up to 128 characters, none of \\ / : * ? \" < > |)");
}

}  // namespace

int WriteWingetManifests(const TWingetOptions& options, std::ostream& out, std::ostream& err)
{
    TInstallerFacts installer = ReadInstaller(options.Installer, true);
    const TSetupFacts& facts = installer.Facts();
    std::string publisherPart = IdentifierPart(installer.Model->RegisteredPublisher()),
                productPart = IdentifierPart(facts.ProductName);
    if (publisherPart.empty() || productPart.empty())
        throw ESetupError(options.Installer + ": no winget identifier can be made of the publisher \"" +
                          installer.Model->RegisteredPublisher() + "\" and the product name \"" + facts.ProductName +
                          "\"");
    TWingetPackage package;
    package.Identifier = publisherPart + "." + productPart;
    package.Version = installer.Model->VersionText();
    CheckWingetVersion(package.Version);
    package.Url = options.Url;
    package.Installer = fs::path(options.Installer).filename().string();
    TFileStream file(options.Installer, TFileStream::Mode::Read);
    package.Sha256 = UpperAscii(StreamSha256(file));

    fs::path folder = options.OutputFolder;
    if (folder.empty())
        folder = fs::path("manifests") / LowerAscii(package.Identifier.substr(0, 1)) / publisherPart / productPart /
                 package.Version;
    std::error_code ec;
    fs::create_directories(folder, ec);
    if (ec) throw ESetupError(folder.string() + ": cannot be created (" + ec.message() + ")");

    std::vector<std::string> placeholders;
    const std::pair<std::string, std::string> manifests[] = {
        {package.Identifier + ".yaml", VersionManifest(package)},
        {package.Identifier + ".installer.yaml", InstallerManifest(package, installer)},
        {package.Identifier + ".locale." + WingetLocale + ".yaml", LocaleManifest(package, installer, placeholders)},
    };
    for (const auto& [name, text] : manifests) {
        WriteText(folder / name, text);
        out << (folder / name).string() << "\n";
    }
    size_t installers = ScopesOf(facts).size() * (installer.CarriesArm64 ? 2 : 1);
    out << package.Identifier << " " << package.Version << ": " << installers << " installer entries, SHA-256 "
        << package.Sha256 << "\n"
        << "check with: winget validate --manifest " << folder.string() << "\n";
    fs::path locale = folder / (package.Identifier + ".locale." + WingetLocale + ".yaml");
    for (const std::string& placeholder : placeholders)
        err << "mksetup: warning: " << locale.string() << ": " << placeholder << "\n";
    for (const std::string& need : SilentRunNeeds(facts))
        err << "mksetup: note: the package holds " << need << " (winget install --custom)\n";
    return 0;
}

int PrintDeployment(const std::string& path, std::ostream& out)
{
    TInstallerFacts installer = ReadInstaller(path, false);
    const TSetupFacts& facts = installer.Facts();
    std::string version = installer.Model->VersionText();
    std::string key = std::string(UninstallRegistryKey + 1) + installer.RegistrationKey();
    std::string folder = FormatDefaultFolder(facts.DefaultFolder, facts.PackageVersion.Major);
    out << installer.DisplayName() << ", version " << version << ", from " << path << "\n";
    if (installer.PackageAlone) out << "  (run by the Setup.exe beside " << fs::path(path).filename().string() << ")\n";
    if (!installer.VolumeNames.empty()) {
        out << "  ship its " << installer.VolumeNames.size() << " volume files beside it:";
        for (const std::string& name : installer.VolumeNames) out << " " << name;
        out << "\n";
    }
    for (const TScope& scope : ScopesOf(facts)) {
        std::string programs = !scope.Machine  ? "%LOCALAPPDATA%\\Programs"
                               : facts.Is64Bit ? "%ProgramW6432%"
                                               : "%ProgramFiles(x86)%";
        std::string uninstaller = JoinPath(JoinPath(programs, folder), UninstallerFileName);
        out << "\n"
            << (scope.Machine ? "For everyone (administrator rights: run as the system, or elevated)"
                              : "For the user who runs it (no administrator rights: run as that user)")
            << "\n"
            << "  install    \"" << installer.ProgramName << "\" /S" << (scope.Switch.empty() ? "" : " ")
            << scope.Switch << " /LOG=\"%TEMP%\\" << LogName(facts, "Setup") << "\"\n"
            << "  uninstall  \"" << uninstaller << "\" /S\n"
            << "  detect     " << (scope.Machine ? "HKEY_LOCAL_MACHINE" : "HKEY_CURRENT_USER") << "\\" << key << "\n"
            << "             value DisplayVersion (a string) equals " << version << "\n";
        // Setup is a 32-bit program: its registration lies in the 32-bit view, whatever the product's bitness.
        if (scope.Machine)
            out << "             in the 32-bit registry view (on 64-bit Windows below SOFTWARE\\WOW6432Node;\n"
                   "             Intune: \"associated with a 32-bit app on 64-bit clients\")\n";
    }
    out << "\nThe uninstall commands name the default folder. An earlier installation of the same major\n"
           "version keeps its folder, and /DIR= chooses another: the installation registers its own\n"
           "command as QuietUninstallString, beside DisplayVersion under the detection key.\n";
    if (!facts.Is64Bit && facts.InstallFor != TInstallFor::CurrentUser)
        out << "On 32-bit Windows the folder for everyone is below %ProgramFiles%.\n";
    for (const std::string& need : SilentRunNeeds(facts)) out << "The package holds " << need << ".\n";

    out << "\nReturn codes (Setup and Uninst.exe alike)\n";
    for (const TDeployReturnCode& code : DeployReturnCodes()) {
        std::string number = std::to_string(code.Code);
        out << "  " << number << std::string(6 - std::min<size_t>(number.size(), 5), ' ') << code.Meaning << "\n";
    }

    for (const TScope& scope : ScopesOf(facts)) {
        out << "\nPowerShell detection, for " << (scope.Machine ? "everyone" : "one user")
            << " (exit code 0 and a line of output when installed)\n"
            << "  $view = [Microsoft.Win32.RegistryKey]::OpenBaseKey('"
            << (scope.Machine ? "LocalMachine" : "CurrentUser") << "', 'Registry32')\n"
            << "  $key = $view.OpenSubKey('" << ReplaceAll(key, "'", "''") << "')\n"
            << "  if ($key -and $key.GetValue('DisplayVersion') -eq '" << ReplaceAll(version, "'", "''") << "') {\n"
            << "      Write-Output '" << ReplaceAll(installer.DisplayName(), "'", "''") << " is installed'\n"
            << "      exit 0\n"
            << "  }\n"
            << "  exit 1\n";
    }
    return 0;
}
