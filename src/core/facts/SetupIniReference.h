#pragma once
// Setup.ini described once: every section, key, value form, default,
// variable, shortcut location and "%" placeholder, with a line of help each.
// `mksetup check` takes its known names from here, and docs/setup-ini.md is
// generated from it (`mksetup reference`).
#include <string>
#include <vector>

struct TIniKeyReference {
    std::string Name, Form, Default, Help;
};

struct TIniSectionReference {
    std::string Name;
    bool List = false;      // lines of NAME=VALUE that the installer reads in order
    std::string LineForm;   // for a list section: the form of its lines
    std::string Help;
    std::vector<TIniKeyReference> Keys;  // for a section of keys
    std::vector<std::string> Example;    // lines after the header
};

struct TNameReference {
    std::string Name, Help;
};

const std::vector<TIniSectionReference>& SetupIniSections();
// Folder variables ($ProgramFolder, ...) and text variables ($ProductName, ...).
const std::vector<TNameReference>& SetupIniFolderVariables();
const std::vector<TNameReference>& SetupIniTextVariables();
const std::vector<TNameReference>& ShortcutLocations();
const std::vector<TNameReference>& PercentPlaceholders();

// The reference as a Markdown document (docs/setup-ini.md).
std::string SetupIniReferenceText();
