#pragma once
// TSetupInstaller: the setup model on the machine. Its constructor finds the
// package, reads the configuration, finds the system folders, an earlier
// installation, the install folder, the plug-in folders and the user's name.
#include <algorithm>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "FolderLock.h"
#include "FolderRule.h"
#include "InstallProgress.h"
#include "Installer.h"
#include "PathUtils.h"
#include "ProgramFile.h"
#include "Registry.h"
#include "RunLog.h"
#include "SetupModel.h"
#include "SetupSwitches.h"

// What the Destination page's checks found: whether the folder can be used,
// and the warning to show when it cannot (empty when a question was declined).
struct TDestinationCheck {
    bool Ok = false;
    std::string Warning;
    // The folder itself is no place for the product (forbidden, not creatable,
    // another product's), as against a question answered No or a full drive.
    bool FolderRefused = false;
};

// How long a run without a window waits for another Setup or uninstaller in
// its folder before it gives up (milliseconds); the wizard does not wait.
constexpr unsigned long SilentFolderLockWait = 5 * 60 * 1000;

class TSetupInstaller : public TSetupModel {
public:
    // `programPath`: the installer program whose package is read; the running
    // module unless a test names another.
    explicit TSetupInstaller(const std::string& programPath = ModuleFileName());

    TInstaller& Installer() { return *FInstaller; }
    // How long the run waits for the folder's lock (see TFolderLock) before it
    // fails with EFolderInUse; once taken, it is held until the run has ended.
    unsigned long FolderLockWait = 0;

    // A named file of the product: the package entry, else the alternative
    // entry, else the file beside the program, else the alternative beside it
    // (the file-open error naming it when there is none).
    // `opened`, when given, receives the name that was found.
    std::unique_ptr<TStream> OpenPackageFile(const std::string& name, const std::string& alternative = std::string(),
                                             std::string* opened = nullptr);
    std::vector<std::string> LoadPackageText(const std::string& name);
    // The lines of a text file: UTF-8 (with or without a byte order mark), UTF-16 with one, or ANSI.
    static std::vector<std::string> TextLines(TStream& stream);

    // For one user (or everyone): the scope of the run (InstallScope.h) and
    // everything found for it anew, the folders, an earlier installation of
    // that scope and the plug-in folders.
    void ChooseScope(bool oneUser);
    TInstallScope Scope() const { return Choices.ForCurrentUser ? TInstallScope::OneUser : TInstallScope::Everyone; }
    // The package holds files for a [Components] line whose destination
    // `matches`, for the item (or, without one, the product).
    bool ItemHasContent(const TSetupBundleItem* item, bool (*matches)(const std::string& destination));
    bool ItemHasVst3(const TSetupBundleItem* item) { return ItemHasContent(item, IsVst3Destination); }
    // The same for any pass of the run: every bundle item and the product itself.
    bool PackageHasContent(bool (*matches)(const std::string& destination));
    // Every level of the path that is missing can be created (and is removed again at once).
    bool CanCreateFolder(const std::string& path) const;
    // The log of an earlier installation of this product in the surveyed
    // folder (its Uninst.exe's), empty when there is none.
    std::vector<std::string> EarlierInstallationLog(const TFolderSurvey& survey) const;
    // Another product's installation in the surveyed folder (its Uninst.exe,
    // its journal, or a registration naming an uninstaller there): its name,
    // or the file that tells of it; empty when there is none.
    std::string OtherInstallationIn(const TFolderSurvey& survey) const;
    // The folder rule (FolderRule.h) with what the machine adds: the Windows
    // folder and anything inside it, compared as Windows resolves both paths.
    // `deepest`: the longest path the run writes below the folder.
    static TFolderVerdict CheckFolder(const std::string& text, bool ownFolder, size_t deepest = 0);
    // What the user is told of a folder the rule refused.
    // What the user is told of a refused folder; `chosen`: one the user gave,
    // which another choice can mend.
    std::string FolderRefusal(const TFolderVerdict& verdict, bool chosen = true) const;
    // The longest path the run writes below the folder a path variable
    // ("$VstPluginFolder") names, with room for a file's partial name and a
    // DLL's new name.
    size_t DeepestBelow(const std::string& variable);
    // The folder rule for the folder a path variable ("$VstPluginFolder")
    // names, typed on its page or given by its switch.
    TFolderVerdict CheckFolderOf(const std::string& variable, const std::string& text);
    // The same for the product's own folder ($ProgramFolder, $Vst3ProgramFolder).
    size_t DeepestBelowProductFolder()
    {
        return std::max(DeepestBelow("$ProgramFolder"), DeepestBelow("$Vst3ProgramFolder"));
    }
    // The first folder of a [Components] line that the folder rule refuses
    // for a run into `destination`: what the user is told; empty when every
    // folder the run would write into passes.
    std::string RefusedComponentFolder(const TDestination& destination);
    // A file can be created in the folder (true when it does not exist yet:
    // whether it can be made is asked separately).
    static bool CanWriteInto(const std::string& folder);
    // The folder exists and holds files that are not an earlier installation of this product.
    bool HoldsOthersFiles(const TFolderSurvey& survey) const;
    // Every check the Destination page makes of a normalised destination: a place
    // for a product, creatable, writable, room on every drive the run writes
    // to; `ask` answers the questions (another folder than the earlier
    // installation's, over a copy of another major version, a folder with
    // other files).
    TDestinationCheck CheckDestination(const TDestination& destination,
                                       const std::function<bool(const std::string&)>& ask);

    // Whether this machine can take the product: the message id (65246 without
    // administrator rights, 65247 for a 64-bit product on 32-bit Windows) or 0.
    int RequirementsMessage() const;

    // The command line's choices as the model's: a text naming the switch and
    // what is wrong with its value, or empty. Nothing is written.
    std::string ApplySwitches(const TSetupSwitches& switches);
    // The language to speak: /LANG=, else the user's preferred UI languages
    // among those the package carries. Returns why /LANG= is refused (a
    // language the package does not carry), or empty.
    std::string ChooseLanguage(const TSetupSwitches& switches);
    // Every decision the run will follow, and where it came from.
    void LogDecisions(const TSetupSwitches& switches, TRunLog& log) const;

    // A registry object in the product's view: the 64-bit one for a 64-bit package.
    std::unique_ptr<TRegistry64> CreateSettingsRegistry() const;

    // The uncompressed size of every [Components] line's package folder, keys as
    // written; counted in 64 bits.
    int64_t GetRequiredSpace() const;
    // ESetupError "There is not enough space..." when the installation folder's
    // drive has less than the required space and 1 MiB to spare.
    void CheckDiskSpace(const TDestination& destination) const;
    // What the run writes to each drive ("C:\\"), for the chosen folders and items.
    std::map<std::string, int64_t> RequiredSpaceByDrive(const TDestination& destination) const;
    // The uncompressed size of what one pass installs (the item's or, without
    // one, the product's own lines).
    int64_t ComponentBytes(const TSetupBundleItem* item) const;
    // The run's passes: each selected bundle item in order, then the pass without one.
    std::vector<const TSetupBundleItem*> Passes() const;
    // The package folders a pass installs, with their destinations (lines that
    // expand to nothing are left out, as the pass leaves them out).
    std::vector<std::pair<std::string, std::string>> PassFolders(const TSetupBundleItem* item,
                                                                 const TDestination& destination) const;

    // Asked when a file cannot be written, with the text of message 65216: true
    // to write it again, false to give up. Unanswered, the run gives up.
    std::function<bool(const std::string& message)> OnFileQuestion;
    // Told, during Install, of every file, folder, key and value written and
    // of every error, for the run's log.
    std::function<void(const std::string&)> OnNote;

protected:
    std::string ReadFolderSetting(const TSettingPath& path) const override;

private:
    // What the package carries (each plug-in format, content), asked once.
    void SurveyPackage();
    // The machine's facts for the scope, and the choices proposed from them.
    void FindSystemFolders();
    void FindPreviousInstall();
    void FindInstallFolder();
    void FindContentFolder();
    void FindPluginFolders();
    void FindPhotoshopFolder();
    void FindUserName();

    // Reads a string value, or empty when the key does not open or the value
    // cannot be read: discovery never fails on the registry.
    std::string ReadSetting(HKEY root, const std::string& key, const std::string& valueName) const;

    std::unique_ptr<TInstaller> FInstaller;
    // The longest path one line writes below its destination (0 when none).
    size_t LineDepth(const TComponentLine& line, const TSetupBundleItem* item) const;
};
