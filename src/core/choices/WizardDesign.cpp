#include "WizardDesign.h"

#include <stdexcept>

#include "Messages.h"

namespace Wizard {

const std::vector<TControlDesign>& PageControls()
{
    static const std::vector<TControlDesign> controls = {
        {WelcomeHeadingLabel, pgWelcome, ckLabel, 8, 8, 305, 17, Msg::WelcomeHeadingLabel, cfBold},
        {WelcomeDescriptionLabel, pgWelcome, ckLabel, 8, 32, 305, 41,
         Msg::WelcomeDescriptionLabel, cfWordWrap},
        {WelcomeStepLabel, pgWelcome, ckLabel, 8, 72, 305, 153, Msg::WelcomeStepLabel, cfWordWrap},
        {WelcomeForMeCheck, pgWelcome, ckCheckBox, 8, 232, 305, 17,
         Msg::WelcomeForMeCheck, 0},
        {WelcomeForMeLabel, pgWelcome, ckLabel, 25, 252, 288, 45,
         Msg::WelcomeForMeLabel, cfWordWrap},

        {LicenseHeadingLabel, pgLicense, ckLabel, 8, 8, 237, 17, Msg::LicenseHeadingLabel, cfBold},
        {LicenseStepLabel, pgLicense, ckLabel, 8, 264, 289, 37,
         Msg::LicenseStepLabel, cfWordWrap},
        {LicenseMemo, pgLicense, ckMemo, 8, 32, 305, 217, 0, 0},

        {BundleHeadingLabel, pgBundleItems, ckLabel, 8, 8, 305, 17, Msg::BundleHeadingLabel, cfBold},
        {BundleDescriptionLabel, pgBundleItems, ckLabel, 8, 32, 305, 17, Msg::BundleDescriptionLabel, 0},
        {BundleList, pgBundleItems, ckCheckList, 8, 64, 309, 209, 0, 0},
        {SelectAllButton, pgBundleItems, ckButton, 132, 280, 89, 23, Msg::SelectAllButton, 0},
        {SelectNoneButton, pgBundleItems, ckButton, 228, 280, 89, 23, Msg::SelectNoneButton, 0},

        {VstHeadingLabel, pgVstPlugins, ckLabel, 8, 8, 237, 17, Msg::VstHeadingLabel, cfBold},
        {Vst2DescriptionLabel, pgVstPlugins, ckLabel, 8, 32, 293, 65,
         Msg::Vst2DescriptionLabel, cfWordWrap},
        {Vst2FolderLabel, pgVstPlugins, ckLabel, 8, 122, 273, 17, Msg::Vst2FolderLabel, 0},
        {Vst3DescriptionLabel, pgVstPlugins, ckLabel, 8, 230, 301, 49,
         Msg::Vst3DescriptionLabel, cfWordWrap},
        {Vst3ListLabel, pgVstPlugins, ckLabel, 25, 208, 287, 17, Msg::Vst3ListLabel, 0},
        {Vst2FolderInput, pgVstPlugins, ckEdit, 8, 138, 305, 21, 0, 0},
        {Vst2BrowseButton, pgVstPlugins, ckButton, 238, 162, 75, 23, Msg::Vst2BrowseButton, 0},
        {Vst2InstallCheck, pgVstPlugins, ckCheckBox, 8, 100, 305, 17, Msg::Vst2InstallCheck, 0},
        {Vst3InstallCheck, pgVstPlugins, ckCheckBox, 8, 192, 309, 17, Msg::Vst3InstallCheck, 0},
        {ClapInstallCheck, pgVstPlugins, ckCheckBox, 8, 284, 309, 17, Msg::ClapInstallCheck, 0},

        {DigiHeadingLabel, pgDigiPlugins, ckLabel, 8, 8, 237, 17, Msg::DigiHeadingLabel, cfBold},
        {DigiDescriptionLabel, pgDigiPlugins, ckLabel, 8, 32, 293, 49,
         Msg::DigiDescriptionLabel, cfWordWrap},
        {RtasDescriptionLabel, pgDigiPlugins, ckLabel, 8, 108, 293, 65,
         Msg::RtasDescriptionLabel, cfWordWrap},
        {AaxDescriptionLabel, pgDigiPlugins, ckLabel, 8, 220, 293, 65,
         Msg::AaxDescriptionLabel, cfWordWrap},
        {RtasInstallCheck, pgDigiPlugins, ckCheckBox, 8, 84, 301, 17, Msg::RtasInstallCheck, 0},
        {AaxInstallCheck, pgDigiPlugins, ckCheckBox, 8, 196, 301, 17, Msg::AaxInstallCheck, 0},

        {PhotoshopHeadingLabel, pgPhotoshopPlugin, ckLabel, 8, 8, 241, 17, Msg::PhotoshopHeadingLabel, cfBold},
        {PhotoshopInfoLabel, pgPhotoshopPlugin, ckLabel, 8, 32, 293, 73,
         Msg::PhotoshopInfoLabel, cfWordWrap},
        {PhotoshopFolderLabel, pgPhotoshopPlugin, ckLabel, 8, 136, 189, 17, Msg::PhotoshopFolderLabel, 0},
        {PhotoshopInstallCheck, pgPhotoshopPlugin, ckCheckBox, 8, 108, 301, 17,
         Msg::PhotoshopInstallCheck, 0},
        {PhotoshopFolderInput, pgPhotoshopPlugin, ckEdit, 8, 152, 305, 21, 0, 0},
        {PhotoshopBrowseButton, pgPhotoshopPlugin, ckButton, 238, 176, 75, 25, Msg::PhotoshopBrowseButton, 0},

        {DestHeadingLabel, pgDest, ckLabel, 8, 8, 237, 17, Msg::DestHeadingLabel, cfBold},
        {DestDescriptionLabel, pgDest, ckLabel, 8, 32, 293, 49,
         Msg::DestDescriptionLabel, cfWordWrap},
        {DestStepLabel, pgDest, ckLabel, 8, 84, 269, 33,
         Msg::DestStepLabel, cfWordWrap},
        {DestFolderLabel, pgDest, ckLabel, 8, 124, 105, 17, Msg::DestFolderLabel, 0},
        {DestFolderInput, pgDest, ckEdit, 8, 140, 305, 21, 0, 0},
        {DestBrowseButton, pgDest, ckButton, 238, 164, 75, 23, Msg::DestBrowseButton, 0},
        // Shown when the package has content ($ContentFolder): it may go to another drive.
        {ContentFolderLabel, pgDest, ckLabel, 8, 196, 305, 17, Msg::ContentFolderLabel, 0},
        {ContentFolderInput, pgDest, ckEdit, 8, 212, 305, 21, 0, 0},
        {ContentBrowseButton, pgDest, ckButton, 238, 236, 75, 23, Msg::ContentBrowseButton, 0},

        {NameHeadingLabel, pgPersonalize, ckLabel, 8, 8, 237, 17, Msg::NameHeadingLabel, cfBold},
        {NameInfoLabel, pgPersonalize, ckLabel, 8, 32, 293, 49,
         Msg::NameInfoLabel, cfWordWrap},
        {NameLabel, pgPersonalize, ckLabel, 8, 88, 269, 17, Msg::NameLabel, 0},
        {NameInput, pgPersonalize, ckEdit, 8, 104, 305, 21, 0, 0},

        {IconHeadingLabel, pgIcon, ckLabel, 8, 8, 237, 17, Msg::IconHeadingLabel, cfBold},
        {IconStartMenuLabel, pgIcon, ckLabel, 8, 32, 293, 33,
         Msg::IconStartMenuLabel, cfWordWrap},
        {IconDesktopLabel, pgIcon, ckLabel, 8, 108, 293, 33,
         Msg::IconDesktopLabel, cfWordWrap},
        {InstallLabel, pgIcon, ckLabel, 8, 184, 221, 17, Msg::InstallLabel, 0},
        {IconStartMenuCheck, pgIcon, ckCheckBox, 8, 68, 205, 17, Msg::IconStartMenuCheck, cfTicked},
        {IconDesktopCheck, pgIcon, ckCheckBox, 8, 144, 205, 17, Msg::IconDesktopCheck, cfTicked},

        {CopyHeadingLabel, pgCopy, ckLabel, 8, 8, 237, 17, Msg::CopyHeadingLabel, cfBold},
        {CopyDescriptionLabel, pgCopy, ckLabel, 8, 32, 269, 17, Msg::CopyDescriptionLabel, 0},
        {CopyStatusLabel, pgCopy, ckLabel, 8, 84, 269, 17, Msg::CopyStatusLabel, 0},
        {CopyProgressBar, pgCopy, ckProgressBar, 8, 104, 305, 13, 0, 0},

        {ReadyHeadingLabel, pgReady, ckLabel, 8, 8, 237, 17, Msg::ReadyHeadingLabel, cfBold},
        {ReadyDescriptionLabel, pgReady, ckLabel, 8, 32, 293, 89, Msg::ReadyDescriptionLabel, cfWordWrap},
        {ReadyStartLabel, pgReady, ckLabel, 8, 184, 225, 21, Msg::ReadyStartLabel, cfWordWrap},
        {ReadyReadmeLabel, pgReady, ckLabel, 8, 124, 225, 21, Msg::ReadyReadmeLabel, cfWordWrap},
        {ReadyStartCheck, pgReady, ckCheckBox, 8, 204, 185, 17, Msg::ReadyStartCheck, cfTicked},
        {ReadyReadmeCheck, pgReady, ckCheckBox, 8, 144, 169, 17, Msg::ReadyReadmeCheck, cfTicked},
        {ReadyFoldersLabel, pgReady, ckLabel, 8, 228, 225, 17, Msg::ReadyFoldersLabel, 0},
        {ReadyFoldersMemo, pgReady, ckMemo, 8, 246, 305, 53, 0, 0},
    };
    return controls;
}

std::vector<int> PageTexts(TPage page)
{
    std::vector<int> texts;
    for (const TControlDesign& design : PageControls())
        if (design.Page == page && design.Text) texts.push_back(design.Text);
    if (page == pgLicense)
        texts.insert(texts.end(), {Msg::BackButton, Msg::YesButton, Msg::NoButton});
    else
        texts.insert(texts.end(),
                     {Msg::BackButton, Msg::NextButton, Msg::InstallButton, Msg::FinishButton, Msg::CancelButton});
    return texts;
}

std::vector<std::pair<int, int>> AcceleratorClashes(TPage page, const std::function<std::string(int)>& text)
{
    std::vector<int> texts = PageTexts(page);
    std::vector<std::string> keys;
    keys.reserve(texts.size());
    for (int id : texts) keys.push_back(AcceleratorOf(text(id)));
    std::vector<std::pair<int, int>> clashes;
    for (size_t i = 0; i < texts.size(); ++i)
        for (size_t j = i + 1; j < texts.size(); ++j)
            if (!keys[i].empty() && keys[i] == keys[j]) clashes.emplace_back(texts[i], texts[j]);
    return clashes;
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
