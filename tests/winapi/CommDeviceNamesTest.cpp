// Which device a COM port name stands for.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "TempDir.h"
#include "comm_device_names.h"

namespace fs = std::filesystem;

namespace {

class CommDeviceNamesTest : public ::testing::Test {
protected:
    testsupport::PrivateDeviceDir devices_;
    fs::path dir_{devices_.Path()};
};

TEST_F(CommDeviceNamesTest, AConfiguredEntryIsThePortUnderEveryFormOfItsName) {
    fs::create_symlink("/dev/null", dir_ / "com7");
    const std::string expected = (dir_ / "com7").string();
    for (const char* name : {"\\\\.\\COM7", "COM7", "com7", "\\\\.\\cOm7"}) {
        EXPECT_EQ(ResolveCommDevice(name), expected) << name;
    }
}

TEST_F(CommDeviceNamesTest, ADanglingEntryStillNamesThePort) {
    // The configured device is gone: the port is missing, not some other one.
    fs::create_symlink("/dev/ttyZIRON7-unplugged", dir_ / "com1");
    EXPECT_EQ(ResolveCommDevice("\\\\.\\COM1"), (dir_ / "com1").string());
}

TEST_F(CommDeviceNamesTest, NamesThatAreNoComPortNameNothing) {
    for (const char* name : {"", "COM", "COM0", "COM07", "COM1x", "LPT1", "\\\\.\\", "COM-1",
                             "COM99999999999999999999", "/dev/ttyS0"}) {
        EXPECT_EQ(ResolveCommDevice(name), "") << name;
    }
}

TEST_F(CommDeviceNamesTest, PresentDevicesCountUsbAdaptersFirstAndOnlyRealUarts) {
    const fs::path dev = dir_ / "dev";
    const fs::path ttyClass = dir_ / "class";
    fs::create_directories(dev);
    for (const char* node : {"ttyS1", "ttyS0", "ttyACM0", "ttyUSB10", "ttyUSB1", "ttyUSB0", "tty0",
                             "ttyUSBx", "console"}) {
        std::ofstream(dev / node).put('\n');
    }
    // ttyS0 has a UART (type 4); ttyS1 is a placeholder (type 0).
    for (const auto& [name, type] : {std::pair{"ttyS0", "4"}, std::pair{"ttyS1", "0"}}) {
        fs::create_directories(ttyClass / name);
        std::ofstream(ttyClass / name / "type") << type << '\n';
    }
    const std::vector<std::string> expected = {
        (dev / "ttyUSB0").string(), (dev / "ttyUSB1").string(), (dev / "ttyUSB10").string(),
        (dev / "ttyACM0").string(), (dev / "ttyS0").string()};
    EXPECT_EQ(PresentSerialDevices(dev, ttyClass), expected);
}

TEST_F(CommDeviceNamesTest, UnconfiguredPortsAreThePresentDevicesInOrder) {
    const auto present = PresentSerialDevices();
    for (std::size_t i = 0; i < present.size(); ++i) {
        EXPECT_EQ(ResolveCommDevice("COM" + std::to_string(i + 1)), present[i]);
    }
    EXPECT_EQ(ResolveCommDevice("COM" + std::to_string(present.size() + 1)), "");
}

}  // namespace
