// Ctrl+C, and a request to terminate, as the operator's Выход: the run is
// not killed in the middle of a frame but ends as the dialogs end it, and
// the process then exits as a shell expects of one ended by that signal.
// One .cpp per platform.
#pragma once

#include <functional>

// From now on every interrupt runs `onInterrupt` on the user-interface
// thread's event loop, with the exit code that interrupt calls for
// (128 + the signal's number: 130 for Ctrl+C, 143 for SIGTERM). Call once,
// from the main thread, before any other thread starts.
void CatchInterrupts(std::function<void(int exitCode)> onInterrupt);
