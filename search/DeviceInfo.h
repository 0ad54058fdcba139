// The instrument that the search found: what the update dialog shows about
// it and the baud rate at which it answers. Owned by the application; the
// dialogs hold it by pointer.
#pragma once

#include <cstdint>

class DeviceInfo {
public:
    virtual ~DeviceInfo() = default;

    // All four are written together when an identify reply of the Зирон-7
    // arrives; zero until then, so nothing reads an unwritten record.
    std::uint16_t year = 0;          // of manufacture, in full (2011)
    std::uint8_t month = 0;          // of manufacture, as the instrument reports it
    std::uint16_t serialNumber = 0;  // the instrument's serial number
    std::int32_t baudRate = 0;       // bits per second at which it answered
};
