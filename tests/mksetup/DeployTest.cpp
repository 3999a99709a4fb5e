#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <set>
#include <sstream>

#include "Builder.h"
#include "Deploy.h"
#include "Exception.h"
#include "NewProduct.h"
#include "Sha256.h"
#include "TextUtils.h"

namespace fs = std::filesystem;

namespace {

std::string ReadText(const fs::path& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

void WriteFile(const fs::path& path, const std::string& content)
{
    fs::create_directories(path.parent_path());
    std::ofstream(path, std::ios::binary) << content;
}

// A manifest as its readers see it: the top-level values, and each list's
// items with every key below them (nested maps flattened).
struct TYaml {
    std::map<std::string, std::string> Values;
    std::map<std::string, std::vector<std::map<std::string, std::string>>> Lists;
};

TYaml ReadYaml(const fs::path& path)
{
    TYaml yaml;
    std::istringstream lines(ReadText(path));
    std::string list;
    for (std::string line; std::getline(lines, line);) {
        if (line.empty() || line[0] == '#') continue;
        size_t indent = line.find_first_not_of(' '), colon = line.find(':', indent);
        bool item = line.compare(indent, 2, "- ") == 0;
        std::string key = line.substr(indent + (item ? 2 : 0), colon - indent - (item ? 2 : 0));
        std::string value = colon == std::string::npos ? line.substr(indent + 2) : Trim(line.substr(colon + 1));
        if (value.size() >= 2 && value.front() == '\'')
            value = ReplaceAll(value.substr(1, value.size() - 2), "''", "'");
        if (indent == 0 && !item) {
            list = key;
            yaml.Values[key] = value;
            continue;
        }
        if (item) yaml.Lists[list].emplace_back();
        if (!yaml.Lists[list].empty()) yaml.Lists[list].back()[colon == std::string::npos ? "" : key] = value;
    }
    return yaml;
}

std::string Noise(size_t size)
{
    std::string bytes(size, '\0');
    uint32_t x = 2463534242u;
    for (char& c : bytes) c = char((x ^= x << 13, x ^= x >> 17, x ^= x << 5) & 0xFF);
    return bytes;
}

// The items of a "|"-separated list.
std::vector<std::string> Items(const std::string& text)
{
    std::vector<std::string> items;
    std::istringstream list(text);
    for (std::string item; std::getline(list, item, '|');) items.push_back(item);
    return items;
}

enum class TKind { Installer, Volumes, DataAlone, NoInstaller };

// One product, built and handed to both commands; lists are "|"-separated.
struct TDeployCase {
    const char* Name;
    const char* Ini;      // below [Setup], besides the name, the folder and Languages=en; then [Components]
    const char* Payload;  // a file of the product besides Main\Readme.txt, or empty
    bool PlaceholderLicence;
    TKind Kind;
    const char* WingetError;  // empty when winget writes its manifests
    const char *Identifier, *Version, *ProductCode, *ArpPublisher;
    const char* Entries;  // "Architecture Scope Custom ElevationRequirement" of each installer entry
    const char* Placeholders;
    const char* DeploySays;  // besides each scope's commands and detection key
    const char* LocaleSays;  // "Key=value" besides the four values every locale has
};

const TDeployCase Cases[] = {
    {"64-bit, for everyone or one user",
     "Is64Bit=1\nInstallFor=Either\nPublisher=Example Audio\nRegistryRoot=Software\\Example Audio\\Echo\n"
     "DisplayVersion=1.2.0\nHelpLink=https://example.com/support\nURLUpdateInfo=ftp://example.com/echo\n"
     "InstallDescription=a tape echo with wow and flutter\n[Components]\nMain=$ProgramFolder\n",
     "", false, TKind::Installer, "", "ExampleAudio.Echo", "1.2.0", "Echo 1.20 (64-bit)", "Example Audio",
     "x64 machine /ALLUSERS elevatesSelf|x64 user /CURRENTUSER -", "",
     "\"%ProgramW6432%\\Example Audio\\Echo 1\\Uninst.exe\" /S|"
     "\"%LOCALAPPDATA%\\Programs\\Example Audio\\Echo 1\\Uninst.exe\" /S",
     "PublisherSupportUrl=https://example.com/support|PackageUrl="},
    {"32-bit, for everyone",
     "Publisher=Example Audio\nRegistryRoot=Software\\Example Audio\\Echo\nInstallDescription=Echo, a tape delay\n"
     "[Components]\nMain=$ProgramFolder\nVstX=$VstPluginFolder\n",
     "VstX/Echo.dll", false, TKind::Installer, "", "ExampleAudio.Echo", "1.20", "Echo 1.20", "Example Audio",
     "x86 machine - elevatesSelf", "", "\"%ProgramFiles(x86)%\\Example Audio\\Echo 1\\Uninst.exe\" /S|/VST2DIR=", ""},
    {"64-bit with ARM64 lines",
     "Is64Bit=1\nPublisher=Example Audio\nRegistryRoot=Software\\Example Audio\\Echo\nInstallDescription=Echo\n"
     "[Components]\nMain=$ProgramFolder\nVstArm=$VstPluginFolder,Machine: arm64\n",
     "VstArm/Echo.dll", false, TKind::Installer, "", "ExampleAudio.Echo", "1.20", "Echo 1.20 (64-bit)", "Example Audio",
     "x64 machine - elevatesSelf|arm64 machine - elevatesSelf", "ShortDescription", "", ""},
    {"64-bit with an ARM64X VST 3 bundle",
     "Is64Bit=1\nPublisher=Example Audio\nRegistryRoot=Software\\Example Audio\\Echo\nInstallDescription=a delay\n"
     "[Components]\nMain=$ProgramFolder\nVst3=$Vst3PluginFolder\n",
     "Vst3/Echo.vst3/Contents/arm64x-win/Echo.vst3", false, TKind::Installer, "", "ExampleAudio.Echo", "1.20",
     "Echo 1.20 (64-bit)", "Example Audio", "x64 machine - elevatesSelf|arm64 machine - elevatesSelf", "", "", ""},
    {"no publisher, description or licence title",
     "InstallFor=CurrentUser\nRegistryRoot=\\Software\\Tape Co\\Echo\n[Components]\nMain=$ProgramFolder\n", "", true,
     TKind::Installer, "", "TapeCo.Echo", "1.20", "Echo 1.20", "Tape Co", "x86 user - -",
     "Publisher|License|ShortDescription", "\"%LOCALAPPDATA%\\Programs\\Example Audio\\Echo 1\\Uninst.exe\" /S", ""},
    {"volumes beside the installer",
     "Publisher=Example Audio\nRegistryRoot=Software\\Example Audio\\Echo\n[Components]\nMain=$ProgramFolder\n", "",
     false, TKind::Volumes, "winget installs one file and this installer has %n volume files", "", "1.20", "Echo 1.20",
     "", "x86 machine", "", "ship its %n volume files beside it: Out-1.bin Out-2.bin", ""},
    {"a Setup.dat alone",
     "Publisher=Example Audio\nRegistryRoot=Software\\Example Audio\\Echo\n[Components]\nMain=$ProgramFolder\n", "",
     false, TKind::DataAlone, "is a setup package alone (Setup.dat)", "", "1.20", "Echo 1.20", "", "x86 machine", "",
     "\"Setup.exe\" /S /LOG=|(run by the Setup.exe beside Out.exe)", ""},
    {"not an installer", "", "", false, TKind::NoInstaller, "is neither an installer nor a setup package", "", "", "",
     "", "", "", "", ""},
};

class Deploy : public ::testing::Test {
protected:
    void TearDown() override
    {
        fs::current_path(Base);
        fs::remove_all(Root);
    }

    // Builds the case's product into a fresh Root/Out.exe (holding a Setup.dat
    // alone, or text); returns the number of volume files beside it.
    size_t Build(const TDeployCase& c)
    {
        TearDown();
        fs::path product = Root / "Product", output = Root / "Out.exe";
        if (c.Kind == TKind::NoInstaller) {
            WriteFile(output, "[Setup]\r\nProductName=Echo\r\n");
            return 0;
        }
        WriteFile(
            product / "Setup.ini",
            std::string("[Setup]\nProductName=Echo\nDefaultFolder=Example Audio\\Echo %d\nLanguages=en\n") + c.Ini);
        WriteFile(product / "Setup.lic", c.PlaceholderLicence ? std::string("Licence agreement for Echo\r\n\r\n") +
                                                                    PlaceholderLicenceLine + "\r\n"
                                                              : "Echo Licence Agreement\r\n\r\nUse it well.\r\n");
        WriteFile(product / "Main" / "Readme.txt", "r");
        if (*c.Payload) WriteFile(product / c.Payload, "d");
        if (c.Kind == TKind::Volumes) WriteFile(product / "Main" / "Noise.bin", Noise(200000));
        std::string stub = "MZ" + std::string(0x3A, '\0') + std::string("\x40\0\0\0", 4) + std::string("PE\0\0", 4);
        WriteFile(Root / "Setup.exe", stub + std::string(0x200 - stub.size(), '\0'));
        TBuildOptions o;
        o.ProductFolder = product.string();
        o.VersionText = "1.20";
        o.Output = output.string();
        o.Stub = (Root / "Setup.exe").string();
        o.DataOnly = c.Kind == TKind::DataAlone;
        o.VolumeSize = c.Kind == TKind::Volumes ? 64 << 10 : 0;
        o.Date = TDateParts{2025, 1, 2, 3, 4, 6};
        return BuildPackage(o).Package.Volumes.size();
    }

    // Below the build folder (CTest's working folder), inside the repository's out/.
    fs::path Base = fs::current_path(), Root = Base / ("mksetup-deploy-" + std::to_string(getpid()));
};

}  // namespace

TEST_F(Deploy, EachProductGetsItsManifestsAndCommands)
{
    const std::map<std::string, std::string> returnCodes = {{"2", "cancelledByUser"}, {"3", "systemNotSupported"},
                                                            {"4", "contactSupport"},  {"5", "invalidParameter"},
                                                            {"6", "fileInUse"},       {"1618", "installInProgress"}};
    for (const TDeployCase& c : Cases) {
        SCOPED_TRACE(c.Name);
        std::string volumes = std::to_string(Build(c));
        fs::path installer = Root / "Out.exe";
        fs::current_path(Root);  // the manifests go to their default folder below it
        std::ostringstream out, err, deploy;
        std::string wingetError, deployError;
        try {
            EXPECT_EQ(WriteWingetManifests({installer.string(), "https://example.com/Echo.exe", ""}, out, err), 0);
        } catch (const Exception& e) {
            wingetError = e.Message();
        }
        try {
            EXPECT_EQ(PrintDeployment(installer.string(), deploy), 0);
        } catch (const Exception& e) {
            deployError = e.Message();
        }
        if (c.Kind == TKind::NoInstaller) {
            EXPECT_NE(deployError.find(c.WingetError), std::string::npos) << deployError;
        } else {
            EXPECT_EQ(deployError, "");
        }
        if (*c.WingetError) {
            EXPECT_NE(wingetError.find(ReplaceAll(c.WingetError, "%n", volumes)), std::string::npos) << wingetError;
            EXPECT_FALSE(fs::exists(Root / "manifests"));
        }
        if (c.Kind == TKind::NoInstaller) continue;

        // deploy: each scope's install command, uninstall command and detection key.
        std::string said = deploy.str();
        for (const std::string& entry : Items(c.Entries)) {
            bool machine = entry.find(" machine") != std::string::npos;
            std::string scopeSwitch = entry.find(" /ALLUSERS") != std::string::npos      ? " /ALLUSERS"
                                      : entry.find(" /CURRENTUSER") != std::string::npos ? " /CURRENTUSER"
                                                                                         : "";
            std::string program = c.Kind == TKind::DataAlone ? "Setup.exe" : "Out.exe";
            for (const std::string& text :
                 {"\"" + program + "\" /S" + scopeSwitch + " /LOG=",
                  std::string(machine ? "HKEY_LOCAL_MACHINE" : "HKEY_CURRENT_USER") +
                      "\\Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\" + c.ProductCode + "\n",
                  std::string("DisplayVersion (a string) equals ") + c.Version + "\n",
                  "OpenBaseKey('" + std::string(machine ? "LocalMachine" : "CurrentUser") + "', 'Registry32')"})
                EXPECT_NE(said.find(text), std::string::npos) << text << "\n" << said;
        }
        for (const std::string& text : Items(c.DeploySays))
            EXPECT_NE(said.find(ReplaceAll(text, "%n", volumes)), std::string::npos) << text << "\n" << said;
        for (const auto& [code, response] : returnCodes) EXPECT_NE(said.find("\n  " + code + " "), std::string::npos);
        if (*c.WingetError) continue;

        // winget: three files where the community repository keeps them.
        std::string identifier = c.Identifier, publisher = identifier.substr(0, identifier.find('.'));
        fs::path folder = Root / "manifests" / LowerAscii(publisher.substr(0, 1)) / publisher /
                          identifier.substr(publisher.size() + 1) / c.Version;
        TYaml version = ReadYaml(folder / (identifier + ".yaml"));
        TYaml setup = ReadYaml(folder / (identifier + ".installer.yaml"));
        TYaml locale = ReadYaml(folder / (identifier + ".locale.en-US.yaml"));
        for (const TYaml* yaml : {&version, &setup, &locale}) {
            EXPECT_EQ(yaml->Values.at("PackageIdentifier"), c.Identifier);
            EXPECT_EQ(yaml->Values.at("PackageVersion"), c.Version);
            EXPECT_EQ(yaml->Values.at("ManifestVersion"), WingetManifestVersion);
        }
        EXPECT_EQ(version.Values.at("DefaultLocale"), "en-US");
        EXPECT_EQ(setup.Values.at("ProductCode"), c.ProductCode);
        EXPECT_EQ(setup.Values.at("UpgradeBehavior"), "install");
        const auto& arp = setup.Lists.at("AppsAndFeaturesEntries").at(0);
        EXPECT_EQ(arp.at("ProductCode"), c.ProductCode);
        EXPECT_EQ(arp.at("Publisher"), c.ArpPublisher);
        EXPECT_EQ(arp.at("DisplayVersion"), c.Version);
        std::map<std::string, std::string> codes;
        for (const auto& item : setup.Lists.at("ExpectedReturnCodes"))
            codes[item.at("InstallerReturnCode")] = item.at("ReturnResponse");
        EXPECT_EQ(codes, returnCodes);

        std::string bytes = ReadText(installer);
        std::string sha = UpperAscii(TSha256::Hex(TSha256::Of(bytes.data(), bytes.size())));
        std::vector<std::string> entries;
        for (auto item : setup.Lists.at("Installers")) {
            EXPECT_EQ(item["InstallerSha256"], sha);
            EXPECT_EQ(item["InstallerUrl"], "https://example.com/Echo.exe");
            EXPECT_EQ(item["Silent"], "/S");
            EXPECT_EQ(item["InstallLocation"], "/DIR=\"<INSTALLPATH>\"");
            EXPECT_EQ(item["Log"], "/LOG=\"<LOGPATH>\"");
            auto shown = [&](const char* key) { return item.count(key) ? item[key] : std::string("-"); };
            entries.push_back(item["Architecture"] + " " + item["Scope"] + " " + shown("Custom") + " " +
                              shown("ElevationRequirement"));
        }
        EXPECT_EQ(entries, Items(c.Entries));

        std::set<std::string> placeholders;
        for (const char* key : {"Publisher", "PackageName", "License", "ShortDescription"})
            if (locale.Values.at(key).compare(0, 10, "<fill in: ") == 0) {
                placeholders.insert(key);
                EXPECT_NE(err.str().find(std::string(key) + " is a placeholder"), std::string::npos) << err.str();
            }
        std::vector<std::string> expected = Items(c.Placeholders);
        EXPECT_EQ(placeholders, std::set<std::string>(expected.begin(), expected.end())) << err.str();
        for (const std::string& said : Items(c.LocaleSays))
            EXPECT_EQ(locale.Values[said.substr(0, said.find('='))], said.substr(said.find('=') + 1)) << said;
        EXPECT_EQ(locale.Values.at("License"),
                  placeholders.count("License") ? "<fill in: licence, such as Proprietary>" : "Echo Licence Agreement");
    }
}

// The return codes deployment tools are given are the programs' own: every
// exit code of README's table, and each a row of docs/deploy.md.
TEST_F(Deploy, ReturnCodesAgreeWithTheDocuments)
{
    std::string readme = ReadText(fs::path(SETUP_SOURCE_DIR) / "README.md");
    std::string guide = ReadText(fs::path(SETUP_SOURCE_DIR) / "docs" / "deploy.md");
    std::set<int> documented, given;
    for (size_t at = 0; (at = readme.find("\n| exit code ", at)) != std::string::npos; ++at)
        documented.insert(std::atoi(readme.c_str() + at + 13));
    for (const TDeployReturnCode& code : DeployReturnCodes()) {
        given.insert(code.Code);
        EXPECT_NE(guide.find("\n| " + std::to_string(code.Code) + " |"), std::string::npos) << code.Code;
        EXPECT_EQ(code.WingetResponse == nullptr, code.Code <= 1) << code.Code;
    }
    EXPECT_EQ(documented, given);
}
