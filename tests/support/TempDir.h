// Scratch folders for tests: a fresh folder under /tmp, removed with
// everything in it when the object goes; and the serial layer's device
// namespace made of one.
#pragma once

#include <string>

namespace testsupport {

class TempDir {
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    const std::string& Path() const { return m_path; }
    // The path of `name` inside the folder.
    std::string operator/(const char* name) const { return m_path + "/" + name; }

private:
    std::string m_path;
};

// The folder ZIRON7_DEVICE_DIR names for this test process, where comN
// entries make serial ports. The variable keeps naming the folder after it
// is gone, so a port opened later is missing rather than the user's own.
class PrivateDeviceDir {
public:
    PrivateDeviceDir();

    const std::string& Path() const { return m_folder.Path(); }

private:
    TempDir m_folder;
};

}  // namespace testsupport
