#include <gtest/gtest.h>

#include <map>

#include "Exception.h"
#include "Messages.h"
#include "SetupModel.h"
#include "TestPackages.h"

namespace {

// Files as the package would hand them over; a missing one is the file-open error.
struct TFiles {
    std::map<std::string, std::vector<std::string>> Files;
    std::vector<std::string> Opened;
    TSetupModel::TTextLoader Loader()
    {
        return [this](const std::string& name) {
            Opened.push_back(name);
            auto it = Files.find(name);
            if (it == Files.end()) throw EFOpenError("Cannot open file \"" + name + "\".");
            return it->second;
        };
    }
};

std::vector<std::string> MinimalIni(std::vector<std::string> extra = {})
{
    std::vector<std::string> lines = {"[Setup]", "ProductName=Echo", "RegistryRoot=Software\\Maker\\Echo",
                                      "DefaultFolder=Maker\\Echo %d"};
    lines.insert(lines.end(), extra.begin(), extra.end());
    return lines;
}

TSetupModel Load(std::vector<std::string> ini, std::vector<std::string> lic = {"Licence"}, bool wow64 = true,
                 const std::string& version = "2.23")
{
    TFiles files;
    files.Files["Setup.ini"] = std::move(ini);
    files.Files["Setup.lic"] = std::move(lic);
    TSetupModel model;
    model.SetPackageStamp(MakeVersion(version), 0);
    model.LoadConfiguration(files.Loader(), wow64);
    return model;
}

std::string LoadError(TFiles& files)
{
    TSetupModel model;
    try {
        model.LoadConfiguration(files.Loader(), true);
    } catch (const Exception& e) {
        return e.Message();
    }
    return "(loaded)";
}

}  // namespace

TEST(SetupModel, DefaultsOfAMinimalConfiguration)
{
    TSetupModel m = Load(MinimalIni());
    EXPECT_FALSE(m.Facts().Is64Bit);
    EXPECT_FALSE(m.Facts().IsBundle);
    EXPECT_EQ(m.Facts().ProductName, "Echo");
    EXPECT_EQ(m.Facts().InstallDescription, "Echo");  // "$ProductName" after substitution
    EXPECT_TRUE(m.Facts().IgnoreMinorVersion);
    EXPECT_EQ(m.Facts().PageFlags, 0u);
    EXPECT_EQ(m.CompleteMessage(),
              "Echo has been installed successfully. You can start Echo from the Start menu or the desktop. Please "
              "read the Readme.txt file for additional information.");
    EXPECT_EQ(m.Facts().ShortcutKinds, 0u);
    EXPECT_TRUE(m.Facts().Components.empty());
    EXPECT_TRUE(m.Facts().BundleItems.empty());
}

TEST(SetupModel, RegistryRootsGetALeadingBackslash)
{
    EXPECT_EQ(Load(MinimalIni()).Facts().RegistryRoot, "\\Software\\Maker\\Echo");
    TSetupModel given = Load({"[Setup]", "RegistryRoot=\\Software\\X", "DefaultFolder=X"});
    EXPECT_EQ(given.Facts().RegistryRoot, "\\Software\\X");
}

TEST(SetupModel, LicenceLinesEachEndInCrLf)
{
    EXPECT_EQ(Load(MinimalIni(), {"One", "Two", "Three"}).Facts().LicenseText, "One\r\nTwo\r\nThree\r\n");
    EXPECT_EQ(Load(MinimalIni(), {}).Facts().LicenseText, "");
}

TEST(SetupModel, MissingFilesAndInvalidConfigurationsStopTheLoad)
{
    TFiles files;
    EXPECT_EQ(LoadError(files), "Cannot open file \"Setup.ini\".");

    files.Files["Setup.ini"] = {"[Setup]", "ProductName=No root"};
    // Setup.lic is read before the configuration is checked.
    EXPECT_EQ(LoadError(files), "Cannot open file \"Setup.lic\".");

    files.Files["Setup.lic"] = {"x"};
    EXPECT_EQ(LoadError(files), "Invalid configuration in Setup.ini");
    files.Files["Setup.ini"] = {"[Setup]", "RegistryRoot=R"};
    EXPECT_EQ(LoadError(files), "Invalid configuration in Setup.ini");

    files.Files["Setup.ini"] = MinimalIni({"IsBundle=1"});
    EXPECT_EQ(LoadError(files), "Invalid configuration in Setup.ini");
    files.Files["Setup.ini"] = MinimalIni({"IsBundle=0"});
    EXPECT_EQ(LoadError(files), "(loaded)");

    files.Files["Setup.ini"] = MinimalIni({"IsBundle=1", "BundleRegistryRoot=Software\\Maker\\Bundle"});
    EXPECT_EQ(LoadError(files), "Cannot open file \"BundleInfo.ini\".");
}

TEST(SetupModel, IgnoreMinorVersionDecidesTheVersionKey)
{
    TSetupModel absent = Load(MinimalIni());
    EXPECT_EQ(absent.FormatVersionKey(2, 2), "2.0");
    TSetupModel off = Load(MinimalIni({"IgnoreMinorVersion=0"}));
    EXPECT_EQ(off.FormatVersionKey(2, 2), "2.2");
    TSetupModel word = Load(MinimalIni({"IgnoreMinorVersion=yes"}));
    EXPECT_TRUE(word.Facts().IgnoreMinorVersion);
}

TEST(SetupModel, PagesShortcutsAndLists)
{
    TSetupModel m = Load(MinimalIni({"[pages]", "VstPluginFolder=1", "DigiPluginFolder=0",
                                     "PhotoshopPluginFolder=$1", "Personalization=yes", "[Shortcuts]",
                                     "desktop=$ProgramFolder\\Echo.exe", "ProgramFolder=x"}));
    EXPECT_EQ(m.Facts().PageFlags, unsigned(pfVstPluginFolder | pfPhotoshopPluginFolder));
    EXPECT_EQ(m.Facts().ShortcutKinds, unsigned(skDesktop));
    EXPECT_EQ(m.Facts().Shortcuts.size(), 2u);
}

TEST(SetupModel, WelcomeNoteIsKeptFor64BitProductsOrOn64BitWindows)
{
    std::vector<std::string> note = {"WelcomeWin64=$ProductName runs as 32-bit$BitSuffix."};
    EXPECT_EQ(Load(MinimalIni(note), {"l"}, true).Facts().WelcomeNote, "Echo runs as 32-bit.");
    EXPECT_EQ(Load(MinimalIni(note), {"l"}, false).Facts().WelcomeNote, "");
    note.push_back("Is64Bit=1");
    EXPECT_EQ(Load(MinimalIni(note), {"l"}, false).Facts().WelcomeNote, "Echo runs as 32-bit (64-bit).");
}

TEST(SetupModel, CompleteMessageShowsNoVariable)
{
    TSetupModel m = Load(MinimalIni({"InstallDescription=the $ProductName plug-ins", "[Complete]",
                                     "Message=Done: $InstallDescription.", "Readme=$ProgramFolder\\Readme.txt"}));
    // InstallDescription's own variables are replaced too, not shown as written.
    EXPECT_EQ(m.CompleteMessage(), "Done: the Echo plug-ins.");
    EXPECT_EQ(m.Facts().InstallDescription, "the Echo plug-ins");
    EXPECT_EQ(m.Facts().CompleteReadme, "$ProgramFolder\\Readme.txt");
}

TEST(SetupModel, BundleItemsFromBundleInfo)
{
    TFiles files;
    files.Files["Setup.ini"] = MinimalIni({"IsBundle=1", "BundleRegistryRoot=Software\\Maker\\Bundle",
                                           "BundleItemName=$BundleItem Edition"});
    files.Files["Setup.lic"] = {"x"};
    files.Files["BundleInfo.ini"] = {"[Items]", "", "=1.00", "A=1.20", "B=2.02 beta 1, B Deluxe", "no equals"};
    TSetupModel m;
    m.SetPackageStamp(TProgramVersion(), PartsToDosDateTime({2024, 3, 15, 23, 0, 0}));
    m.LoadConfiguration(files.Loader(), true);
    EXPECT_EQ(m.Facts().BundleRegistryRoot, "\\Software\\Maker\\Bundle");
    ASSERT_EQ(m.Facts().BundleItems.size(), 2u);
    const TSetupBundleItem& a = m.Facts().BundleItems[0];
    EXPECT_EQ(a.ItemName, "A");
    EXPECT_EQ(a.ItemProductName, "A");
    EXPECT_EQ(a.ItemVersion.AsText(), "1.20");
    EXPECT_EQ(a.DisplayName, "A Edition 1.20");
    EXPECT_EQ(m.Choices.Items, std::vector<bool>(2, true));
    // 23:00 plus 1 hour 20 minutes passes midnight.
    EXPECT_EQ(a.ItemDate, PartsToDosDateTime({2024, 3, 16, 0, 20, 0}));
    const TSetupBundleItem& b = m.Facts().BundleItems[1];
    EXPECT_EQ(b.ItemProductName, " B Deluxe");  // not trimmed
    EXPECT_EQ(b.ItemVersion.Beta, 1);
    EXPECT_EQ(b.DisplayName, "B Edition 2.02 beta 1");
    EXPECT_EQ(files.Opened, (std::vector<std::string>{"Setup.ini", "Setup.lic", "BundleInfo.ini"}));
}

TEST(SetupModel, BundleItemVersionsOutOfRangeStopTheLoad)
{
    auto error = [](const std::string& version) {
        try {
            TSetupBundleItem item("$BundleItem", PartsToDosDateTime({2024, 1, 1, 0, 0, 0}), "X", version, "X");
        } catch (const Exception& e) {
            return e.Message();
        }
        return std::string("(built)");
    };
    EXPECT_EQ(error("23.59"), "(built)");
    EXPECT_EQ(error("24.00"), "Invalid argument to time encode");
    EXPECT_EQ(error("1.60"), "Invalid argument to time encode");
    EXPECT_EQ(error("x1.00"), "'x1.00' is not a valid version number");
    TSetupBundleItem late("$BundleItem", PartsToDosDateTime({2024, 1, 1, 23, 0, 0}), "X", "2.00", "X");
    EXPECT_EQ(late.ItemDate, PartsToDosDateTime({2024, 1, 2, 1, 0, 0}));
}

TEST(SetupModel, TheMakersTextsInTheChosenLanguageTakeThePlaceOfTheProgramsOwn)
{
    TSetupModel m = Load(
        MinimalIni({"[Texts.en]", "NotEnoughSpace=The drive is full.\\nFree some space.",
                    "FileInstallFailed=%s is busy", "FolderInUse=No placeholder here", "NoSuchMessage=x",
                    "NothingSelected=", "[texts.DE]", "NothingSelected=Bitte mindestens ein Element w\xC3\xA4hlen."}));
    struct Case {
        const char* language;
        std::map<int, std::string> texts;
        std::vector<std::string> refused;
    } cases[] = {
        {"en",
         {{Msg::NotEnoughSpace, "The drive is full.\rFree some space."}, {Msg::FileInstallFailed, "%s is busy"}},
         {"FolderInUse of [Texts.en]: its %s placeholders are not the program's text's",
          "NoSuchMessage of [Texts.en]: no text has that name", "NothingSelected of [Texts.en]: it is empty"}},
        // The installer's own German, with the maker's over it.
        {"de",
         {{Msg::NothingSelected, "Bitte mindestens ein Element w\xC3\xA4hlen."},
          {Msg::NotEnoughSpace, "Voll.\rBitte Platz schaffen."},
          {Msg::BitSuffix, " (64 Bit)"}},
         {"FolderInUse of the installer's de texts: its %s placeholders are not the program's text's"}},
        {"fr", {}, {}},  // no section: the program's own texts
    };
    m.LoadLanguageTables({"; the installer's own", "[Texts.de]", "NothingSelected=Nichts gew\xC3\xA4hlt.",
                          "NotEnoughSpace=Voll.\\nBitte Platz schaffen.", "BitSuffix=\" (64 Bit)\"",
                          "FolderInUse=%s %s", "[Texts.en]", "NotEnoughSpace=not taken: English is the program's own"});
    EXPECT_EQ(m.Facts().SpokenLanguages(), (std::vector<std::string>{"en", "de"}));
    for (const Case& c : cases) {
        m.Choices.Language = c.language;
        std::vector<std::string> refused;
        EXPECT_EQ(m.MessageTexts(&refused), c.texts) << c.language;
        EXPECT_EQ(refused, c.refused) << c.language;
    }
    // Laid over the program's texts, and taken off again.
    m.Choices.Language = "en";
    SetMessageTexts(m.MessageTexts());
    EXPECT_EQ(FormatMessageText(Msg::FileInstallFailed, {"a.dll"}), "a.dll is busy");
    EXPECT_EQ(LoadMessage(Msg::NothingSelected), "You need to install at least one item.");
    SetMessageTexts({});
    EXPECT_EQ(LoadMessage(Msg::FileInstallFailed), LoadStoredMessage(Msg::FileInstallFailed));
}
