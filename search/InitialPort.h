// The port the port dialog selects when it opens, for the operator: on a PC
// COM1 is usually the motherboard's port and the adapter COM3 or above, so
// the list starts where the instrument was found last time, else at the
// first port present.
#pragma once

#include <optional>
#include <span>

// n of the COMn to select: `remembered` when it is among `present` (the
// port numbers on this machine, ascending); else the first of `present`;
// else `remembered` when nothing is known present (a machine that lists no
// ports cannot say the remembered one is gone); else 1, COM1.
int ChooseInitialPort(std::optional<int> remembered, std::span<const int> present);
