// The command line's choices: applied to the model as the wizard's proposal
// (or, with /S, as the choices themselves), and told to the run's log with
// where each came from.
#include "InstallScope.h"
#include "Languages.h"
#include "PathUtils.h"
#include "Platform.h"
#include "SetupInstaller.h"
#include "TextUtils.h"

std::string TSetupInstaller::ApplySwitches(const TSetupSwitches& switches)
{
    if (!switches.BadSwitch.empty()) return switches.BadSwitch + ": " + switches.BadReason;
    // Whom for comes first: it decides every folder below.
    if (switches.AllUsers && switches.CurrentUser) return "/CURRENTUSER: /ALLUSERS chooses otherwise; name one of them";
    if (switches.CurrentUser && FFacts.InstallFor == TInstallFor::AllUsers)
        return "/CURRENTUSER: this product installs only for all users";
    if (switches.AllUsers && FFacts.InstallFor == TInstallFor::CurrentUser)
        return "/ALLUSERS: this product installs only for the current user";
    if (switches.CurrentUser != Choices.ForCurrentUser && (switches.CurrentUser || switches.AllUsers))
        ChooseScope(switches.CurrentUser);
    // The folder rule, at the switch: a folder no page would take is refused before anything else.
    auto folder = [&](const char* name, const TFolderVerdict& verdict, std::string& into) {
        if (!verdict.Ok()) return std::string(name) + ": " + ReplaceAll(FolderRefusal(verdict), "\r", " ");
        into = verdict.Folder;
        return std::string();
    };
    std::string problem;
    if (switches.Dir) {
        std::string chosen;
        problem = folder("/DIR", CheckFolder(*switches.Dir, true, DeepestBelowProductFolder()), chosen);
        if (!problem.empty()) return problem;
        SetInstallFolder(chosen);
    }
    if (switches.Vst2Dir) {
        problem = folder("/VST2DIR", CheckFolderOf("$VstPluginFolder", *switches.Vst2Dir), Choices.Vst2Folder);
        if (!problem.empty()) return problem;
        Choices.InstallVst2 = true;
    }
    if (switches.PsDir) {
        problem = folder("/PSDIR", CheckFolderOf("$PhotoshopPluginFolder", *switches.PsDir), Choices.PhotoshopFolder);
        if (!problem.empty()) return problem;
        Choices.InstallPhotoshop = true;
    }
    if (switches.ContentDir) {
        std::string chosen;
        problem = folder("/CONTENTDIR", CheckFolderOf("$ContentFolder", *switches.ContentDir), chosen);
        if (!problem.empty()) return problem;
        SetContentFolder(chosen);
    }
    if (switches.Formats) {
        Choices.InstallVst2 = switches.WantsFormat("vst2");
        Choices.InstallVst3 = switches.WantsFormat("vst3");
        Choices.InstallClap = switches.WantsFormat("clap");
        Choices.InstallAax = switches.WantsFormat("aax");
        Choices.InstallRtas = switches.WantsFormat("rtas");
        Choices.InstallPhotoshop = switches.WantsFormat("photoshop");
    }
    if (switches.Items) {
        if (!FFacts.IsBundle) return "/ITEMS: this installer is not a bundle";
        for (const std::string& wanted : *switches.Items) {
            bool known = false;
            for (const TSetupBundleItem& item : FFacts.BundleItems)
                known = known || SameTextAscii(item.ItemName, wanted) || SameTextAscii(item.DisplayName, wanted);
            if (!known) return "/ITEMS: \"" + wanted + "\" is not an item of this bundle";
        }
        for (size_t i = 0; i < FFacts.BundleItems.size(); ++i) {
            const TSetupBundleItem& item = FFacts.BundleItems[i];
            bool wantedOne = false;
            for (const std::string& wanted : *switches.Items)
                wantedOne =
                    wantedOne || SameTextAscii(item.ItemName, wanted) || SameTextAscii(item.DisplayName, wanted);
            Choices.Items.at(i) = wantedOne;
        }
    }
    if (switches.Name) Choices.UserName = *switches.Name;
    if (switches.NoShortcuts) Choices.ShortcutChoice = 0;
    return std::string();
}

std::string TSetupInstaller::ChooseLanguage(const TSetupSwitches& switches)
{
    std::vector<std::string> spoken = FFacts.SpokenLanguages();
    if (switches.Language) {
        std::string refusal = RefusalToSpeak(*switches.Language, spoken);
        if (!refusal.empty()) return refusal;
    }
    Choices.Language = switches.Language ? *switches.Language : ::ChooseLanguage(UserPreferredLanguages(), spoken);
    return std::string();
}

void TSetupInstaller::LogDecisions(const TSetupSwitches& switches, TRunLog& log) const
{
    if (!log.IsOpen()) return;
    auto source = [](bool fromSwitch, const char* name, const char* otherwise) {
        return fromSwitch ? std::string("switch ") + name : std::string(otherwise);
    };
    log.Line("package " + FFacts.ProductName + " " + FFacts.PackageVersion.AsText() +
             (FFacts.Is64Bit ? ", 64-bit" : ", 32-bit") + (FFacts.IsBundle ? ", a bundle" : ""));
    if (FMachine.HasPreviousInstall)
        log.Line("earlier installation: " + FMachine.PreviousVersion.AsText() + " in " +
                 FMachine.PreviousInstallFolder);
    log.Decision("installed for", Choices.ForCurrentUser ? "the current user, " + WindowsUserName() : "all users",
                 source(switches.AllUsers || switches.CurrentUser, switches.CurrentUser ? "/CURRENTUSER" : "/ALLUSERS",
                        "InstallFor of Setup.ini"));
    log.Decision("destination", Choices.InstallFolder,
                 source(bool(switches.Dir), "/DIR",
                        FMachine.HasPreviousInstall ? "the earlier installation's" : "default of Setup.ini"));
    if (FFacts.HasContent)
        log.Decision(
            "content", Choices.ContentFolder,
            source(bool(switches.ContentDir), "/CONTENTDIR",
                   FMachine.PreviousContentFolder.empty() ? "default of Setup.ini" : "the earlier installation's"));
    log.Decision("VST 2 plug-in", Choices.InstallVst2 ? Choices.Vst2Folder : "not installed",
                 source(switches.Vst2Dir || switches.Formats, "/VST2DIR or /FORMATS", "found in the registry, or default"));
    log.Decision("VST 3 plug-in", FFacts.HasVst3 && Choices.InstallVst3 ? Choices.Vst3Folder : "not installed",
                 source(bool(switches.Formats), "/FORMATS", "default"));
    log.Decision("CLAP plug-in", FFacts.HasClap && Choices.InstallClap ? Choices.ClapFolder : "not installed",
                 source(bool(switches.Formats), "/FORMATS", "default"));
    const char* notInstalled = Choices.ForCurrentUser ? "not installed (no place for one user)" : "not installed";
    log.Decision("AAX plug-in",
                 FFacts.HasAax && Choices.InstallAax && !Choices.ForCurrentUser ? Choices.AaxFolder : notInstalled,
                 source(bool(switches.Formats), "/FORMATS", "default"));
    log.Decision("RTAS plug-in",
                 FFacts.HasRtas && Choices.InstallRtas && !Choices.ForCurrentUser ? Choices.DigiFolder : notInstalled,
                 source(bool(switches.Formats), "/FORMATS", "default"));
    log.Decision("Photoshop plug-in", Choices.InstallPhotoshop && !Choices.ForCurrentUser ? Choices.PhotoshopFolder : notInstalled,
                 source(switches.PsDir || switches.Formats, "/PSDIR or /FORMATS", "found in the registry, or default"));
    for (size_t i = 0; i < FFacts.BundleItems.size(); ++i)
        log.Decision("bundle item " + FFacts.BundleItems[i].DisplayName,
                     Choices.Items.at(i) ? "installed" : "not installed",
                     source(bool(switches.Items), "/ITEMS", "default"));
    log.Decision("user name", Choices.UserName, source(bool(switches.Name), "/NAME", "found on this machine"));
    log.Decision("shortcuts", Choices.ShortcutChoice == 0 ? "none" : "offered kinds",
                 source(switches.NoShortcuts, "/NOSHORTCUTS", "default"));
}
