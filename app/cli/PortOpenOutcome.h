// Which outcome a port that did not open is, from the serial layer's result
// code of its Open. The codes mean different things on the two systems
// (access denied is a missing right on Linux, another program's hold on
// Windows): one .cpp per system.
#pragma once

#include "RunOutcome.h"
#include "winapi_types.h"

// `code` is the non-zero result of the port's Open.
Outcome PortOpenOutcome(LONG code);
