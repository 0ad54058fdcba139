// How ziron7-cli names a port in what it prints and logs: COMn, the device
// path the user gave with its COMn, and the device behind it.
#pragma once

#include <string>

#include "CliCommand.h"

// "COM3".
std::string PortName(int port);

// The port as the user named it, with its COMn when named by its device:
// "COM3", "/dev/ttyUSB0 (COM3)", or the path alone when no COMn stands for it.
std::string PortLabel(const PortArgument& port);

// The device behind the port for the session log, with the name the user
// gave it when that was another (a stable link).
std::string DeviceText(const PortArgument& port);
