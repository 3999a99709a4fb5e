#pragma once
// `mksetup new FOLDER --product NAME --maker NAME`: a product folder to start
// from (a commented Setup.ini, a placeholder licence, side pictures at 1x and
// 2x, a readme and empty plug-in folders), which checks clean, builds and
// installs as it is. Refuses a folder that exists and is not empty.
#include <ostream>
#include <string>

int NewProduct(const std::string& folder, const std::string& product, const std::string& maker, std::ostream& out);
