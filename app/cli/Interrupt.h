// Ctrl+C, and a request to terminate, as the operator's Выход: the run is
// not killed in the middle of a frame but ends as the dialogs end it.
// One .cpp per platform.
#pragma once

#include <functional>

// From now on every interrupt runs `onInterrupt` on the user-interface
// thread's event loop. Call once, from the main thread, before any other
// thread starts.
void CatchInterrupts(std::function<void()> onInterrupt);
