// Window messages between threads, on Linux: registered message ids and
// posting to a window, with the effects the serial listener relies on.
#pragma once

#include <functional>

#include "winapi_types.h"

// The same id for the same name, process-wide, in the range 0xC000..0xFFFF
// that no fixed message uses. Returns 0 for a null or empty name.
UINT RegisterWindowMessageA(LPCSTR name);

// Hands the message to the window's sink on the calling thread and returns at
// once. A null or destroyed window: FALSE, last error 1400, message dropped.
BOOL PostMessageA(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

// --- Linux side: how a window object comes to have a handle. ---

// Receives posted messages; called on the posting thread, so it must only
// queue the message for the window's own thread.
using WindowMessageSink = std::function<void(UINT message, WPARAM wParam, LPARAM lParam)>;

// A new handle whose posted messages go to `sink`. The caller owns the handle
// and gives it back with DestroyWindowHandle.
HWND CreateWindowHandle(WindowMessageSink sink);

// After this returns no sink call for `window` is running or will start, and
// posting to it fails; safe to call with null.
void DestroyWindowHandle(HWND window);
