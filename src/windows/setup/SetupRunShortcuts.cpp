// Shortcuts of the installation run.
#include "FileEnumerator.h"
#include "PathUtils.h"
#include "SetupRun.h"
#include "ShellFolders.h"
#include "ShellLinks.h"
#include "TextUtils.h"

namespace {

struct TShortcutDefinition {
    std::string Target, Caption, Arguments;
    int IconIndex = 0;
};

TShortcutDefinition ParseDefinition(const std::string& definition, const TSetupModel& model)
{
    TShortcutDefinition result;
    std::string rest;
    if (!SplitText(definition, ',', result.Target, rest)) {
        result.Caption = ExtractFileTitle(definition);
        return result;
    }
    result.Target = Trim(result.Target);
    std::string caption, arguments, icon;
    SplitText(rest, ',', caption, rest);
    result.Caption = Trim(model.ExpandText(caption));
    SplitText(rest, ',', result.Arguments, icon);
    int32_t index = StrToIntDef(icon, 0, true);
    result.IconIndex = index < 0 ? index : -index;
    return result;
}

}  // namespace

void TSetupRun::CreateShortcuts()
{
    for (const std::string& line : FFacts.Shortcuts) {
        std::string location = LineName(line), folder;
        if (location == "StartMenu") {
            if (Choices.ShortcutChoice & skStartMenu) folder = GetSpecialFolder(sfPrograms);
        } else if (location == "Desktop") {
            if (Choices.ShortcutChoice & skDesktop) folder = GetSpecialFolder(sfDesktop);
        } else if (location == "ProgramFolder") {
            folder = Choices.InstallFolder;
        }
        if (folder.empty()) continue;
        folder = ExcludeDelimiter(folder);
        TShortcutDefinition definition = ParseDefinition(LineValue(line), FSetup);
        std::string shortcutFile = folder + "\\" + definition.Caption + ".lnk";
        std::string target = FSetup.ExpandVariables(definition.Target, nullptr);
        DeleteStaleShortcuts(ExtractFilePath(shortcutFile), target, definition.Arguments);
        FInstaller->CreateShortcut(shortcutFile, target, definition.Arguments, definition.IconIndex);
    }
}

void TSetupRun::DeleteStaleShortcuts(const std::string& folder, const std::string& target, const std::string& arguments)
{
    TFileEnumerator links(folder + "*.lnk", FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_ARCHIVE);
    while (links.Next()) {
        std::string link = folder + links.Name(), linkTarget, linkArguments;
        if (!ReadShellLink(link, linkTarget, linkArguments)) continue;
        // Aside rather than deleted: a run that fails puts it back.
        if (SameTextAscii(linkTarget, target) && SameTextAscii(linkArguments, arguments)) FInstaller->SetAside(link);
    }
}
