// What `ziron7-cli ports` prints: each port present, as a person reads it
// or as one JSON object for a script.
#pragma once

#include <string>
#include <vector>

#include "RunOutcome.h"
#include "SerialPorts.h"

// listed, or port_missing when there is no port at all.
Outcome PortListOutcome(const std::vector<SerialPortEntry>& ports);

// A line per port (COMn, device, what the system calls it, tab-separated),
// then indented lines with the USB adapter's identity and the stable names,
// where known.
std::string PortListText(const std::vector<SerialPortEntry>& ports);

// {"schema":1,"command":"ports","code":"listed"|"port_missing",...,"ports":[
// {"port":"COM1","device":...,"description":...,"stable_names":[...],
// "usb":{"id":"0403:6001","serial_number":"A1"} or null}]}
std::string PortListJson(const std::vector<SerialPortEntry>& ports);
