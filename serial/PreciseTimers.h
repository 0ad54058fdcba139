// While a port is open the dialogs pace the line in milliseconds: the
// update sends its next frame 50 ms after the last one, or at once when the
// reply comes later. Windows runs program timers on its 15.6 ms clock tick
// unless a program asks for more, which would stretch every 50 ms to
// 62.5 ms. Each port holds precise timers from its opening to its closing;
// the holds are counted, so they nest.
#pragma once

// Asks for timers precise to 1 ms; every call is matched by a release.
void HoldPreciseTimers();
// Gives back one hold.
void ReleasePreciseTimers();
