// Windows names neither a group for a COM port (every user may open one)
// nor the program that holds it, and keeps an adapter's latency timer in
// the driver's own settings: nothing to tell.
#include "PortDevice.h"

PortDevice InspectPortDevice(const std::string&) {
    return {};
}
