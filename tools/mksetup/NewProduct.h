#pragma once
// `mksetup new FOLDER --product NAME --maker NAME [--32bit]`: a product folder
// to start from (a commented Setup.ini of a 64-bit product, or with --32bit a
// 32-bit one, a placeholder licence, side pictures at 1x and 2x, a readme and
// empty plug-in folders), which builds and installs as it is; `check` warns
// while the licence and the pictures are still these placeholders. Refuses a
// folder that exists and is not empty.
#include <cstdint>
#include <ostream>
#include <string>
#include <vector>

// The placeholder licence's last line, and the placeholder side picture of that size.
extern const char PlaceholderLicenceLine[];
std::vector<uint8_t> PlaceholderPicture(int width, int height);

int NewProduct(const std::string& folder, const std::string& product, const std::string& maker, bool wide,
               std::ostream& out);
