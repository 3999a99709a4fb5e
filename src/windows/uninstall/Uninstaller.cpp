#include "Uninstaller.h"

#include "FileSystem.h"
#include "PathUtils.h"
#include "InstallScope.h"
#include "UninstallerCleanUp.h"

TUninstaller::TUninstaller(const std::string& programPath)
    : FProgramPath(ResolvedPath(programPath)), FProgramFolder(GetProgramFolder(FProgramPath))
{
    // Its registration and shared counts are where its registration says the installation was for.
    TVouchedLog vouched = ReadVouchedLog(FProgramPath);
    FScope = vouched.Scope;
    FVersion = vouched.Log.Version;
    FLines = std::move(vouched.Log.Lines);
    FProductName = std::move(vouched.Log.ProductName);
    FLogChanged = vouched.Changed;
    NoteUnfinishedFiles();
    FLines = ResolveSharing(FScope, FLines);
    FUndo = TLogUndo(TUndoMode::Removal, FScope);
    FUndo.SetUninstaller(FProgramPath, vouched.Roots);
    FUndo.ReadNotes(FLines);
}

void TUninstaller::NoteUnfinishedFiles()
{
    // A run ended while it wrote the journal or the uninstaller anew leaves
    // them under their unfinished names: they go like any unfinished file.
    for (const std::string& partial : {FProgramFolder + UninstallLogFileName + PartialSuffix, FProgramPath + PartialSuffix})
        if (FileExists(partial)) FLines.push_back(MakeLogLine(TLineKind::Partial, partial));
}

bool TUninstaller::Uninstall()
{
    if (FLogChanged)
        Note("the log was changed since the installation finished it: only what lies in " + FProgramFolder + " is removed");
    FUndo.OnNote = OnNote;
    return FUndo.Undo(FLines);
}

std::string TUninstaller::StartCleanUp()
{
    return StartUninstallerCleanUp(ModuleFileName(), FProgramPath, FUndo.DeferredFolders(), GetCurrentProcess(), FScope);
}
