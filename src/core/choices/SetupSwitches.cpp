#include "SetupSwitches.h"

#include <algorithm>

#include "Languages.h"
#include "TextUtils.h"

const char* const FormatNames[6] = {"vst2", "vst3", "clap", "aax", "rtas", "photoshop"};

bool TSetupSwitches::WantsFormat(const std::string& format) const
{
    return !Formats || std::find(Formats->begin(), Formats->end(), format) != Formats->end();
}

TSetupSwitches ParseSetupSwitches(const std::vector<std::string>& arguments)
{
    TSetupSwitches switches;
    auto refuse = [&](const std::string& name, const std::string& reason) {
        if (switches.BadSwitch.empty()) {
            switches.BadSwitch = name;
            switches.BadReason = reason;
        }
    };
    for (const std::string& argument : arguments) {
        std::string word = Unquote(argument);
        if (word.size() < 2 || word[0] != '/') continue;
        size_t equals = word.find('=');
        std::string name = UpperAscii(word.substr(1, equals == std::string::npos ? std::string::npos : equals - 1));
        bool hasValue = equals != std::string::npos;
        std::string value = hasValue ? Trim(Unquote(word.substr(equals + 1))) : std::string();
        std::string shown = "/" + name;
        if (!hasValue) {
            if (name == "S") switches.Silent = true;
            else if (name == "NOSHORTCUTS") switches.NoShortcuts = true;
            else if (name == "ALLUSERS") switches.AllUsers = true;
            else if (name == "CURRENTUSER") switches.CurrentUser = true;
            else if (name == "ELEVATED") switches.Elevated = true;
            else if (name == "DIR" || name == "VST2DIR" || name == "PSDIR" || name == "CONTENTDIR" || name == "FORMATS" ||
                     name == "ITEMS" || name == "NAME" || name == "LOG" || name == "LANG")
                refuse(shown, "it needs a value: " + shown + "=...");
            continue;
        }
        std::optional<std::string>* text = name == "DIR" ? &switches.Dir : name == "VST2DIR" ? &switches.Vst2Dir
                                           : name == "PSDIR" ? &switches.PsDir : name == "CONTENTDIR" ? &switches.ContentDir
                                           : name == "NAME" ? &switches.Name
                                           : name == "LOG" ? &switches.Log : nullptr;
        if (text) {
            if (value.empty()) refuse(shown, "the value is empty");
            *text = value;
        } else if (name == "LANG") {
            // Whether the program speaks it is known once the package or the log is read.
            const TLanguage* language = FindLanguage(value);
            if (!language)
                refuse(shown, "\"" + value + "\" is not one of the languages: " + KnownLanguageTags());
            else
                switches.Language = language->Tag;
        } else if (name == "FORMATS" || name == "ITEMS") {
            std::vector<std::string> list = SplitList(value);
            for (std::string& item : list) {
                if (item.empty()) {
                    refuse(shown, "the list has an empty item");
                    continue;
                }
                if (name == "ITEMS") continue;
                item = LowerAscii(item);
                if (std::find_if(std::begin(FormatNames), std::end(FormatNames),
                                 [&](const char* known) { return item == known; }) == std::end(FormatNames))
                    refuse(shown, "\"" + item + "\" is not one of vst2, vst3, clap, aax, rtas, photoshop");
            }
            (name == "FORMATS" ? switches.Formats : switches.Items) = list;
        }
    }
    return switches;
}
