#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <functional>
#include <fstream>
#include <sstream>

#include "ProductCheck.h"

namespace fs = std::filesystem;

namespace {

void Write(const fs::path& path, const std::string& content)
{
    fs::create_directories(path.parent_path());
    std::ofstream(path, std::ios::binary) << content;
}

const std::string GoodIni =
    "[Setup]\r\nProductName=Echo\r\nPublisher=Maker\r\nRegistryRoot=Software\\Maker\\Echo\r\nDefaultFolder=Maker\\Echo %d\r\n"
    "[Components]\r\nMain=$ProgramFolder\r\nVst3=$Vst3PluginFolder\r\n";

// GoodIni with more [Setup] lines: a second [Setup] section would be a mistake of its own.
std::string GoodIniWith(const std::string& setupLines)
{
    std::string ini = GoodIni;
    return ini.insert(ini.find("[Components]"), setupLines);
}

// The head of a JPEG picture of that size: start, frame header, end.
std::string JpegHeader(int width, int height)
{
    std::string bytes = "\xFF\xD8\xFF\xC0";
    bytes += std::string("\x00\x11\x08", 3);
    for (int value : {height, width}) {
        bytes += char(value >> 8);
        bytes += char(value & 0xFF);
    }
    bytes += std::string("\x03\x01\x22\x00\x02\x11\x01\x03\x11\x01", 10);
    return bytes + "\xFF\xD9";
}

// The head of a Windows program file built for that machine (0x14C x86, 0x8664 x64).
std::string ProgramHead(unsigned machine)
{
    std::string bytes = "MZ" + std::string(0x3A, '\0') + std::string("\x40\0\0\0", 4);
    return bytes + std::string("PE\0\0", 4) + char(machine & 0xFF) + char(machine >> 8) + std::string(18, '\0');
}

// The fixture as a 64-bit product whose VST 3 plug-in is a bundle with its x64
// binary, and with `moduleInfo` in Contents/Resources when given.
void MakeVst3Bundle(const fs::path& root, const std::string& moduleInfo = "")
{
    Write(root / "Setup.ini", GoodIniWith("Is64Bit=1\r\n"));
    fs::remove(root / "Vst3" / "Echo.dll");
    Write(root / "Vst3" / "Echo.vst3" / "Contents" / "x86_64-win" / "Echo.vst3", ProgramHead(0x8664));
    if (!moduleInfo.empty())
        Write(root / "Vst3" / "Echo.vst3" / "Contents" / "Resources" / "moduleinfo.json", moduleInfo);
}

// A product folder that checks clean, changed by each case.
class ProductCheck : public ::testing::Test {
protected:
    void SetUp() override
    {
        // Below the build folder (CTest's working folder), inside the repository's out/.
        Root = fs::current_path() / ("mksetup-check-" + std::to_string(getpid()) + "-" +
                                     ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(Root);
        Write(Root / "Setup.ini", GoodIni);
        Write(Root / "Setup.lic", "Licence\r\n");
        Write(Root / "Setup.jpg", JpegHeader(150, 350));
        Write(Root / "Main" / "Readme.txt", "r");
        Write(Root / "Vst3" / "Echo.dll", "d");
    }
    void TearDown() override { fs::remove_all(Root); }

    // The report lines without the folder, and the number of errors.
    std::pair<std::string, int> Check(const std::string& version = "2.10", bool werror = false)
    {
        TProgramVersion parsed;
        parsed.ParseText(version);
        std::ostringstream out;
        int errors = ReportDiagnostics(CheckProduct(Root.string(), parsed), werror, out);
        std::string text = out.str();
        for (size_t at; (at = text.find(Root.string() + "/")) != std::string::npos;) text.erase(at, Root.string().size() + 1);
        return {text, errors};
    }

    fs::path Root;
};

}  // namespace

TEST_F(ProductCheck, ACleanProductHasNothingToSay)
{
    EXPECT_EQ(Check(), std::make_pair(std::string("0 errors, 0 warnings\n"), 0));
}

TEST_F(ProductCheck, ErrorsThatWouldStopTheInstaller)
{
    struct Case {
        std::function<void(const fs::path&)> Break;
        std::string Expected;
    } cases[] = {
        {[](const fs::path& r) { fs::remove(r / "Setup.lic"); },
         "Setup.lic:1: error: is missing; the installer cannot run without it"},
        // Every pair of files that would land on one, in one run, and every path Windows cannot hold.
        {[](const fs::path& r) {
             Write(r / "Setup.ini", GoodIni + "Docs=$ProgramFolder\r\n");
             Write(r / "Main" / "Manual.pdf", "m");
             Write(r / "Docs" / "manual.pdf", "m");
             Write(r / "Vst3" / "Echo.vst3", "v");
         },
         "Docs/manual.pdf:1: error: lands on the same file as \"Main/Manual.pdf\": \"C:\\Program Files\\Product\\manual.pdf\""},
        {[](const fs::path& r) {
             Write(r / "Setup.ini", GoodIni + "Docs=$ProgramFolder\r\n");
             Write(r / "Main" / "Manual.pdf", "m");
             Write(r / "Docs" / "manual.pdf", "m");
             Write(r / "Vst3" / "Echo.vst3", "v");
         },
         "Vst3/Echo.dll:1: error: lands on the same file as \"Vst3/Echo.vst3\""},
        {[](const fs::path& r) {
             std::string level(60, 'a');
             Write(r / "Main" / level / level / level / level / "Preset.fxp", "p");
         },
         "Preset.fxp\", 290 characters; Windows allows 259: shorten its folders or its name"},
        // Every link, in one run: one out of the folder would carry the maker's files to customers.
        {[](const fs::path& r) {
             fs::create_directory_symlink("/etc", r / "Main" / "Secrets");
             fs::create_symlink("../Main/Readme.txt", r / "Vst3" / "Readme.txt");
         },
         "Main:1: error: \"Secrets\" is a link to \"/etc\", outside the product folder"},
        {[](const fs::path& r) {
             fs::create_directory_symlink("/etc", r / "Main" / "Secrets");
             fs::create_symlink("../Main/Readme.txt", r / "Vst3" / "Readme.txt");
         },
         "Vst3:1: error: \"Readme.txt\" is a link to \"../Main/Readme.txt\" inside the product folder"},
        {[](const fs::path& r) { fs::remove(r / "Setup.jpg"); },
         "Setup.jpg:1: error: is missing; the wizard's side picture is required"},
        {[](const fs::path& r) { Write(r / "Setup.ini", "[Setup]\r\nProductName=Echo\r\nDefaultFolder=D\r\n"); },
         "Setup.ini:1: error: Invalid configuration in Setup.ini: RegistryRoot is missing"},
        {[](const fs::path& r) { Write(r / "Setup.ini", GoodIni + "[Setup]\r\nProductName=E\r\nRegistryRoot=R\r\nDefaultFolder=D %s\r\n"); },
         "Setup.ini:12: error: Format 'D %s' invalid or incompatible with argument"},
        {[](const fs::path& r) { Write(r / "Setup.ini", GoodIni + "[Setup]\r\nProductName=E\r\nRegistryRoot=R\r\nDefaultFolder=D\r\nIsBundle=1\r\n"); },
         "Setup.ini:9: error: Invalid configuration in Setup.ini: a bundle needs BundleRegistryRoot"},
        {[](const fs::path& r) {
             Write(r / "Setup.ini", GoodIni + "[Setup]\r\nProductName=E\r\nRegistryRoot=R\r\nDefaultFolder=D\r\nIsBundle=1\r\nBundleRegistryRoot=B\r\n");
         },
         "BundleInfo.ini:1: error: is missing; a bundle lists its products there"},
        {[](const fs::path& r) {
             Write(r / "Setup.ini", GoodIni + "[Setup]\r\nProductName=E\r\nRegistryRoot=R\r\nDefaultFolder=D\r\nIsBundle=1\r\nBundleRegistryRoot=B\r\n");
             Write(r / "BundleInfo.ini", "A=1.20\r\nB=x.5\r\n");
         },
         "BundleInfo.ini:2: error: 'x.5' is not a valid version number"},
        {[](const fs::path& r) {
             Write(r / "Setup.ini", GoodIni + "[Setup]\r\nProductName=E\r\nRegistryRoot=R\r\nDefaultFolder=D\r\nIsBundle=1\r\nBundleRegistryRoot=B\r\n");
             Write(r / "BundleInfo.ini", "A=24.00\r\n");
         },
         "BundleInfo.ini:1: error: Invalid argument to time encode"},
        // Every name in one run, each at the folder that holds it.
        {[](const fs::path& r) {
             Write(r / "Main" / "C:drive.txt", "x");
             Write(r / "Main" / "Sub" / "aux.txt", "x");
             Write(r / "Vst3" / "t.txt.", "x");
             Write(r / "Vst3" / (std::string(60, 'L') + "\xE6\x97\xA5.dll"), "x");
         },
         "Main:1: error: \"C:drive.txt\" cannot go into a package: the name contains \":\"\n"
         "Main/Sub:1: error: \"aux.txt\" cannot go into a package: the name is a device name that Windows reserves\n"
         "Vst3:1: error: \"" + std::string(60, 'L') + "\xE6\x97\xA5.dll\" cannot go into a package: the name is "
         "longer than 63 bytes (it has 67)\n"
         "Vst3:1: error: \"t.txt.\" cannot go into a package: the name ends in a dot or a blank, which Windows drops"},
        {[](const fs::path& r) { Write(r / "Setup.jpg", std::string("\x89PNG\r\n\x1A\n\0\0\0\rIHDR", 16)); },
         "Setup.jpg:1: error: is a PNG picture, not a JPEG; the wizard cannot show it"},
        {[](const fs::path& r) { Write(r / "Setup@2x.jpg", "a picture will follow\r\n"); },
         "Setup@2x.jpg:1: error: is text, not a JPEG picture; the wizard cannot show it"},
        {[](const fs::path& r) { Write(r / "Setup.jpg", JpegHeader(150, 350).substr(0, 6)); },
         "Setup.jpg:1: error: is a JPEG picture that ends before its frame header"},
        {[](const fs::path& r) {
             std::string wide;
             for (char c : GoodIni) wide += std::string{c, '\0'};
             Write(r / "Setup.ini", wide);
         },
         "Setup.ini:1: error: is saved as UTF-16 without a byte-order mark, which the installer cannot read"},
        {[](const fs::path& r) { Write(r / "Setup.ini", GoodIni + "[Texts.pt]\r\n[Texts.en]\r\nFolderInUse=Busy\r\n"); },
         "Setup.ini:9: error: \"[Texts.pt]\": \"pt\" is none of the languages en, ar,"},
        {[](const fs::path& r) { Write(r / "Setup.ini", GoodIni + "[Texts.en]\r\nFolderInUse=Busy\r\n"); },
         "Setup.ini:10: error: the text of FolderInUse has other %s placeholders than the program's: \"Another Setup"},
        {[](const fs::path& r) { Write(r / "Setup.ini", GoodIni + "Arm=$VstPluginFolder,Machine: arm46\r\n"); },
         "Setup.ini:9: error: \"arm46\" is no machine; the machines are x64, arm64, arm64ec and arm64x"},
        {[](const fs::path& r) { Write(r / "Uninst.exe", "MZ"); },
         "Uninst.exe:1: error: is a name the package keeps for the uninstaller that build --sign signs"},
        // What would ship an installer without a part of the product.
        {[](const fs::path& r) { Write(r / "Setup.ini", GoodIni + "Aax=$AaxPluginFolder\r\n"); },
         "Setup.ini:9: error: \"Aax\" names no folder of the product; add the folder or remove the line"},
        {[](const fs::path& r) { fs::remove(r / "Vst3" / "Echo.dll"); },
         "Vst3:1: error: is empty, so its [Components] line installs nothing; put its files here or remove the line"},
        {[](const fs::path& r) { Write(r / "Setup.ini", GoodIni + "[Shortcuts]\r\nDesktop=$ProgramFolder\\Manual.pdf,Manual\r\n"); },
         "Setup.ini:10: error: the shortcut's target \"$ProgramFolder\\Manual.pdf\" is no file that a [Components] line "
         "installs"},
        {[](const fs::path& r) {
             Write(r / "Setup.ini", "[Setup]\r\nProdcutName=Echo\r\nRegistryRoot=R\r\nDefaultFolder=D\r\n[Components]\r\n"
                                    "Main=$ProgramFolder\r\n");
         },
         "Setup.ini:1: error: ProductName is missing; the wizard and the list of installed programs would show no name"},
        {[](const fs::path& r) {
             Write(r / "Setup.ini", "[Setup]\r\nProductName=Echo\r\nRegistryRoot=R\r\nDefaultFolder=D\r\n[Component]\r\n"
                                    "Main=$ProgramFolder\r\n");
         },
         "Setup.ini:1: error: no [Components] line: the installer would install nothing"},
        // Built for the other bitness than the package: it lands where its hosts never look.
        {[](const fs::path& r) { Write(r / "Vst3" / "Echo.dll", ProgramHead(0x8664)); },
         "Vst3/Echo.dll:1: error: is a 64-bit program in a 32-bit package (Is64Bit=0)"},
        {[](const fs::path& r) {
             Write(r / "Setup.ini",
                   GoodIni + "[Setup]\r\nProductName=E\r\nPublisher=M\r\nRegistryRoot=R\r\nDefaultFolder=D\r\nIs64Bit=1\r\n");
             Write(r / "Vst3" / "Echo.dll", ProgramHead(0x14C));
         },
         "Vst3/Echo.dll:1: error: is a 32-bit program in a 64-bit package (Is64Bit=1)"},
        {[](const fs::path& r) {
             fs::remove(r / "Vst3" / "Echo.dll");
             Write(r / "Vst3" / "Echo.vst3" / "Contents" / "x86_64-win" / "Echo.vst3", "v");
         },
         "Vst3/Echo.vst3/Contents/x86_64-win:1: error: holds 64-bit plug-ins in a 32-bit package (Is64Bit=0)"},
        // A VST 3 bundle as hosts read it: each architecture folder's binary built for its machine.
        {[](const fs::path& r) {
             MakeVst3Bundle(r);
             Write(r / "Vst3" / "Echo.vst3" / "Contents" / "x86_64-win" / "Echo.vst3", ProgramHead(0xAA64));
         },
         "Vst3/Echo.vst3/Contents/x86_64-win/Echo.vst3:1: error: is built for ARM64, but x86_64-win holds x64 "
         "binaries: the hosts that look there cannot load it"},
        {[](const fs::path& r) {
             MakeVst3Bundle(r);
             Write(r / "Vst3" / "Echo.vst3" / "Contents" / "arm64-win" / "Echo.vst3", ProgramHead(0x8664));
         },
         "Contents/arm64-win/Echo.vst3:1: error: is built for x64, but arm64-win holds ARM64 binaries"},
        {[](const fs::path& r) {
             MakeVst3Bundle(r);
             Write(r / "Vst3" / "Echo.vst3" / "Contents" / "arm64ec-win" / "Echo.vst3", ProgramHead(0xAA64));
         },
         "Contents/arm64ec-win/Echo.vst3:1: error: is built for ARM64, but arm64ec-win holds ARM64EC (machine x64) "
         "binaries"},
        {[](const fs::path& r) {
             MakeVst3Bundle(r);
             Write(r / "Vst3" / "Echo.vst3" / "Contents" / "arm64x-win" / "Echo.vst3", ProgramHead(0x8664));
         },
         "Contents/arm64x-win/Echo.vst3:1: error: is built for x64, but arm64x-win holds ARM64X (machine ARM64) "
         "binaries"},
        {[](const fs::path& r) {
             MakeVst3Bundle(r);
             Write(r / "Vst3" / "Echo.vst3" / "Contents" / "x86_64-win" / "Echo.vst3", "v");
         },
         "Vst3/Echo.vst3/Contents/x86_64-win/Echo.vst3:1: error: is no Windows program (no PE header): hosts cannot "
         "load it"},
        // Of the other bitness: said once, by the bitness check.
        {[](const fs::path& r) {
             MakeVst3Bundle(r);
             Write(r / "Vst3" / "Echo.vst3" / "Contents" / "x86_64-win" / "Echo.vst3", ProgramHead(0x14C));
         },
         "x86_64-win/Echo.vst3:1: error: is a 32-bit program in a 64-bit package (Is64Bit=1): hosts of that bitness "
         "never look where it would be installed\n1 error, 0 warnings"},
        // Its module information: hosts pass over the whole file at its first fault.
        {[](const fs::path& r) { MakeVst3Bundle(r, "{\n  \"Name\": \"Echo\",\n}\n"); },
         "Vst3/Echo.vst3/Contents/Resources/moduleinfo.json:3: error: is not valid JSON: a comma before \"}\"; hosts "
         "cannot read the plug-in's module information from it"},
        {[](const fs::path& r) { MakeVst3Bundle(r, "{\n  \"Name\": \"Echo\n\"}"); },
         "moduleinfo.json:2: error: is not valid JSON: a line break inside a string (write \\n)"},
        {[](const fs::path& r) { MakeVst3Bundle(r, "{\"Path\": \"C:\\Echo\"}"); },
         "moduleinfo.json:1: error: is not valid JSON: \"\\E\" is no escape (a backslash is written \\\\)"},
        {[](const fs::path& r) { MakeVst3Bundle(r, "{\n  'Name': \"Echo\"\n}"); },
         "moduleinfo.json:2: error: is not valid JSON: \"'\" where a name in double quotes belongs"},
        {[](const fs::path& r) { MakeVst3Bundle(r, "{\n  \"A\": [1, 2]\n  \"B\": 3\n}"); },
         "moduleinfo.json:3: error: is not valid JSON: \",\" is missing between two members (found a string)"},
        {[](const fs::path& r) { MakeVst3Bundle(r, "{\"A\": [1, 2,]}"); }, "is not valid JSON: a comma before \"]\""},
        {[](const fs::path& r) { MakeVst3Bundle(r, "{\"A\": tru}"); },
         "is not valid JSON: \"tru\" where a value belongs"},
        {[](const fs::path& r) { MakeVst3Bundle(r, "{\"A\": 012}"); },
         "is not valid JSON: a number with a leading zero"},
        {[](const fs::path& r) { MakeVst3Bundle(r, "{\"A\": -.5}"); },
         "is not valid JSON: a number without its digits"},
        {[](const fs::path& r) { MakeVst3Bundle(r, "{\"A\": \"\\u00G9\"}"); },
         "is not valid JSON: a \\u escape without four hexadecimal digits"},
        {[](const fs::path& r) { MakeVst3Bundle(r, "{\n\"A\": [1,\n2"); },
         "moduleinfo.json:3: error: is not valid JSON: the file ends before the value is complete"},
        {[](const fs::path& r) { MakeVst3Bundle(r, "{}\n{}"); },
         "moduleinfo.json:2: error: is not valid JSON: more follows the end of the value"},
        // An AAX bundle: Pro Tools loads the binary named like the bundle.
        {[](const fs::path& r) {
             Write(r / "Setup.ini", GoodIniWith("Is64Bit=1\r\n") + "Aax=$AaxPluginFolder\r\n");
             Write(r / "Aax" / "Echo.aaxplugin" / "Contents" / "x64" / "Echo.dll", ProgramHead(0x8664));
         },
         "Aax/Echo.aaxplugin:1: error: has no \"Contents/x64/Echo.aaxplugin\", the binary named like the bundle that "
         "Pro Tools loads; found \"Contents/x64/Echo.dll\""},
        {[](const fs::path& r) {
             Write(r / "Setup.ini", GoodIniWith("Is64Bit=1\r\n") + "Aax=$AaxPluginFolder\r\n");
             Write(r / "Aax" / "Echo.aaxplugin" / "Contents" / "Resources" / "Echo.png", "p");
         },
         "Aax/Echo.aaxplugin:1: error: has no \"Contents/x64/Echo.aaxplugin\", the binary named like the bundle that "
         "Pro Tools loads; found no Contents/x64 folder"},
        // A plug-in binary that poses as a program and is none: damaged, of another system, empty, never fetched.
        {[](const fs::path& r) { Write(r / "Vst3" / "Echo.dll", "MZ" + std::string(62, '\0')); },
         "Vst3/Echo.dll:1: error: is no Windows program (no PE header): hosts cannot load it"},
        {[](const fs::path& r) { Write(r / "Vst3" / "Echo.dll", std::string("\xCF\xFA\xED\xFE\x07\x00\x00\x01", 8)); },
         "Vst3/Echo.dll:1: error: is no Windows program (no PE header)"},
        {[](const fs::path& r) { Write(r / "Vst3" / "Echo.dll", ""); },
         "Vst3/Echo.dll:1: error: is no Windows program (no PE header)"},
        {[](const fs::path& r) {
             Write(r / "Vst3" / "Echo.dll", "version https://git-lfs.github.com/\noid sha256:4d7a21\nsize 52\n");
         },
         "Vst3/Echo.dll:1: error: is a Git LFS pointer, not the program: fetch the file (git lfs pull) before "
         "building"},
        // A second [Setup] without the first one's keys: the errors that follow are explained first.
        {[](const fs::path& r) { Write(r / "Setup.ini", GoodIni + "[Setup]\r\nProductName=E\r\n"); },
         "Setup.ini:9: warning: [Setup] appears again (first on line 1); the installer reads only the last [Setup], so "
         "it never sees Publisher, RegistryRoot and DefaultFolder given before it: merge them into one\n"
         "Setup.ini:9: error: Invalid configuration in Setup.ini: RegistryRoot is missing"},
        {[](const fs::path& r) {
             std::string cmyk = JpegHeader(150, 350);
             cmyk[11] = 4;
             Write(r / "Setup.jpg", cmyk);
         },
         "Setup.jpg:1: error: is a CMYK (or YCCK) JPEG picture; save it in RGB; the wizard cannot show it"},
        // The installer never expands an unknown variable: the path would be written wherever it lands.
        {[](const fs::path& r) { Write(r / "Setup.ini", GoodIni + "[Complete]\r\nReadme=$ProgramFolders\\Readme.txt\r\n"); },
         "Setup.ini:10: error: \"$ProgramFolders\" is no variable the installer knows; did you mean \"$ProgramFolder\"?"},
        {[](const fs::path& r) { Write(r / "Setup.ini", GoodIni + "VstX=$VSTPluginFolder\r\n"); },
         "Setup.ini:9: error: \"$VSTPluginFolder\" is no variable the installer knows; did you mean \"$VstPluginFolder\"?"},
        {[](const fs::path& r) { Write(r / "Setup.ini", GoodIni + "[Setup]\r\nProductName=E\r\nRegistryRoot=R\r\nDefaultFolder=C:\\Program Files\\Echo\r\n"); },
         "Setup.ini:12: error: DefaultFolder \"C:\\Program Files\\Echo\" is a full path"},
        {[](const fs::path& r) { Write(r / "Setup.ini", GoodIni + "[Shortcuts\r\nStartMenu=$ProgramFolder\\Readme.txt,Readme\r\n"); },
         "Setup.ini:9: error: \"[Shortcuts\" is a section header without its \"]\""},
        // An unknown whom-for would install for everyone, unasked.
        {[](const fs::path& r) {
             Write(r / "Setup.ini", GoodIni + "[Setup]\r\nProductName=E\r\nRegistryRoot=R\r\nDefaultFolder=D\r\nInstallFor=Me\r\n");
         },
         "Setup.ini:13: error: InstallFor \"Me\" is none of AllUsers, CurrentUser and Either"},
    };
    for (const Case& c : cases) {
        TearDown();
        SetUp();
        c.Break(Root);
        auto [text, errors] = Check();
        EXPECT_NE(text.find(c.Expected), std::string::npos) << c.Expected << "\n---\n" << text;
        EXPECT_GE(errors, 1) << text;
    }
}

TEST_F(ProductCheck, WarningsForWhatIsLegalButAlmostCertainlyWrong)
{
    struct Case {
        std::string Ini;
        std::string Expected;
        std::string Version = "2.10";
    } cases[] = {
        // What deployment tools compare: the version as they read it, and the maker's name.
        {"", "the version 2.11 reads as 2.1.1 here and as 2.11 to winget and other deployment tools", "2.11"},
        {"[Setup]\r\nProductName=E\r\nRegistryRoot=R\r\nDefaultFolder=D\r\n", "warning: no Publisher in [Setup]"},
        {"[Compnents]\r\nMain=$ProgramFolder\r\n", "Setup.ini:9: warning: \"[Compnents]\" is no section the installer "
                                                   "reads; did you mean \"[Components]\"?"},
        {"[Pages]\r\nVstPluginFoldr=1\r\n",
         "Setup.ini:10: warning: \"VstPluginFoldr\" is no key of [Pages]; did you mean \"VstPluginFolder\"?"},
        {"[ComponentsOptions]\r\nMain=Keep\r\nmain=NoOverwrite\r\n",
         "warning: \"Keep\" is no option; the only one is \"NoOverwrite\""},
        {"[ComponentsOptions]\r\nmain=NoOverwrite\r\n",
         "warning: \"main\" matches no [Components] key exactly (the match is case-sensitive)"},
        {"[Shortcuts]\r\nstartmenu=$ProgramFolder\\Readme.txt\r\n",
         "warning: \"startmenu\" is skipped by the installation; write \"StartMenu\""},
        {"[FoldersRegistry]\r\nPresets=Paths\\Presets\r\n", "warning: \"Presets\" has no [Folders] entry"},
        {"[RegistrySettings]\r\nDelay=#25O\r\n", "warning: \"#25O\" is written as text, not as a number"},
        {"[InstalledFiles]\r\n1=Readme.txt\r\n",
         "warning: no line for major version 2: an installation of this version is never found again"},
        {"[RegistrySettings]\r\nDelay\r\n", "Setup.ini:10: warning: \"Delay\" has no \"=\"; the installer passes it over"},
        {"[Shortcuts]\r\nStartMenu=$ProgramFolder\\Readme.txt\r\n",
         "Setup.ini:10: warning: a shortcut without a caption (\"StartMenu=TARGET,CAPTION\")"},
        {"[Shortcuts]\r\nDekstop=$ProgramFolder\\Readme.txt,Readme\r\n",
         "warning: \"Dekstop\" is no shortcut location; did you mean \"Desktop\"?"},
        {"[Shortcuts]\r\nTaskbar=$ProgramFolder\\Readme.txt,Readme\r\n",
         "warning: \"Taskbar\" is no shortcut location; the locations are StartMenu, Desktop and ProgramFolder"},
        {"[Setup]\r\nProductName=E\r\nRegistryRoot=R\r\nDefaultFolder=Verbiage %02d\r\n",
         "Setup.ini:12: warning: \"%02d\" pads the number with blanks, not zeros; write \"%.2d\" for a zero-padded one"},
        {"[Setup]\r\nProductName=E\r\nRegistryRoot=R\r\nDefaultFolder=D\r\nDisplayVersion=3.0.1\r\n",
         "Setup.ini:13: warning: DisplayVersion \"3.0.1\" is shown for the version record 2.10, whose major number 2 "
         "decides the folder, the registry key and upgrades"},
        {"[Setup]\r\nProductName=E\r\nRegistryRoot=R\r\nDefaultFolder=D\r\nInstallFor=CurrentUser\r\n[Components]\r\n"
         "Main=$ProgramFolder\r\nVst3=$AaxPluginFolder\r\n",
         "Setup.ini:13: warning: InstallFor=CurrentUser leaves out every line to $AaxPluginFolder"},
        {"[Texts.en]\r\nNotEnoughSpac=The drive is full.\r\nNotEnoughSpace=Full.\\nFree some space.\r\n",
         "Setup.ini:10: warning: \"NotEnoughSpac\" is no message; the installer passes it over; did you mean "
         "\"NotEnoughSpace\"?"},
        {"[Pages]\r\nWelcome=1\r\n", "warning: \"Welcome\" is no key of [Pages]; its keys are VstPluginFolder, "
                                      "DigiPluginFolder, PhotoshopPluginFolder and Personalization"},
        // Given twice: the installer reads the last section of a name, and its last key.
        {"[Setup]\r\nProductName=E\r\nPublisher=M\r\nRegistryRoot=R\r\nDefaultFolder=D\r\n",
         "Setup.ini:9: warning: [Setup] appears again (first on line 1); the installer reads only the last [Setup]: "
         "merge them into one"},
        {"[Components]\r\nMain=$ProgramFolder\r\nVst3=$Vst3PluginFolder\r\n",
         "Setup.ini:9: warning: [Components] appears again (first on line 6); the installer reads only the last "
         "[Components], so it never reads the 2 lines before it: merge them into one"},
        {"[Pages]\r\nVstPluginFolder=1\r\n[pages]\r\n[Pages]\r\nDigiPluginFolder=1\r\n",
         "Setup.ini:11: warning: [pages] appears again (first on line 9); the installer reads only the last [pages] "
         "(line 12): merge them into one\nSetup.ini:12: warning: [Pages] appears again (first on line 9); the "
         "installer reads only the last [Pages], so it never sees VstPluginFolder given before it"},
        {"[Pages]\r\nVstPluginFolder=1\r\nvstpluginfolder = 0\r\n",
         "Setup.ini:11: warning: vstpluginfolder is given again (first on line 10); the installer takes the last"},
        {"[Texts.en]\r\nNotEnoughSpace=Full.\r\nNotEnoughSpace=Full!\r\n",
         "Setup.ini:11: warning: NotEnoughSpace is given again (first on line 10); the installer takes the last"},
    };
    for (const Case& c : cases) {
        Write(Root / "Setup.ini", GoodIni + c.Ini);
        auto [text, errors] = Check(c.Version);
        EXPECT_NE(text.find(c.Expected), std::string::npos) << c.Expected << "\n---\n" << text;
        EXPECT_EQ(errors, 0) << text;
        EXPECT_GE(Check(c.Version, true).second, 1) << "--werror turns the warning into an error";
    }
}

TEST_F(ProductCheck, FolderContentWarnings)
{
    struct Case {
        std::function<void(const fs::path&)> Change;
        std::string Expected;  // empty: the product checks clean
    } cases[] = {
        {[](const fs::path& r) { Write(r / "Main" / "Icons" / "desktop.ini", "[.ShellClassInfo]\r\n"); },
         "Main/Icons/desktop.ini:1: warning: has no PlugIn.ico beside it"},
        {[](const fs::path& r) {
             fs::remove(r / "Vst3" / "Echo.dll");
             Write(r / "Vst3" / "Readme.txt", "r");
         },
         "Setup.ini:8: warning: a VST 3 line whose folder holds no DLL and no .vst3 file or bundle"},
        {[](const fs::path& r) {
             fs::remove(r / "Vst3" / "Echo.dll");
             Write(r / "Vst3" / "Echo.vst3", "v");
         },
         ""},
        {[](const fs::path& r) {
             Write(r / "Setup.ini", GoodIniWith("Is64Bit=1\r\n"));
             fs::remove(r / "Vst3" / "Echo.dll");
             Write(r / "Vst3" / "Echo.vst3" / "Contents" / "x86_64-win" / "Echo.vst3", ProgramHead(0x8664));
         },
         ""},
        // Shortcuts to what the product installs, the uninstaller among it.
        {[](const fs::path& r) {
             Write(r / "Setup.ini", GoodIni + "[Shortcuts]\r\nStartMenu=$ProgramFolder\\Readme.txt,Readme\r\n"
                                              "ProgramFolder=$ProgramFolder\\Uninst.exe,Remove\r\n"
                                              "Desktop=$Vst3PluginFolder\\Echo.vst3,Echo\r\n");
         },
         ""},
        {[](const fs::path& r) { Write(r / "Setup.ini", GoodIniWith("DisplayVersion=2.1.10\r\n")); },
         ""},  // the version users see beside the record 2.10
        {[](const fs::path& r) {
             std::string wide = "\xFF\xFE";
             for (char c : GoodIni) wide += std::string{c, '\0'};
             Write(r / "Setup.ini", wide);
         },
         ""},  // UTF-16 with its mark is read as written
        {[](const fs::path& r) { Write(r / "Extras" / "Manual.pdf", "m"); },
         "Extras:1: warning: is packed, but no [Components] line installs it"},
        {[](const fs::path& r) { Write(r / "Setup@2x.jpg", JpegHeader(150, 350)); },
         "Setup@2x.jpg:1: warning: is 150x350; the side picture is 300x700 and is stretched to fit"},
        // One installer for x64 and ARM64 machines: each line's binaries must be built for its machine.
        {[](const fs::path& r) {
             Write(r / "Setup.ini", GoodIniWith("Is64Bit=1\r\n") +
                                        "X64=$VstPluginFolder,Machine: x64\r\nArm=$VstPluginFolder,Machine: arm64\r\n");
             Write(r / "X64" / "Echo.dll", ProgramHead(0x8664));
             Write(r / "Arm" / "Echo.dll", ProgramHead(0xAA64));
         },
         ""},
        {[](const fs::path& r) {
             Write(r / "Setup.ini", GoodIni + "Arm=$VstPluginFolder,Machine: arm64\r\n"
                                              "[Setup]\r\nProductName=E\r\nRegistryRoot=R\r\nDefaultFolder=D\r\nIs64Bit=1\r\n");
             Write(r / "Arm" / "Echo.dll", ProgramHead(0x8664));
         },
         "Arm/Echo.dll:1: warning: is built for x64, but its [Components] line says Machine: arm64"},
        {[](const fs::path& r) { Write(r / "Setup.ini", "\xEF\xBB\xBF" + GoodIni); }, ""},  // the installer drops the mark
        {[](const fs::path& r) {
             std::string level(60, 'a');
             Write(r / "Main" / level / level / level / (std::string(21, 'p') + ".fxp"), "p");
         },
         "p.fxp\", 244 characters of the 259 Windows allows: a customer who chooses a deeper folder cannot install it"},
        // What the customer reads: the licence page shows plain text, a readme opens by its name.
        {[](const fs::path& r) { Write(r / "Setup.lic", "{\\rtf1\\ansi\\deff0 Licence\\par}\r\n"); },
         "Setup.lic:1: warning: is RTF; the licence page shows plain text, so the customer would read its markup: save "
         "it as plain text"},
        {[](const fs::path& r) {
             Write(r / "Setup.de.lic", "\xEF\xBB\xBF \r\n\r\n<!DOCTYPE HTML>\r\n<html>Lizenz</html>");
         },
         "Setup.de.lic:1: warning: is HTML; the licence page shows plain text"},
        {[](const fs::path& r) { Write(r / "Main" / "Readme.txt", "<html><body>Read me</body></html>"); },
         "Main/Readme.txt:1: warning: is HTML, but its name ends in \".txt\", so Windows opens it as plain text and "
         "the customer would read its markup: name it \".htm\", or save it as plain text"},
        {[](const fs::path& r) { Write(r / "Main" / "Docs" / "README.htm", "{\\rtf1 Read me}"); },
         "Main/Docs/README.htm:1: warning: is RTF, but its name ends in \".htm\", so Windows opens it as a web page"},
        {[](const fs::path& r) {
             Write(r / "Main" / "Readme.rtf", "{\\rtf1 Read me}");
             Write(r / "Main" / "ReadmeFirst.html", "<!doctype html><p>Read me</p>");
             Write(r / "Main" / "Notes.txt", "{\\rtf1 Notes}");  // no readme: opened by no one
         },
         ""},
        // VST 3 bundles of every architecture, with their module information where hosts read it.
        {[](const fs::path& r) {
             MakeVst3Bundle(r, R"({
  "Name": "Echo",
  "Factory Info": {"Vendor": "Maker \"Audio\"", "URL": "https:\/\/example.com", "Flags": {"Unicode": true}},
  "Compatibility": [],
  "Classes": [{"CID": "5D0C", "Cardinality": 2147483647, "Snapshots": null, "Gain": -1.5e-3, "Name": "\u00C9cho\t"}]
})");
             fs::path contents = r / "Vst3" / "Echo.vst3" / "Contents";
             Write(contents / "arm64-win" / "Echo.vst3", ProgramHead(0xAA64));
             Write(contents / "arm64ec-win" / "Echo.vst3", ProgramHead(0x8664));
             Write(contents / "arm64x-win" / "Echo.vst3", ProgramHead(0xAA64));
             Write(r / "Vst3" / "._Echo.dll", std::string("\0\x05\x16\x07", 4));  // left out of the package
         },
         ""},
        {[](const fs::path& r) {
             MakeVst3Bundle(r, "{}");
             Write(r / "Vst3" / "Echo.vst3" / "Contents" / "moduleinfo.json", "{}");
         },
         "Vst3/Echo.vst3/Contents/moduleinfo.json:1: warning: belongs in Contents/Resources, where hosts read the "
         "module information; move it there"},
        {[](const fs::path& r) {
             Write(r / "Setup.ini", GoodIniWith("Is64Bit=1\r\n") + "Aax=$AaxPluginFolder\r\n");
             Write(r / "Aax" / "Echo.aaxplugin" / "Contents" / "x64" / "Echo.aaxplugin", ProgramHead(0x8664));
         },
         ""},
        // 2 GiB in all (sparse files) is no mistake: the data past it goes to volumes.
        {[](const fs::path& r) {
             for (const char* name : {"A.wav", "B.wav"}) {
                 Write(r / "Main" / name, "");
                 fs::resize_file(r / "Main" / name, uintmax_t(1) << 30);
             }
         },
         ""},
    };
    for (const Case& c : cases) {
        TearDown();
        SetUp();
        c.Change(Root);
        auto [text, errors] = Check();
        if (c.Expected.empty())
            EXPECT_EQ(text, "0 errors, 0 warnings\n");
        else
            EXPECT_NE(text.find(c.Expected), std::string::npos) << c.Expected << "\n---\n" << text;
        EXPECT_EQ(errors, 0) << text;
    }
}

TEST_F(ProductCheck, TheExamplesCheckClean)
{
    TProgramVersion version;
    version.ParseText("1.20");
    std::ostringstream out;
    EXPECT_EQ(ReportDiagnostics(CheckProduct(SETUP_EXAMPLES_DIR "/ExampleEcho", version), false, out), 0);
    EXPECT_EQ(out.str(), "0 errors, 0 warnings\n");
}
