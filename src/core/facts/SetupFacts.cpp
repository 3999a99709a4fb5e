#include "SetupFacts.h"

#include <algorithm>

#include "Languages.h"
#include "PathUtils.h"
#include "TextUtils.h"

bool ParseInstallFor(const std::string& text, TInstallFor& into)
{
    const std::pair<const char*, TInstallFor> names[] = {
        {"AllUsers", TInstallFor::AllUsers}, {"CurrentUser", TInstallFor::CurrentUser}, {"Either", TInstallFor::Either}};
    for (const auto& [name, value] : names)
        if (SameTextAscii(Trim(text), name)) {
            into = value;
            return true;
        }
    return false;
}

bool IsComponentMachine(const std::string& name)
{
    return name == "x64" || name == "arm64" || name == "arm64ec" || name == "arm64x";
}

std::vector<TComponentLine> ComponentLinesFor(const std::vector<TComponentLine>& lines, TMachine machine)
{
    auto arm = [](const TComponentLine& line) { return line.Machine.compare(0, 5, "arm64") == 0; };
    std::vector<TComponentLine> chosen;
    for (const TComponentLine& line : lines) {
        bool keep = line.Machine.empty();
        if (line.Machine == "x64")
            keep = machine == TMachine::X64 ||
                   (machine == TMachine::Arm64 && std::none_of(lines.begin(), lines.end(), [&](const TComponentLine& other) {
                        return arm(other) && SameTextAscii(other.Destination, line.Destination);
                    }));
        else if (arm(line) && IsComponentMachine(line.Machine))
            keep = machine == TMachine::Arm64;
        if (keep) chosen.push_back(line);
    }
    return chosen;
}

TComponentLine ParseComponentLine(const std::string& line, const std::vector<std::string>& componentsOptions)
{
    TComponentLine component;
    component.Key = LineName(line);
    SplitText(LineValue(line), ',', component.Destination, component.Option);
    // "DLLSuffix: S" (right after the comma, as it always was) and "Machine: M",
    // in either order, separated by a comma.
    std::string rest = component.Option;
    while (!rest.empty()) {
        std::string option;
        SplitText(rest, ',', option, rest);
        if (option.size() >= 10 && SameTextAscii(option.substr(0, 10), "DLLSuffix:"))
            component.DllSuffix = " " + Trim(option.substr(10));
        else if ((option = Trim(option)).size() >= 8 && SameTextAscii(option.substr(0, 8), "Machine:"))
        {
            component.Machine = Trim(option.substr(8));
            for (char& c : component.Machine)
                if (c >= 'A' && c <= 'Z') c = char(c - 'A' + 'a');
        }
    }
    for (const std::string& option : componentsOptions)
        component.NoOverwrite = component.NoOverwrite || (LineName(option) == component.Key && LineValue(option) == NoOverwriteOption);
    component.Vst3 = IsVst3Destination(component.Destination);
    return component;
}

std::vector<std::string> TSetupFacts::SpokenLanguages() const
{
    std::vector<std::string> spoken = {"en"};
    for (const TLanguage& language : ::Languages())
        if (Translations.count(language.Tag)) spoken.push_back(language.Tag);
    return spoken;
}
