// What a run into a destination writes: its passes, the package folders of
// each and their destinations, and the bytes that go to each drive.
#include <algorithm>
#include <map>

#include "Exception.h"
#include "Messages.h"
#include "PathUtils.h"
#include "SetupInstaller.h"
#include "SystemCalls.h"
#include "TextUtils.h"

namespace {

constexpr int64_t SpaceMargin = 1048576;

}  // namespace

int64_t TSetupInstaller::GetRequiredSpace() const
{
    int64_t total = 0;
    for (const TComponentLine& line : FFacts.ComponentLines) total += FInstaller->GetFolderSize(line.Key);
    return total;
}

std::map<std::string, int64_t> TSetupInstaller::RequiredSpaceByDrive(const TDestination& destination) const
{
    std::map<std::string, int64_t> drives;
    auto add = [&](const std::string& folder, int64_t bytes) {
        std::string drive = UpperAscii(ExtractFileDrive(folder));
        if (!drive.empty()) drives[drive + "\\"] += bytes;
    };
    add(destination.InstallFolder, 0);  // Uninst.exe at least
    for (const TSetupBundleItem* item : Passes())
        for (const auto& folder : PassFolders(item, destination))
            add(folder.second, FInstaller->GetFolderSize(folder.first));
    return drives;
}

void TSetupInstaller::CheckDiskSpace(const TDestination& destination) const
{
    // Each drive the run writes to, with what goes there.
    for (const auto& drive : RequiredSpaceByDrive(destination)) {
        uint64_t freeBytes = 0;
        if (!SystemCalls().FreeSpace(drive.first, freeBytes)) freeBytes = 0;
        if (freeBytes < uint64_t(drive.second) + SpaceMargin) throw ESetupError(LoadMessage(Msg::NotEnoughSpace));
    }
}

int64_t TSetupInstaller::ComponentBytes(const TSetupBundleItem* item) const
{
    int64_t total = 0;
    for (const auto& folder : PassFolders(item, Destination())) total += FInstaller->GetFolderSize(folder.first);
    return total;
}

std::vector<const TSetupBundleItem*> TSetupInstaller::Passes() const
{
    std::vector<const TSetupBundleItem*> passes;
    if (FFacts.IsBundle)
        for (size_t i = 0; i < FFacts.BundleItems.size(); ++i)
            if (Choices.Items.at(i)) passes.push_back(&FFacts.BundleItems[i]);
    passes.push_back(nullptr);
    return passes;
}

std::vector<std::pair<std::string, std::string>> TSetupInstaller::PassFolders(const TSetupBundleItem* item,
                                                                              const TDestination& to) const
{
    std::vector<std::pair<std::string, std::string>> folders;
    for (const TComponentLine& line : FFacts.ComponentLines) {
        std::string folderName = ExpandVariables(line.Key, item, to);
        std::string destination = ExpandVariables(line.Destination, item, to);
        if (!folderName.empty() && !destination.empty()) folders.emplace_back(folderName, destination);
    }
    return folders;
}
