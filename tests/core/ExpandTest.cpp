#include <gtest/gtest.h>

#include "Exception.h"
#include "SetupModel.h"
#include "TestPackages.h"

namespace {

// A model with folders filled in, as after discovery.
class TExpandModel : public TSetupModel {
public:
    TExpandModel()
    {
        FFacts.ProductName = "Echo";
        FFacts.RegistryRoot = "\\Software\\Maker\\Echo";
        FFacts.BundleRegistryRoot = "\\Software\\Maker\\Bundle";
        FFacts.PackageVersion = MakeVersion("2.23");
        Choices.InstallFolder = "C:\\Program Files\\Maker\\Echo\\";
        Choices.Vst2Folder = "C:\\VstPlugins\\";
        Choices.Vst3Folder = "C:\\Program Files\\Common Files\\VST3";
        Choices.DigiFolder = "C:\\Program Files\\Common Files\\Digidesign\\DAE\\Plug-Ins\\";
        Choices.AaxFolder = "C:\\Program Files\\Common Files\\Avid\\Audio\\Plug-Ins\\";
        Choices.PhotoshopFolder = "C:\\Photoshop\\Plug-ins\\";
        FMachine.DocumentsFolder = "C:\\Users\\me\\Documents";
        FMachine.AppDataFolder = "C:\\Users\\me\\AppData\\Roaming";
    }
    // The facts as a test sets them.
    TSetupFacts& Facts() { return FFacts; }
    TMachineFacts& Machine() { return FMachine; }
    std::string Remembered;
    TSettingPath Asked;

protected:
    std::string ReadFolderSetting(const TSettingPath& path) const override
    {
        const_cast<TExpandModel*>(this)->Asked = path;
        return Remembered;
    }
};

TSetupBundleItem Item(const std::string& name, const std::string& version = "1.00", const std::string& product = "")
{
    return TSetupBundleItem("$BundleItem", PartsToDosDateTime({2024, 1, 1, 0, 0, 0}), name, version,
                            product.empty() ? name : product);
}

}  // namespace

TEST(ExpandVariables, UnchosenFormatsGiveTheEmptyText)
{
    TExpandModel m;
    EXPECT_EQ(m.ExpandVariables("$VstPluginFolder", nullptr), "C:\\VstPlugins");
    m.Choices.InstallVst2 = false;
    EXPECT_EQ(m.ExpandVariables("$VstPluginFolder", nullptr), "");
    EXPECT_EQ(m.ExpandVariables("$VstPluginFolder\\Sub", nullptr), "");
    m.Choices.InstallVst3 = false;
    EXPECT_EQ(m.ExpandVariables("$Vst3ProgramFolder\\VST3", nullptr), "");
    m.Choices.InstallRtas = false, m.Choices.InstallAax = false, m.Choices.InstallPhotoshop = false;
    for (const char* text : {"$DigiPluginFolder", "$AaxPluginFolder", "$PhotoshopPluginFolder"})
        EXPECT_EQ(m.ExpandVariables(text, nullptr), "") << text;
    EXPECT_EQ(m.ExpandVariables("$ProgramFolder", nullptr), "C:\\Program Files\\Maker\\Echo");
}

TEST(ExpandVariables, OnlyTheFirstOccurrenceOfEachIsReplaced)
{
    TExpandModel m;
    EXPECT_EQ(m.ExpandVariables("$ProgramFolder\\a;$ProgramFolder\\b", nullptr),
              "C:\\Program Files\\Maker\\Echo\\a;$ProgramFolder\\b");
    EXPECT_EQ(m.ExpandVariables("$Documents\\Echo|$ApplicationData\\Echo|$Unknown", nullptr),
              "C:\\Users\\me\\Documents\\Echo|C:\\Users\\me\\AppData\\Roaming\\Echo|$Unknown");
    EXPECT_EQ(m.ExpandVariables("$programfolder", nullptr), "$programfolder");
}

TEST(ExpandVariables, FoldersEntriesInListOrderAndTheirVariables)
{
    TExpandModel m;
    m.Facts().Folders = {"Pre=$Documents\\Pre\\", "Presets=$ProgramFolder\\Presets"};
    // "%Pre" matches the start of "%Presets": the replacement looks no further.
    EXPECT_EQ(m.ExpandVariables("%Presets", nullptr), "C:\\Users\\me\\Documents\\Presets");
    EXPECT_EQ(m.ExpandVariables("%Pre\\x", nullptr), "C:\\Users\\me\\Documents\\Pre\\x");
    // A gated variable that enters through a folder value is not gated.
    m.Facts().Folders = {"Vst=$VstPluginFolder"};
    m.Choices.InstallVst2 = false;
    EXPECT_EQ(m.ExpandVariables("%Vst\\Echo.dll", nullptr), "C:\\VstPlugins\\Echo.dll");
}

TEST(ExpandVariables, FoldersRememberedByAnEarlierInstallationOfTheSameMajor)
{
    TExpandModel m;
    m.Facts().Folders = {"Samples=$Documents\\Echo Samples"};
    m.Facts().FoldersRegistry = {"samples=Paths\\SampleFolder"};
    m.Remembered = "D:\\Samples";
    EXPECT_EQ(m.FolderValue(0), "$Documents\\Echo Samples");  // no earlier installation
    m.Machine().HasPreviousInstall = true;
    m.Machine().PreviousVersion = MakeVersion("2.10");
    m.Machine().PreviousVersionKey = "2.0";
    EXPECT_EQ(m.FolderValue(0), "D:\\Samples\\");
    EXPECT_EQ(m.Asked.Key, "\\Software\\Maker\\Echo\\2.0\\Paths");
    EXPECT_EQ(m.Asked.ValueName, "SampleFolder");
    EXPECT_EQ(m.ExpandVariables("%Samples\\Kits", nullptr), "D:\\Samples\\Kits");
    m.Machine().PreviousVersion = MakeVersion("1.50");
    EXPECT_EQ(m.FolderValue(0), "$Documents\\Echo Samples");
}

TEST(ExpandVariables, BundleItemsAndTheirFilters)
{
    TExpandModel m;
    TSetupBundleItem x = Item("X", "1.00", "Echo X"), y = Item("Y");
    EXPECT_EQ(m.ExpandVariables("$BundleItem(X)\\Sub", &x), "X\\Sub");
    EXPECT_EQ(m.ExpandVariables("$BundleItem(X)\\Sub", &y), "");
    EXPECT_EQ(m.ExpandVariables("$BundleItem(X)\\Sub", nullptr), "");
    EXPECT_EQ(m.ExpandVariables("$BundleItemProductName", nullptr), "");
    EXPECT_EQ(m.ExpandVariables("$ProgramFolder\\$BundleItemProductName\\$BundleItem", &x),
              "C:\\Program Files\\Maker\\Echo\\Echo X\\X");
    EXPECT_EQ(m.ExpandVariables("$BundleItem-$BundleItem", &y), "Y-Y");
    EXPECT_EQ(m.ExpandVariables("$BundleItem(unclosed", &y), "Y(unclosed");
    TSetupBundleItem odd = Item("$BundleItem");
    EXPECT_EQ(m.ExpandVariables("$BundleItem", &odd), "$BundleItem");
}

TEST(ExpandText, VariablesInOrderAndInsertedTextOnlySeesLaterSteps)
{
    TExpandModel m;
    m.Facts().Is64Bit = true;
    m.Facts().PersonalizeInfo = "For $ProductName$BitSuffix.";
    EXPECT_EQ(m.ExpandText("$PersonalizeInfo"), "For $ProductName (64-bit).");
    EXPECT_EQ(m.ExpandText("$ProductName $ProductName $ProductVersion"), "Echo Echo 2.23");
    EXPECT_EQ(m.BitSuffix(), " (64-bit)");
    m.Facts().Is64Bit = false;
    EXPECT_EQ(m.ExpandText("[$BitSuffix]"), "[]");
}

TEST(ExpandText, FullProductName)
{
    TExpandModel m;
    m.Facts().ProductName = "Echo 2";
    EXPECT_EQ(m.ExpandText("$FullProductName"), "Echo 2.23");
    m.Facts().IsBundle = true;
    EXPECT_EQ(m.ExpandText("$FullProductName"), "Echo 2");
    m.Facts().IsBundle = false;
    m.Facts().ProductSuffix = "Studio";
    EXPECT_EQ(m.FullProductName(), "Echo 2.23 Studio");
    EXPECT_EQ(ProductNameWithVersion("Delay 12", MakeVersion("12.00")), "Delay 12 12.00");
    EXPECT_EQ(ProductNameWithVersion("Delay", MakeVersion("0.90")), "Delay");
    EXPECT_EQ(ProductNameWithVersion("3", MakeVersion("3.00")), "3 3.00");
}

TEST(SettingPaths, SplitBelowTheProductKeyOrTheBundleRoot)
{
    TExpandModel m;
    TSettingPath plain = m.SplitSettingPath("HelpFileName", "2.0", nullptr);
    EXPECT_EQ(plain.Key, "\\Software\\Maker\\Echo\\2.0");
    EXPECT_EQ(plain.ValueName, "HelpFileName");
    TSettingPath nested = m.SplitSettingPath("Paths\\Presets", "2.0", nullptr);
    EXPECT_EQ(nested.Key, "\\Software\\Maker\\Echo\\2.0\\Paths");
    EXPECT_EQ(nested.ValueName, "Presets");
    TSettingPath unnamed = m.SplitSettingPath("Paths\\", "2.0", nullptr);
    EXPECT_EQ(unnamed.ValueName, "");
    TSetupBundleItem x = Item("X", "3.40");
    m.Facts().IgnoreMinorVersion = false;
    TSettingPath item = m.SplitSettingPath("$BundleItem\\Path", "2.0", &x);
    EXPECT_EQ(item.Key, "\\Software\\Maker\\Bundle\\X\\3.4");
    EXPECT_EQ(m.SplitSettingPath("Path", "2.0", &x).Key, "");
}

TEST(DefaultFolder, FormatsOneIntegerSafely)
{
    EXPECT_EQ(FormatDefaultFolder("Maker\\Echo %d", 2), "Maker\\Echo 2");
    EXPECT_EQ(FormatDefaultFolder("Maker\\Echo", 2), "Maker\\Echo");
    EXPECT_EQ(FormatDefaultFolder("100%% Audio\\Echo %d", 3), "100% Audio\\Echo 3");
    EXPECT_EQ(FormatDefaultFolder("Echo %3d|", 12), "Echo  12|");
    EXPECT_EQ(FormatDefaultFolder("Echo %-3d|", 12), "Echo 12 |");
    EXPECT_EQ(FormatDefaultFolder("Echo %.3d", 12), "Echo 012");
    EXPECT_EQ(FormatDefaultFolder("Echo %02d", 1), "Echo  1");  // a width pads with blanks; the precision with zeros
    EXPECT_EQ(FormatDefaultFolder("Echo %x %0:u", 12), "Echo C 12");  // an index may reuse the one argument
    EXPECT_EQ(FormatDefaultFolder("Echo %X", 0xBEEF), "Echo BEEF");
    EXPECT_EQ(FormatDefaultFolder("Echo %d", -2), "Echo -2");
    EXPECT_EQ(FormatDefaultFolder("Echo %x", -1), "Echo FFFFFFFF");
    EXPECT_EQ(FormatDefaultFolder("Echo %u", -1), "Echo 4294967295");
    EXPECT_EQ(FormatDefaultFolder("Echo %.3d", -7), "Echo -007");
    for (const char* bad : {"Echo %s", "Echo %d %d", "Echo %", "Echo %n", "Echo %1:d", "Echo %p", "%d%s",
                            "Echo %5.2f"}) {
        try {
            FormatDefaultFolder(bad, 2);
            ADD_FAILURE() << "accepted " << bad;
        } catch (const EFormatError& e) {
            EXPECT_EQ(e.Message(), std::string("Format '") + bad + "' invalid or incompatible with argument");
        }
    }
}
