// Framework-internal, console backend on Win32: message-only windows that
// take work for their thread's loop. The application's own, to which
// PostToConsoleLoop posts, is created once, before InitInstance, and lives
// until the process ends; a thread of DialogThreads has one for its run.
#pragma once

#include <windows.h>

#include <functional>

void CreateConsoleLoopWindow();

// A window of the calling thread that runs the work posted to it; null when
// none could be made.
HWND CreateWorkWindow();
// From any thread: `work` runs on `window`'s thread; dropped when the window
// is null or gone.
void PostWork(HWND window, std::function<void()> work);
// On the window's thread: drops the work still queued, then the window.
void DestroyWorkWindow(HWND window);
