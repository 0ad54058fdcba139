// The serial ports present on this machine, named as the port dialog names
// them, with what the system says of each. One .cpp per platform.
#pragma once

#include <string>
#include <vector>

struct SerialPortEntry {
    int number = 0;           // n of COMn
    std::string device;       // the system's own name of the device
    std::string description;  // the adapter's name, or the kind of port
};

std::vector<SerialPortEntry> ListSerialPorts();
