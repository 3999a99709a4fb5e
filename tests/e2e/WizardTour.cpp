// The demo's tour of the wizard: walks an installer through every page as a
// user would, photographs each page, installs, then uninstalls with the
// Uninst.exe the installation wrote, and says what it saw.
#include <windows.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include <algorithm>
#include <map>

#include "IniFile.h"
#include "LanguageTables.h"
#include "Messages.h"
#include "PathUtils.h"
#include "TestFiles.h"
#include "TextUtils.h"
#include "WizardDesign.h"
#include "WizardDriver.h"

using namespace Wizard;

namespace {

const char* PageNames[] = {"Welcome", "License", "BundleItems", "VstPlugins", "DigiPlugins", "PhotoshopPlugin",
                           "Dest",    "Personalize", "Icon", "Copy", "Ready"};

}  // namespace

int main(int argc, char** argv)
{
    if (argc < 3) {
        std::fprintf(stderr, "usage: wizard_tour INSTALLER SCREENSHOT_FOLDER [LANGUAGE]\n");
        return 2;
    }
    // The language the wizard is expected to speak (the user's display language): its texts.
    std::string language = argc > 3 ? argv[3] : "en";
    std::map<int, std::string> texts = LanguageTableTexts(language);
    auto said = [&](int id) { return texts.count(id) ? texts[id] : LoadStoredMessage(id); };
    std::string installer = WindowsPath(argv[1]), shots = WindowsPath(argv[2]) + "\\";
    TWizard wizard(installer);
    if (!wizard.Shown()) {
        std::printf("the installer showed no wizard\n");
        return 1;
    }
    int shot = 0;
    auto photograph = [&](HWND window, const std::string& name) {
        Sleep(400);
        char file[32];
        std::snprintf(file, sizeof file, "%02d-", ++shot);
        bool saved = Photograph(window, shots + file + name + ".bmp");
        std::printf("%s %s\n", saved ? "photographed" : "could not photograph", name.c_str());
    };
    std::string installFolder;
    while (wizard.Page() != pgCopy && wizard.Page() != pgReady) {
        int page = wizard.Page();
        photograph(wizard.Window(), PageNames[page]);
        if (page == pgDest) installFolder = wizard.Text(DestFolderInput);
        // A machine without a VST host has no VST 2 folder to propose: the tour names one.
        if (page == pgVstPlugins && wizard.Checked(Vst2InstallCheck) && wizard.Text(Vst2FolderInput).empty()) {
            char programFiles[MAX_PATH] = "C:\\Program Files";
            GetEnvironmentVariableA("ProgramFiles", programFiles, sizeof programFiles);
            wizard.SetText(Vst2FolderInput, std::string(programFiles) + "\\VstPlugins");
        }
        wizard.Click(NextButton);
        if (!WaitUntil([&] { return wizard.Page() != page; }, 30000)) {
            std::printf("the wizard stayed on the %s page\n", PageNames[page]);
            return 1;
        }
    }
    if (!wizard.WaitForPage(pgReady, 60000)) {
        std::printf("the installation did not reach the Ready page\n");
        return 1;
    }
    photograph(wizard.Window(), "Ready");
    // Finish without opening the readme in an editor.
    if (wizard.Checked(ReadyReadmeCheck)) wizard.Click(ReadyReadmeCheck);
    if (wizard.Visible(ReadyStartCheck) && wizard.Checked(ReadyStartCheck)) wizard.Click(ReadyStartCheck);
    wizard.Click(NextButton);
    wizard.Ended();
    std::printf("installed into %s\n", installFolder.c_str());

    std::string uninstallerPath = IncludeDelimiter(installFolder) + "Uninst.exe";
    TProcess uninstaller(uninstallerPath);
    TMessageBoxView question = WaitForMessageBox(uninstaller.Id());
    if (!question.Window) {
        std::printf("Uninst.exe asked nothing\n");
        return 1;
    }
    photograph(question.Window, "UninstallConfirm");
    // The boxes' buttons are Windows' own, in its language: pressed by their ids.
    PostMessageA(GetDlgItem(question.Window, IDYES), BM_CLICK, 0, 0);
    Sleep(300);
    TMessageBoxView result = WaitForMessageBox(uninstaller.Id());
    if (result.Window) photograph(result.Window, "UninstallResult");
    std::printf("Uninst.exe said: %s\n", result.Text.c_str());
    if (result.Window) PostMessageA(GetDlgItem(result.Window, IDOK), BM_CLICK, 0, 0);
    uninstaller.WaitForExit(10000);
    bool gone = WaitUntil([&] { return GetFileAttributesA(installFolder.c_str()) == INVALID_FILE_ATTRIBUTES; }, 20000);
    std::printf("%s\n", gone ? "the installation folder is gone" : "the installation folder is still there");
    bool clean = result.Text == ReplaceAll(said(Msg::UninstallCompleted), "\r", "\r\n");
    if (!clean) std::printf("Uninst.exe did not report a clean removal\n");
    return gone && clean ? 0 : 1;
}
