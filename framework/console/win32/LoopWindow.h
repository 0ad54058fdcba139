// Framework-internal, console backend on Win32: the application's own
// message-only window, to which PostToConsoleLoop posts work. Created once,
// before InitInstance; it lives until the process ends.
#pragma once

void CreateConsoleLoopWindow();
