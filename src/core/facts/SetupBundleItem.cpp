#include "SetupBundleItem.h"

#include "DosDateTime.h"
#include "Exception.h"
#include "Messages.h"
#include "TextUtils.h"

namespace {

int32_t AddHoursAndMinutes(int32_t dosDate, int32_t hours, int32_t minutes)
{
    if (hours < 0 || hours >= 24 || minutes < 0 || minutes >= 60)
        throw EConvertError(LoadMessage(Msg::InvalidTimeEncode));
    // A package without a valid date gives undated items rather than failing.
    if (dosDate == 0) return 0;
    TDateParts parts = DosDateTimeToParts(dosDate);
    return DateTimeToDosDateTime(EncodeDateTime(parts) + (hours * 60.0 + minutes) / 1440.0);
}

}  // namespace

TSetupBundleItem::TSetupBundleItem(const std::string& bundleItemName, int32_t packageDate, const std::string& name,
                                   const std::string& versionText, const std::string& productName)
{
    ItemVersion.ParseText(versionText);
    ItemName = name;
    ItemProductName = productName;
    DisplayName = ReplaceAll(bundleItemName + " " + versionText, "$BundleItem", ItemName);
    ItemDate = AddHoursAndMinutes(packageDate, ItemVersion.Major, ItemVersion.Minor * 10 + ItemVersion.Release);
}

std::vector<TSetupBundleItem> ParseBundleInfo(const std::vector<std::string>& lines,
                                              const std::string& bundleItemName, int32_t packageDate)
{
    std::vector<TSetupBundleItem> items;
    for (const std::string& line : lines) {
        std::string name = LineName(line);
        if (name.empty()) continue;
        std::string value = LineValue(line);
        size_t comma = value.find(',');
        std::string version = comma == std::string::npos ? value : value.substr(0, comma);
        std::string product = comma == std::string::npos ? name : value.substr(comma + 1);
        items.emplace_back(bundleItemName, packageDate, name, version, product);
    }
    return items;
}
