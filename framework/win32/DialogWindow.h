// Framework-internal: the dialog procedure that turns what the dialog
// manager reports (the window's start, clicks, selection changes, Enter,
// Esc, the close box, timer ticks, F1, posted messages) into calls on the
// running CDialog.
#pragma once

#include <windows.h>

class CDialog;

class DialogWindow {
public:
    // The procedure of every dialog; the CDialog comes as the creation
    // parameter of DialogBoxIndirectParamW.
    static INT_PTR CALLBACK Procedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

private:
    // The window has come to exist: the dialog gets its handle and its
    // controls' items.
    static void AttachWindow(CDialog& dialog, HWND window);
};
