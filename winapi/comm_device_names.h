// The platform's device namespace for serial ports: which tty a Win32 port
// name ("\\.\COM3", "COM3", any case) stands for on this machine.
//
//  1. An entry comN (lower case; normally a symlink to a tty) in the folder
//     named by ZIRON7_DEVICE_DIR, by default ~/.local/share/ziron7/devices,
//     is COMn.
//  2. Otherwise COMn is the n-th serial device present, counted in this
//     order: /dev/ttyUSB0, ttyUSB1, ... then /dev/ttyACM0, ... then the
//     on-board ports /dev/ttyS0, ... that have a UART behind them. So a
//     single USB adapter is COM1 with nothing configured.
#pragma once

#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

// The device path for `portName`, or empty when the name is not a COM port
// name or no device stands behind it.
std::string ResolveCommDevice(std::string_view portName);

// The serial devices present, in the order of rule 2: the tty nodes in
// `devices`, with the kernel's description of each under `ttyClass`.
std::vector<std::string> PresentSerialDevices(
    const std::filesystem::path& devices = "/dev",
    const std::filesystem::path& ttyClass = "/sys/class/tty");
