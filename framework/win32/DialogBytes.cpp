#include "DialogBytes.h"

#include <commctrl.h>

#include "WideText.h"

namespace {

// The extended template's version and signature words.
constexpr WORD kExtendedTemplateVersion = 1;
constexpr WORD kExtendedTemplateSignature = 0xFFFF;
// A class or resource named by number rather than by text follows this word.
constexpr WORD kOrdinalFollows = 0xFFFF;
// The dialog manager's own control classes, by number.
constexpr WORD kButtonClass = 0x0080;
constexpr WORD kStaticClass = 0x0082;
constexpr WORD kComboBoxClass = 0x0085;

// A modal frame with a caption and a close box, centred, in the system's
// dialog font: no help button, no resizing.
constexpr DWORD kDialogStyle =
    DS_SHELLFONT | DS_MODALFRAME | DS_3DLOOK | DS_CENTER | WS_POPUP | WS_CAPTION | WS_SYSMENU;
// The templates name the bitmap font "MS Sans Serif", which shows Russian
// only where the system's language for non-Unicode programs is Cyrillic. On
// Windows the dialogs take the shell's dialog font instead: with DS_SHELLFONT
// this name stands for the system's scalable Unicode dialog font, which
// covers Cyrillic on every locale, at the template's point size.
constexpr const char* kShellDialogFont = "MS Shell Dlg";

class Writer {
public:
    void Word(WORD value) { m_words.push_back(value); }
    void Dword(DWORD value) {
        Word(LOWORD(value));
        Word(HIWORD(value));
    }
    void Short(int value) { Word(static_cast<WORD>(static_cast<short>(value))); }
    void Text(const char* utf8) {
        for (const wchar_t unit : WidenUtf8(utf8)) {
            Word(static_cast<WORD>(unit));
        }
        Word(0);
    }
    void Ordinal(WORD value) {
        Word(kOrdinalFollows);
        Word(value);
    }
    // Every control starts on a DWORD boundary.
    void AlignToDword() {
        if (m_words.size() % 2 != 0) {
            Word(0);
        }
    }
    std::vector<WORD> Take() { return std::move(m_words); }

private:
    std::vector<WORD> m_words;
};

bool Has(const DialogControlTemplate& control, DialogControlStyle style) {
    return (control.styles & style) != 0;
}

DWORD ControlStyle(const DialogControlTemplate& control) {
    DWORD style = WS_CHILD | WS_VISIBLE;
    if (Has(control, kStyleDisabled)) {
        style |= WS_DISABLED;
    }
    if (Has(control, kStyleBorder)) {
        style |= WS_BORDER;
    }
    switch (control.kind) {
        case DialogControlKind::PushButton:
            return style | WS_TABSTOP |
                   (Has(control, kStyleDefaultButton) ? BS_DEFPUSHBUTTON : BS_PUSHBUTTON);
        case DialogControlKind::Static:
            // Notifies, so that the pointer resting on it can show its note.
            return style | SS_LEFT | SS_NOTIFY;
        case DialogControlKind::ComboBox:
            return style | WS_TABSTOP |
                   (Has(control, kStyleDropDownList) ? CBS_DROPDOWNLIST : CBS_DROPDOWN) |
                   (Has(control, kStyleVerticalScroll) ? WS_VSCROLL : 0);
        case DialogControlKind::ListView:
            return style | WS_TABSTOP | (Has(control, kStyleReportView) ? LVS_REPORT : 0) |
                   (Has(control, kStyleSingleSelection) ? LVS_SINGLESEL : 0) |
                   (Has(control, kStyleShowSelectionAlways) ? LVS_SHOWSELALWAYS : 0) |
                   (Has(control, kStyleNoSortHeader) ? LVS_NOSORTHEADER : 0);
        case DialogControlKind::ProgressBar:
            return style;
        case DialogControlKind::GroupBox:
            return style | BS_GROUPBOX;
        case DialogControlKind::Icon:
            return style | SS_ICON;
    }
    return style;
}

void WriteClass(Writer& out, DialogControlKind kind) {
    switch (kind) {
        case DialogControlKind::PushButton:
        case DialogControlKind::GroupBox:
            out.Ordinal(kButtonClass);
            return;
        case DialogControlKind::Static:
        case DialogControlKind::Icon:
            out.Ordinal(kStaticClass);
            return;
        case DialogControlKind::ComboBox:
            out.Ordinal(kComboBoxClass);
            return;
        case DialogControlKind::ListView:
            out.Text("SysListView32");
            return;
        case DialogControlKind::ProgressBar:
            out.Text("msctls_progress32");
            return;
    }
}

}  // namespace

std::vector<WORD> BuildDialogBytes(const DialogTemplate& dialogTemplate) {
    Writer out;
    out.Word(kExtendedTemplateVersion);
    out.Word(kExtendedTemplateSignature);
    out.Dword(0);  // help context
    out.Dword(0);  // extended style
    out.Dword(kDialogStyle);
    out.Word(static_cast<WORD>(dialogTemplate.controls.size()));
    out.Short(0);  // position: centred (DS_CENTER)
    out.Short(0);
    out.Short(dialogTemplate.cx);
    out.Short(dialogTemplate.cy);
    out.Word(0);  // no menu
    out.Word(0);  // the dialog manager's own window class
    out.Text(dialogTemplate.caption);
    out.Word(static_cast<WORD>(dialogTemplate.fontPointSize));
    out.Word(FW_NORMAL);
    out.Word(MAKEWORD(FALSE, DEFAULT_CHARSET));  // not italic; the character set
    out.Text(kShellDialogFont);

    for (const DialogControlTemplate& control : dialogTemplate.controls) {
        out.AlignToDword();
        out.Dword(0);  // help context
        out.Dword(0);  // extended style
        out.Dword(ControlStyle(control));
        out.Short(control.x);
        out.Short(control.y);
        out.Short(control.cx);
        out.Short(control.cy);
        out.Dword(static_cast<DWORD>(control.id));  // kNoControlId: every bit set, as ever
        WriteClass(out, control.kind);
        if (control.kind == DialogControlKind::Icon) {
            out.Ordinal(static_cast<WORD>(control.iconId));  // the dialog manager loads it
        } else {
            out.Text(control.text);
        }
        out.Word(0);  // no creation data
    }
    return out.Take();
}
