#pragma once
// Names the wizard window and its controls carry: the window class, the pages
// and one id per control. The end-to-end tests find the controls by these ids.
#include "SetupPages.h"

namespace Wizard {

constexpr char WindowClass[] = "TMainForm";
constexpr char PageClass[] = "TWizardPage";
constexpr char ImageClass[] = "TSidePicture";

// Page windows carry PageIdBase + their index.
constexpr int PageIdBase = 200;

enum TControlId : int {
    BackButton = 101,
    NextButton,
    CancelButton,
    Panel,
    Image,
    Notebook,

    WelcomeHeadingLabel = 300,
    WelcomeDescriptionLabel,
    WelcomeStepLabel,
    LicenseHeadingLabel,
    LicenseStepLabel,
    LicenseMemo,
    BundleHeadingLabel,
    BundleDescriptionLabel,
    BundleList,
    SelectAllButton,
    SelectNoneButton,
    VstHeadingLabel,
    Vst2DescriptionLabel,
    Vst2FolderLabel,
    Vst3DescriptionLabel,
    Vst3ListLabel,
    Vst2FolderInput,
    Vst2BrowseButton,
    Vst2InstallCheck,
    Vst3InstallCheck,
    DigiHeadingLabel,
    DigiDescriptionLabel,
    RtasDescriptionLabel,
    AaxDescriptionLabel,
    RtasInstallCheck,
    AaxInstallCheck,
    PhotoshopHeadingLabel,
    PhotoshopInfoLabel,
    PhotoshopFolderLabel,
    PhotoshopInstallCheck,
    PhotoshopFolderInput,
    PhotoshopBrowseButton,
    DestHeadingLabel,
    DestDescriptionLabel,
    DestStepLabel,
    DestFolderLabel,
    DestFolderInput,
    DestBrowseButton,
    NameHeadingLabel,
    NameInfoLabel,
    NameLabel,
    NameInput,
    IconHeadingLabel,
    IconStartMenuLabel,
    IconDesktopLabel,
    InstallLabel,
    IconStartMenuCheck,
    IconDesktopCheck,
    CopyHeadingLabel,
    CopyDescriptionLabel,
    CopyStatusLabel,
    CopyProgressBar,
    ReadyHeadingLabel,
    ReadyDescriptionLabel,
    ReadyStartLabel,
    ReadyReadmeLabel,
    ReadyStartCheck,
    ReadyReadmeCheck,
    WelcomeForMeCheck,
    WelcomeForMeLabel,
    ReadyFoldersLabel,
    ReadyFoldersMemo,
    ClapInstallCheck,
    ContentFolderLabel,
    ContentFolderInput,
    ContentBrowseButton,
};

}  // namespace Wizard
