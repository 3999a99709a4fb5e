#pragma once
// One product of a bundle, as BundleInfo.ini lists it.
#include <cstdint>
#include <string>
#include <vector>

#include "ProgramVersion.h"

class TSetupBundleItem {
public:
    // Parses the version text (EProgramVersionError when it is none), composes
    // the display name from the model's BundleItemName pattern, and dates the
    // item: the package date plus major hours and (minor × 10 + release)
    // minutes ("Invalid argument to time encode" beyond 23 hours or 59 minutes).
    TSetupBundleItem(const std::string& bundleItemName, int32_t packageDate, const std::string& name,
                     const std::string& versionText, const std::string& productName);

    std::string DisplayName;
    int32_t ItemDate = 0;
    std::string ItemName;
    std::string ItemProductName;
    TProgramVersion ItemVersion;
};

// The items of BundleInfo.ini: every line with a name before its first "=";
// the value is "version" or "version,product name", neither trimmed.
std::vector<TSetupBundleItem> ParseBundleInfo(const std::vector<std::string>& lines,
                                              const std::string& bundleItemName, int32_t packageDate);
