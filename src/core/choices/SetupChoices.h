#pragma once
// The user's choices: what the pages and the switches write, and the run reads.
#include <string>
#include <vector>

// What the user chose on the pages or by switches, over what Setup found and
// proposed: where the product, its content and each plug-in format go, which
// formats, for whom, the name, the shortcuts. The session writes them when a
// page is left or a switch is read; the run reads them.
struct TSetupChoices {
    // For the user who runs Setup alone: the program and the VST 3 and CLAP
    // plug-ins in that user's folders, the registry below HKEY_CURRENT_USER;
    // the formats without such a place are left out.
    bool ForCurrentUser = false;
    bool InstallVst2 = true, InstallVst3 = true, InstallRtas = true, InstallAax = true, InstallPhotoshop = true,
         InstallClap = true;
    std::string InstallFolder;
    // Content ($ContentFolder): sample and impulse-response libraries a
    // product may keep on another drive. ContentFolder is the folder chosen,
    // which follows the destination until the user, a switch or an earlier
    // installation chose it (ContentFolderChosen).
    std::string ContentFolder;
    bool ContentFolderChosen = false;
    std::string Vst2Folder, Vst3Folder, DigiFolder, AaxFolder, PhotoshopFolder, ClapFolder;
    // Whether each of a bundle's items goes, in BundleInfo.ini's order.
    std::vector<bool> Items;
    std::string UserName;
    // The tag of the language the wizard speaks (Languages.h).
    std::string Language = "en";
    unsigned ShortcutChoice = 0;
};
