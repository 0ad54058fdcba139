// What a program of this system says with --version, and the Debian
// package's description with it: the program's own version and the identity
// of the firmware it carries (its header's version and build time, its size
// and SHA-256), so that an administrator or a service centre can tell which
// firmware a copy of the program installs without running an update.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>

// The lines of --version, each ending in '\n' and none longer than a
// package description allows:
//   ziron7-cli 1.0
//   Firmware: version 6, built 20/06/2011 09:15:48, 35698 bytes
//   SHA-256: <64 lower-case hex digits>
// The build time is shown in the About box's format. An image whose header
// cannot be read (too short or too long, or its build date and time do not
// parse) says so in place of its version and build time; without an image
// the second line is "Firmware: none" and there is no third. `firmware` is
// read, not kept.
std::string VersionText(std::string_view program, std::string_view programVersion,
                        std::span<const std::uint8_t> firmware);
