// The codes of the Win32 dialog manager, message boxes and common controls
// that the dialog framework's interface speaks in, on Linux. On Windows a
// header of the same name in winapi/windows/ takes the system's own.
#pragma once

// How a modal dialog or a message box ends.
inline constexpr int IDOK = 1;
inline constexpr int IDCANCEL = 2;
inline constexpr int IDYES = 6;
inline constexpr int IDNO = 7;

// Message box types: the buttons (OK, or Yes and No with Yes the default),
// then no icon, the stop icon, the information icon.
inline constexpr unsigned int MB_OK = 0;
inline constexpr unsigned int MB_YESNO = 4;
inline constexpr unsigned int MB_ICONSTOP = 16;
inline constexpr unsigned int MB_ICONINFORMATION = 64;

inline constexpr int CB_ERR = -1;  // combo box: no such entry, or nothing selected

inline constexpr int LVCFMT_LEFT = 0;  // list view column alignment
inline constexpr int LVCFMT_RIGHT = 1;
inline constexpr int LVCFMT_CENTER = 2;
