// A dialog as data: the caption, the client size and the controls of one
// dialog, in dialog units of the dialog's font. The program's templates are
// tables in res/; the dialog base turns one into a window when it runs.
//
// Dialog units: one horizontal unit is a quarter of the font's average
// character width, one vertical unit an eighth of its height. For
// "MS Sans Serif" 8 pt at 96 dpi the base units are 6 x 13 pixels, so a
// control 50 units wide is 75 pixels wide.
#pragma once

#include <cstdint>
#include <span>

#include "winapi_types.h"

enum class DialogControlKind {
    PushButton,
    Static,  // a line (or lines) of text
    ComboBox,
    ListView,
    ProgressBar,
    GroupBox,  // a titled frame drawn behind the controls it surrounds
    Icon,      // an icon resource at its natural size (32 x 32)
};

// Styles that change how a control looks or behaves; combine with |.
enum DialogControlStyle : std::uint32_t {
    kStyleNone = 0,
    kStyleDefaultButton = 1u << 0,        // Enter presses it while it is enabled
    kStyleDisabled = 1u << 1,             // starts disabled
    kStyleBorder = 1u << 2,               // a sunken frame around the control
    kStyleDropDownList = 1u << 3,         // combo box: pick from the list, no typing
    kStyleVerticalScroll = 1u << 4,       // combo box: the dropped list scrolls
    kStyleReportView = 1u << 5,           // list view: rows under column headings
    kStyleSingleSelection = 1u << 6,      // list view: one row at a time
    kStyleShowSelectionAlways = 1u << 7,  // list view: selection visible without focus
    kStyleNoSortHeader = 1u << 8,         // list view: headings are not buttons
};

// The id of controls that nobody addresses (labels, frames, icons).
inline constexpr int kNoControlId = -1;

struct DialogControlTemplate {
    int id = kNoControlId;
    DialogControlKind kind = DialogControlKind::Static;
    const char* text = "";  // UTF-8; unused by list views, progress bars and icons
    int x = 0;              // position and size in dialog units; an icon takes
    int y = 0;              // its size from the image and ignores cx, cy
    int cx = 0;
    int cy = 0;
    std::uint32_t styles = kStyleNone;
    UINT iconId = 0;  // icon resource shown by an Icon control
};

struct DialogTemplate {
    UINT id = 0;
    const char* caption = "";  // UTF-8; empty when the dialog sets it at run time
    int cx = 0;                // client area in dialog units
    int cy = 0;
    const char* fontName = "MS Sans Serif";
    int fontPointSize = 8;
    std::span<const DialogControlTemplate> controls;
};

// The program's template with this id, or null when there is none. The
// templates are static data of the program (res/); the pointer stays valid.
const DialogTemplate* FindDialogTemplate(UINT id);
