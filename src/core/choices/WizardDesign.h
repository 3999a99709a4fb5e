#pragma once
// The wizard window as designed at 96 DPI: one table of every control with its
// page, kind, position, text and style. The window builds itself from it; the
// builder's checks read which texts share a page from it.
#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "WizardIds.h"

namespace Wizard {

enum TControlKind { ckLabel, ckMemo, ckCheckList, ckButton, ckEdit, ckCheckBox, ckProgressBar };

enum TControlFlag : unsigned {
    cfBold = 1,
    cfWordWrap = 2,
    cfTicked = 4,
};

struct TControlDesign {
    TControlId Id;
    TPage Page;
    TControlKind Kind;
    int Left, Top, Width, Height;
    int Text;  // the message of its caption; 0 for none
    unsigned Flags;
};

// Client area, picture panel, notebook and buttons, in design pixels.
constexpr int ClientWidth = 512, ClientHeight = 370;
constexpr int PanelLeft = 8, PanelTop = 8, PanelWidth = 154, PanelHeight = 354;
constexpr int ImageWidth = 150, ImageHeight = 350;
constexpr int NotebookLeft = 176, NotebookTop = 8, NotebookWidth = 325, NotebookHeight = 313;
constexpr int ButtonTop = 339, ButtonWidth = 75, ButtonHeight = 23;
constexpr int BackLeft = 249, NextLeft = 324, CancelLeft = 425;

const std::vector<TControlDesign>& PageControls();
const TControlDesign& DesignOf(TControlId id);

// The messages one page shows at once, its buttons' included (Next stands for
// whatever that button says on the page: Install or Finish too). Two of them
// should not share an accelerator.
std::vector<int> PageTexts(TPage page);
// The pairs of a page's texts (as `text` gives them) whose accelerators name one key.
std::vector<std::pair<int, int>> AcceleratorClashes(TPage page, const std::function<std::string(int)>& text);

}  // namespace Wizard
