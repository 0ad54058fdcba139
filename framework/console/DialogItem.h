// Framework-internal, console backend: one control of a dialog without a
// window, its state held in memory as the window system would hold it.
#pragma once

#include <map>
#include <memory>
#include <string>
#include <vector>

#include "DialogTemplate.h"

class CDialog;

struct DialogItem {
    CDialog* dialog = nullptr;  // the running dialog that owns the item; not owned
    int id = kNoControlId;
    DialogControlKind kind = DialogControlKind::Static;
    std::string text;  // a static's line, a button's caption (UTF-8)
    bool enabled = true;
    std::string toolTip;
    std::vector<std::string> entries;            // combo box
    int selected = -1;                           // combo box: -1, nothing
    int columns = 0;                             // list view: columns inserted
    std::vector<std::vector<std::string>> rows;  // list view: texts by column
    int lower = 0;                               // progress bar: range and position
    int upper = 100;
    int position = 0;
};

class ConsoleOperator;

// The template's controls that have an id, as `owner`'s items.
std::map<int, std::unique_ptr<DialogItem>> MakeDialogItems(CDialog& owner,
                                                           const DialogTemplate& dialogTemplate);

// The operator installed, or null.
ConsoleOperator* InstalledConsoleOperator();

// Tells the console operator that `item` changed.
void NotifyControlChanged(DialogItem& item);
