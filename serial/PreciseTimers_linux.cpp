#include "PreciseTimers.h"

// Linux timers fire to within microseconds of their time, and the dialogs'
// timers are precise ones: there is nothing to ask for.
void HoldPreciseTimers() {}

void ReleasePreciseTimers() {}
