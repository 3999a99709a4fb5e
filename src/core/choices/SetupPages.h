#pragma once
// The wizard's pages in their order. The setup session decides which are
// shown and what leaving each checks; the window shows them under these indices.
namespace Wizard {

enum TPage : int {
    pgWelcome,
    pgLicense,
    pgBundleItems,
    pgVstPlugins,
    pgDigiPlugins,
    pgPhotoshopPlugin,
    pgDest,
    pgPersonalize,
    pgIcon,
    pgCopy,
    pgReady,
    PageCount
};

}  // namespace Wizard
