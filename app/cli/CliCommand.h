// The command line of ziron7-cli: the subcommand and its options, parsed
// without touching any port or file.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "Verbosity.h"

enum class CliSubcommand { Help, Version, Ports, Find, Update, Verify, Diagnose };

// A port as the user named it: COMn (n, \\.\COMn) or the path of a device
// (/dev/ttyUSB0, /dev/serial/by-id/...), which is mapped to its COMn before
// the port is opened.
struct PortArgument {
    int number = 0;      // n of COMn (1..255); 0 while only the device is known
    std::string device;  // the device path given; empty when named as COMn

    bool operator==(const PortArgument&) const = default;
};

struct CliCommand {
    CliSubcommand subcommand = CliSubcommand::Help;
    std::vector<PortArgument> ports;  // in the order given; update and verify take several at once
    bool all = false;         // update, verify: every port present, updating where a Зирон-7 answers
    bool info = false;        // find: also read the firmware's identity
    bool yes = false;         // update: answer Yes to writing an instrument found in its bootloader
    bool json = false;        // every command but help: one JSON object on stdout at the end
    Verbosity verbosity = Verbosity::Normal;  // -q, -v: how much goes to stderr
    bool fast = false;        // update: write and verify at the bootloader's own pace
    std::optional<std::string> imageFile;  // update, verify: the image instead of the program's
};

// The command, or the reason why the arguments do not make one (a line for
// the user, without the program's name). A script that asked for JSON gets
// even that answer as JSON: so a command line that makes no command still
// says the subcommand it names, if any, and whether --json is among it.
struct CliParse {
    std::optional<CliCommand> command;
    std::string error;
    std::optional<CliSubcommand> subcommand;  // set when the command is not
    bool json = false;                        // set when the command is not
};

// `arguments` are argv[1..]. A port is given as COMn (any case), n,
// \\.\COMn or a device path; an option's value follows it or an '='
// (--port=COM1).
CliParse ParseCliArguments(const std::vector<std::string_view>& arguments);

// The --help text: usage, subcommands, options and exit codes.
std::string CliHelpText();
