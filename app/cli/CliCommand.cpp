#include "CliCommand.h"

#include <charconv>

#include "ExitCodes.h"
#include "FirmwareImage.h"

namespace {

constexpr int kFirstPort = 1;  // COM1 ..
constexpr int kLastPort = 255;  // .. COM255, as the port dialog lists them

std::optional<int> ParsePort(std::string_view text) {
    if (text.size() > 3 && (text[0] == 'C' || text[0] == 'c') && (text[1] == 'O' || text[1] == 'o') &&
        (text[2] == 'M' || text[2] == 'm')) {
        text.remove_prefix(3);
    }
    int number = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), number);
    if (error != std::errc() || end != text.data() + text.size() || number < kFirstPort ||
        number > kLastPort) {
        return std::nullopt;
    }
    return number;
}

std::optional<CliSubcommand> ParseSubcommand(std::string_view word) {
    if (word == "ports") return CliSubcommand::Ports;
    if (word == "find") return CliSubcommand::Find;
    if (word == "update") return CliSubcommand::Update;
    if (word == "verify") return CliSubcommand::Verify;
    if (word == "help" || word == "--help" || word == "-h") return CliSubcommand::Help;
    if (word == "--version") return CliSubcommand::Version;
    return std::nullopt;
}

// `text` in single quotes, as the errors name what was typed.
std::string Quoted(std::string_view text) {
    std::string quoted(1, '\'');
    quoted.append(text).push_back('\'');
    return quoted;
}

CliParse Fail(std::string error) {
    return {std::nullopt, std::move(error)};
}

}  // namespace

CliParse ParseCliArguments(const std::vector<std::string_view>& arguments) {
    if (arguments.empty()) {
        return Fail("no subcommand given");
    }
    const std::optional<CliSubcommand> subcommand = ParseSubcommand(arguments[0]);
    if (!subcommand) {
        return Fail("unknown subcommand " + Quoted(arguments[0]));
    }
    CliCommand command;
    command.subcommand = *subcommand;
    const bool updating =
        command.subcommand == CliSubcommand::Update || command.subcommand == CliSubcommand::Verify;
    for (std::size_t i = 1; i < arguments.size(); ++i) {
        const std::string_view option = arguments[i];
        const auto value = [&]() -> std::optional<std::string_view> {
            if (i + 1 >= arguments.size()) {
                return std::nullopt;
            }
            return arguments[++i];
        };
        if (option == "--help" || option == "-h") {
            command = CliCommand{};
            return {command, {}};
        }
        if (option == "--version") {
            command = CliCommand{};
            command.subcommand = CliSubcommand::Version;
            return {command, {}};
        }
        if (option == "--port" && command.subcommand != CliSubcommand::Ports &&
            command.subcommand != CliSubcommand::Help) {
            const std::optional<std::string_view> text = value();
            if (!text) {
                return Fail("--port needs a port, for example COM3");
            }
            const std::optional<int> port = ParsePort(*text);
            if (!port) {
                return Fail(Quoted(*text) + " is not a port COM1 to COM255");
            }
            command.ports.push_back(*port);
        } else if (option == "--info" && command.subcommand == CliSubcommand::Find) {
            command.info = true;
        } else if (option == "--yes" && command.subcommand == CliSubcommand::Update) {
            command.yes = true;
        } else if (option == "--json" && updating) {
            command.json = true;
        } else if (option == "--image" && updating) {
            const std::optional<std::string_view> text = value();
            if (!text || text->empty()) {
                return Fail("--image needs a file");
            }
            command.imageFile = std::string(*text);
        } else if (option == "--fast" && command.subcommand == CliSubcommand::Update) {
            command.fast = true;
        } else {
            return Fail(Quoted(option) + " is not an option of " + Quoted(arguments[0]));
        }
    }
    if (updating && command.ports.size() != 1) {
        return Fail(std::string(arguments[0]) + " needs exactly one --port");
    }
    return {command, {}};
}

std::string CliHelpText() {
    std::string help =
        "ziron7-cli: the Зирон-7 firmware updater for scripts, one instrument per port.\n"
        "\n"
        "usage:\n"
        "  ziron7-cli ports\n"
        "      the serial ports present, with what the system says of each\n"
        "  ziron7-cli find [--port P]... [--info]\n"
        "      searches the ports (default: every port present) across the six rates;\n"
        "      prints port, rate, device type, serial number, date of manufacture;\n"
        "      --info adds the firmware's build time, version and reprogrammings\n"
        "  ziron7-cli update --port P [--yes] [--fast] [--image FILE] [--json]\n"
        "      the whole update of the dialogs: update, verify only or refuse later\n"
        "      firmware; --yes writes an instrument found in its bootloader (without\n"
        "      it the answer is No); --fast writes and verifies as fast as the\n"
        "      bootloader answers, back at the usual pace at the first sign of a\n"
        "      troubled line\n"
        "  ziron7-cli verify --port P [--image FILE] [--json]\n"
        "      reads the flash back and compares it with the image, writing nothing\n"
        "  ziron7-cli --version\n"
        "      the program's version and the firmware it carries: its version, build\n"
        "      time, size and SHA-256\n"
        "\n"
        "  P is COMn or n (1 to 255), as `ports` lists them. --image FILE takes the\n"
        "  image from FILE instead of the program's own; it is checked before any\n"
        "  byte is sent: " +
        std::to_string(kMinImageSize) + " to " + std::to_string(kMaxVerifiableImageSize) +
        " bytes (from " + std::to_string(kMaxVerifiableImageSize + 1) +
        " bytes on, the last block\n"
        "  could not be read back, so the image could never be verified), with\n"
        "  build date and time texts that parse. --json prints one JSON object on\n"
        "  stdout at the end, and everything else on stderr.\n"
        "\n"
        "  The search of find, update and verify gives up after five passes over\n"
        "  the six rates (about 4.5 s) in which no Зирон-7 answered, whatever else\n"
        "  answered meanwhile: exit 3, naming what the line returned (nothing, a\n"
        "  device of another type, or only our own bytes).\n"
        "\n"
        "exit codes:\n";
    const auto code = [&help](int value, const char* meaning) {
        const std::string number = std::to_string(value);
        help.append("  ").append(number).append(number.size() < 3 ? "    " : "  ");
        help.append(meaning).append("\n");
    };
    code(kExitSuccess, "success, or verified");
    code(kExitRefused, "refused: the instrument holds later firmware");
    code(kExitBadUsage, "bad usage or bad image file (nothing sent)");
    code(kExitNotFound, "no instrument found (or the port cannot be opened)");
    code(kExitLinkLost,
         "link lost or cannot enter the bootloader: the instrument is\n"
         "       still in its main program or its state is unknown; repeat the update");
    code(kExitVerifyFailed, "verification failed (after five passes, or the flash differs)");
    code(kExitCannotLeave,
         "cannot leave the bootloader: switch the source off, then see\n"
         "       readme.txt");
    code(kExitInterrupted, "interrupted (Ctrl+C): the run ends as Выход does");
    help.append(
        "\n"
        "Every run that opens a port leaves a session log in $XDG_DATA_HOME/ziron7/logs\n"
        "(or ~/.local/share/ziron7/logs; on Windows %LOCALAPPDATA%\\ziron7\\logs).\n");
    return help;
}
