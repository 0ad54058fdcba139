// The program's dialog templates: the port dialog (132), the update dialog
// (134) and the About box (148). Positions and sizes in dialog units of
// "MS Sans Serif" 8 pt.
#include <array>

#include "DialogResults.h"
#include "DialogTemplate.h"

namespace {

using Kind = DialogControlKind;

// Port selection and device search. The caption and the status line are set
// when the dialog starts; OK is enabled once the instrument is found.
constexpr std::array kPortDialogControls = {
    DialogControlTemplate{IDOK, Kind::PushButton, "OK", 230, 10, 50, 14,
                          kStyleDefaultButton | kStyleDisabled},
    DialogControlTemplate{1147, Kind::ComboBox, "", 16, 31, 59, 171,
                          kStyleDropDownList | kStyleVerticalScroll},
    DialogControlTemplate{1153, Kind::Static, "Бла-бла-бла", 83, 33, 114, 10},
    DialogControlTemplate{1167, Kind::PushButton, "Справка", 230, 29, 50, 14},
    DialogControlTemplate{IDCANCEL, Kind::PushButton, "Выход", 230, 49, 50, 14},
    DialogControlTemplate{kNoControlId, Kind::GroupBox, "Коммуникационный порт", 6, 6, 214, 57},
};

// The update: the log, the progress bar, the address and the percentage.
constexpr std::array kUpdateDialogControls = {
    DialogControlTemplate{IDCANCEL, Kind::PushButton, "Выход", 343, 52, 50, 14},
    DialogControlTemplate{kNoControlId, Kind::Static, "Выполняемые действия:", 7, 7, 85, 8},
    DialogControlTemplate{1197, Kind::ListView, "", 7, 49, 327, 129,
                          kStyleBorder | kStyleReportView | kStyleSingleSelection |
                              kStyleShowSelectionAlways | kStyleNoSortHeader},
    DialogControlTemplate{1164, Kind::ProgressBar, "", 7, 33, 385, 13, kStyleBorder},
    DialogControlTemplate{1198, Kind::Static, "----", 7, 20, 191, 9},
    DialogControlTemplate{1179, Kind::Static, "", 301, 20, 92, 11},
};

// About: the instrument, the loader, and the version line (control 1194).
constexpr std::array kAboutBoxControls = {
    DialogControlTemplate{IDOK, Kind::PushButton, "OK", 215, 7, 50, 14, kStyleDefaultButton},
    DialogControlTemplate{kNoControlId, Kind::Icon, "", 4, 17, 0, 0, kStyleNone, 128},
    DialogControlTemplate{kNoControlId, Kind::Static,
                          "Источник напряжения постоянного тока Зирон-7", 33, 10, 166, 8},
    DialogControlTemplate{kNoControlId, Kind::Static, "Загрузчик", 33, 19, 166, 8},
    DialogControlTemplate{1194, Kind::Static, "-", 7, 41, 265, 8},
};

const std::array kTemplates = {
    DialogTemplate{132, "", 287, 71, "MS Sans Serif", 8, kPortDialogControls},
    DialogTemplate{134, "", 400, 186, "MS Sans Serif", 8, kUpdateDialogControls},
    DialogTemplate{148, "Информация", 272, 62, "MS Sans Serif", 8, kAboutBoxControls},
};

}  // namespace

const DialogTemplate* FindDialogTemplate(UINT id) {
    for (const DialogTemplate& dialogTemplate : kTemplates) {
        if (dialogTemplate.id == id) {
            return &dialogTemplate;
        }
    }
    return nullptr;
}
