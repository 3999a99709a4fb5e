#pragma once
// The wizard window as designed at 96 DPI: one table of every control with its
// page, kind, position, caption and style. The window builds itself from it.
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
    const char* Caption;
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

}  // namespace Wizard
