// What Linux says of a port's device: the group read from the node itself
// (through a link too), nothing for a device that is not there, and a
// latency timer only for a USB serial adapter.
#include "PortDevice.h"

#include <grp.h>
#include <sys/stat.h>

#include <gtest/gtest.h>

#include <filesystem>

#include "TempDir.h"

namespace {

std::string GroupOfNode(const char* path) {
    struct stat status {};
    EXPECT_EQ(stat(path, &status), 0);
    const group* entry = getgrgid(status.st_gid);
    return entry != nullptr ? entry->gr_name : "";
}

TEST(PortDevice, TheGroupIsTheNodesOwnAlsoThroughALink) {
    testsupport::TempDir dir;
    const std::filesystem::path link = std::filesystem::path(dir.Path()) / "by-id-link";
    std::filesystem::create_symlink("/dev/null", link);
    const PortDevice device = InspectPortDevice(link.string());
    EXPECT_EQ(device.group, GroupOfNode("/dev/null"));
    EXPECT_TRUE(device.latencyTimerSetting.empty()) << "/dev/null is no USB serial adapter";
    EXPECT_FALSE(device.latencyTimerMs);
}

TEST(PortDevice, ADeviceThatIsNotThereTellsNothing) {
    const PortDevice device = InspectPortDevice("/dev/ttyUSB-not-there");
    EXPECT_TRUE(device.group.empty());
    EXPECT_TRUE(device.holders.empty());
    EXPECT_TRUE(device.latencyTimerSetting.empty());
}

}  // namespace
