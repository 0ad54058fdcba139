// The command line of ziron7-cli: the subcommand and its options, parsed
// without touching any port or file.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

enum class CliSubcommand { Help, Version, Ports, Find, Update, Verify };

struct CliCommand {
    CliSubcommand subcommand = CliSubcommand::Help;
    std::vector<int> ports;   // COM port numbers (1..255) in the order given
    bool info = false;        // find: also read the firmware's identity
    bool yes = false;         // update: answer Yes to writing an instrument found in its bootloader
    bool json = false;        // update, verify: one JSON object on stdout at the end
    bool fast = false;        // update: write and verify at the bootloader's own pace
    std::optional<std::string> imageFile;  // update, verify: the image instead of the program's
};

// The command, or the reason why the arguments do not make one (a line for
// the user, without the program's name).
struct CliParse {
    std::optional<CliCommand> command;
    std::string error;
};

// `arguments` are argv[1..]. A port is given as COMn (any case) or n.
CliParse ParseCliArguments(const std::vector<std::string_view>& arguments);

// The --help text: usage, subcommands, options and exit codes.
std::string CliHelpText();
