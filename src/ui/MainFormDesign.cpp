#include "MainFormDesign.h"

#include <stdexcept>

namespace Wizard {

const std::vector<TControlDesign>& PageControls()
{
    static const std::vector<TControlDesign> controls = {
        {WelcomeHeadingLabel, pgWelcome, ckLabel, 8, 8, 305, 17, "Welcome to $ProductName Setup", cfBold},
        {WelcomeDescriptionLabel, pgWelcome, ckLabel, 8, 32, 305, 41,
         "This program will install $FullProductName on your computer.", cfWordWrap},
        {WelcomeStepLabel, pgWelcome, ckLabel, 8, 72, 305, 153, "Click the Next button to continue.", cfWordWrap},
        {WelcomeForMeCheck, pgWelcome, ckCheckBox, 8, 232, 305, 17,
         "Install only for &me (no administrator rights needed)", 0},
        {WelcomeForMeLabel, pgWelcome, ckLabel, 25, 252, 288, 45,
         "Only an installation for everyone brings the $EveryoneOnlyFormats $PluginDescription: Pro Tools and "
         "Photoshop look for plug-ins in no folder of yours.",
         cfWordWrap},

        {LicenseHeadingLabel, pgLicense, ckLabel, 8, 8, 237, 17, "License Agreement", cfBold},
        {LicenseStepLabel, pgLicense, ckLabel, 8, 264, 289, 37,
         "Do you accept this license agreement? If you choose No, Setup will close.", cfWordWrap},
        {LicenseMemo, pgLicense, ckMemo, 8, 32, 305, 217, "", 0},

        {BundleHeadingLabel, pgBundleItems, ckLabel, 8, 8, 305, 17, "$BundleSelectHeading", cfBold},
        {BundleDescriptionLabel, pgBundleItems, ckLabel, 8, 32, 305, 17, "$BundleSelectDescription", 0},
        {BundleList, pgBundleItems, ckCheckList, 8, 64, 309, 209, "", 0},
        {SelectAllButton, pgBundleItems, ckButton, 132, 280, 89, 23, "Select &All", 0},
        {SelectNoneButton, pgBundleItems, ckButton, 228, 280, 89, 23, "Select N&one", 0},

        {VstHeadingLabel, pgVstPlugins, ckLabel, 8, 8, 237, 17, "VST Plug-In Installation$BitSuffix", cfBold},
        {Vst2DescriptionLabel, pgVstPlugins, ckLabel, 8, 32, 293, 65,
         "The VST 2 $PluginDescription needs to be installed in the plug-in folder for your VST host. Use the Browse "
         "button to select the proper VST 2 plug-in folder on your computer.",
         cfWordWrap},
        {Vst2FolderLabel, pgVstPlugins, ckLabel, 8, 122, 273, 17, "VST 2 Plug-In &Folder$BitSuffix:", 0},
        {Vst3DescriptionLabel, pgVstPlugins, ckLabel, 8, 230, 301, 49,
         "This will install the VST 3 $PluginDescription in the common VST 3 plug-in folder on your computer. (VST 3 "
         "is a newer version of VST that requires a VST 3 host.)",
         cfWordWrap},
        {Vst3ListLabel, pgVstPlugins, ckLabel, 25, 208, 287, 17, "(Only for $List)", 0},
        {Vst2FolderInput, pgVstPlugins, ckEdit, 8, 138, 305, 21, "", 0},
        {Vst2BrowseButton, pgVstPlugins, ckButton, 238, 162, 75, 23, "&Browse...", 0},
        {Vst2InstallCheck, pgVstPlugins, ckCheckBox, 8, 100, 305, 17, "&Install the VST 2 $PluginDescription", 0},
        {Vst3InstallCheck, pgVstPlugins, ckCheckBox, 8, 192, 309, 17, "Install the VST &3 $PluginDescription", 0},
        {ClapInstallCheck, pgVstPlugins, ckCheckBox, 8, 284, 309, 17, "Install the &CLAP $PluginDescription", 0},

        {DigiHeadingLabel, pgDigiPlugins, ckLabel, 8, 8, 237, 17, "Pro Tools Plug-In Installation", cfBold},
        {DigiDescriptionLabel, pgDigiPlugins, ckLabel, 8, 32, 293, 49,
         "Please select whether to install the $ProToolsFormats $PluginDescription for Pro Tools.", cfWordWrap},
        {RtasDescriptionLabel, pgDigiPlugins, ckLabel, 8, 108, 293, 65,
         "This installs the RTAS $PluginDescription to the common RTAS plug-ins folder on your computer. The RTAS "
         "format is supported by Pro Tools 10 and earlier versions.",
         cfWordWrap},
        {AaxDescriptionLabel, pgDigiPlugins, ckLabel, 8, 220, 293, 65,
         "This installs the AAX $PluginDescription to the common AAX plug-ins folder on your computer. $AaxInfo",
         cfWordWrap},
        {RtasInstallCheck, pgDigiPlugins, ckCheckBox, 8, 84, 301, 17, "&Install the RTAS $PluginDescription", 0},
        {AaxInstallCheck, pgDigiPlugins, ckCheckBox, 8, 196, 301, 17, "&Install the AAX $PluginDescription", 0},

        {PhotoshopHeadingLabel, pgPhotoshopPlugin, ckLabel, 8, 8, 241, 17, "Adobe Photoshop Plug-in Installation",
         cfBold},
        {PhotoshopInfoLabel, pgPhotoshopPlugin, ckLabel, 8, 32, 293, 73,
         "The Adobe Photoshop $PluginDescription needs to be installed in the Photoshop plug-ins folder. Use the "
         "Browse button to select the plug-ins folder on your computer.",
         cfWordWrap},
        {PhotoshopFolderLabel, pgPhotoshopPlugin, ckLabel, 8, 136, 189, 17, "Adobe Photoshop plug-ins &folder:", 0},
        {PhotoshopInstallCheck, pgPhotoshopPlugin, ckCheckBox, 8, 108, 301, 17,
         "&Install the Photoshop $PluginDescription", 0},
        {PhotoshopFolderInput, pgPhotoshopPlugin, ckEdit, 8, 152, 305, 21, "", 0},
        {PhotoshopBrowseButton, pgPhotoshopPlugin, ckButton, 238, 176, 75, 25, "&Browse...", 0},

        {DestHeadingLabel, pgDest, ckLabel, 8, 8, 237, 17, "Destination Folder", cfBold},
        {DestDescriptionLabel, pgDest, ckLabel, 8, 32, 293, 49,
         "Setup needs to know where to install $InstallDescription. Please type a folder below, or use the Browse "
         "button to choose a folder.",
         cfWordWrap},
        {DestStepLabel, pgDest, ckLabel, 8, 84, 269, 33,
         "If you are unsure, it is recommended to use the default folder shown below.", cfWordWrap},
        {DestFolderLabel, pgDest, ckLabel, 8, 124, 105, 17, "Destination &Folder:", 0},
        {DestFolderInput, pgDest, ckEdit, 8, 140, 305, 21, "", 0},
        {DestBrowseButton, pgDest, ckButton, 238, 164, 75, 23, "&Browse...", 0},
        // Shown when the package has content ($ContentFolder): it may go to another drive.
        {ContentFolderLabel, pgDest, ckLabel, 8, 196, 305, 17, "&Content (samples and libraries):", 0},
        {ContentFolderInput, pgDest, ckEdit, 8, 212, 305, 21, "", 0},
        {ContentBrowseButton, pgDest, ckButton, 238, 236, 75, 23, "B&rowse...", 0},

        {NameHeadingLabel, pgPersonalize, ckLabel, 8, 8, 237, 17, "Personalization", cfBold},
        {NameInfoLabel, pgPersonalize, ckLabel, 8, 32, 293, 49,
         "Please enter your full name below to identify yourself. $PersonalizeInfo", cfWordWrap},
        {NameLabel, pgPersonalize, ckLabel, 8, 88, 269, 17, "Your N&ame:", 0},
        {NameInput, pgPersonalize, ckEdit, 8, 104, 305, 21, "", 0},

        {IconHeadingLabel, pgIcon, ckLabel, 8, 8, 237, 17, "Create Shortcuts", cfBold},
        {IconStartMenuLabel, pgIcon, ckLabel, 8, 32, 293, 33,
         "Do you want Setup to create a shortcut to $InstallDescription in the Start Menu?", cfWordWrap},
        {IconDesktopLabel, pgIcon, ckLabel, 8, 108, 293, 33,
         "Do you want Setup to create a shortcut to $InstallDescription on the desktop?", cfWordWrap},
        {InstallLabel, pgIcon, ckLabel, 8, 184, 221, 17, "Click Install to start copying files.", 0},
        {IconStartMenuCheck, pgIcon, ckCheckBox, 8, 68, 205, 17, "Create a shortcut in the &Start Menu", cfTicked},
        {IconDesktopCheck, pgIcon, ckCheckBox, 8, 144, 205, 17, "Create a shortcut on the &desktop", cfTicked},

        {CopyHeadingLabel, pgCopy, ckLabel, 8, 8, 237, 17, "Copying Files", cfBold},
        {CopyDescriptionLabel, pgCopy, ckLabel, 8, 32, 269, 17, "Setup is now copying files to your computer.", 0},
        {CopyStatusLabel, pgCopy, ckLabel, 8, 84, 269, 17, "Creating shortcuts...", 0},
        {CopyProgressBar, pgCopy, ckProgressBar, 8, 104, 305, 13, "", 0},

        {ReadyHeadingLabel, pgReady, ckLabel, 8, 8, 237, 17, "Installation Completed", cfBold},
        {ReadyDescriptionLabel, pgReady, ckLabel, 8, 32, 293, 89, "CompleteMessage", cfWordWrap},
        {ReadyStartLabel, pgReady, ckLabel, 8, 184, 225, 21, "Do you want to start $ProductName now?", cfWordWrap},
        {ReadyReadmeLabel, pgReady, ckLabel, 8, 124, 225, 21, "Do you want to view Readme.txt now?", cfWordWrap},
        {ReadyStartCheck, pgReady, ckCheckBox, 8, 204, 185, 17, "&Start $ProductName", cfTicked},
        {ReadyReadmeCheck, pgReady, ckCheckBox, 8, 144, 169, 17, "Show &Readme.txt", cfTicked},
        {ReadyFoldersLabel, pgReady, ckLabel, 8, 228, 225, 17, "Installed into these folders:", 0},
        {ReadyFoldersMemo, pgReady, ckMemo, 8, 246, 305, 53, "", 0},
    };
    return controls;
}

const TControlDesign& DesignOf(TControlId id)
{
    for (const TControlDesign& design : PageControls())
        if (design.Id == id) return design;
    // The constructor taking a C string: the one taking a std::string would
    // bring in libstdc++'s std::string constructors of all its exception classes.
    throw std::logic_error(("no design for control " + std::to_string(int(id))).c_str());
}

}  // namespace Wizard
