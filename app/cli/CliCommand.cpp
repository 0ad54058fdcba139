#include "CliCommand.h"

#include <charconv>
#include <utility>

#include "CliLanguage.h"
#include "ExitCodes.h"
#include "FirmwareImage.h"

namespace {

constexpr int kFirstPort = 1;  // COM1 ..
constexpr int kLastPort = 255;  // .. COM255, as the port dialog lists them

// COMn (any case), n, or \\.\COMn, the system's own spelling of a port.
std::optional<int> ParsePortNumber(std::string_view text) {
    constexpr std::string_view kDevicePrefix = "\\\\.\\";
    if (text.starts_with(kDevicePrefix)) {
        text.remove_prefix(kDevicePrefix.size());
    }
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

// A device path names a folder: it has a separator in it.
bool IsDevicePath(std::string_view text) {
    return text.find_first_of("/\\") != std::string_view::npos;
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

std::string Words(std::string_view english, std::string_view russian) {
    return std::string(Say(english, russian));
}

}  // namespace

CliParse ParseCliArguments(const std::vector<std::string_view>& arguments) {
    if (arguments.empty()) {
        return Fail(Words("no subcommand given", "не задана подкоманда"));
    }
    const std::optional<CliSubcommand> subcommand = ParseSubcommand(arguments[0]);
    if (!subcommand) {
        return Fail(Words("unknown subcommand ", "неизвестная подкоманда ") + Quoted(arguments[0]));
    }
    CliCommand command;
    command.subcommand = *subcommand;
    const bool updating =
        command.subcommand == CliSubcommand::Update || command.subcommand == CliSubcommand::Verify;
    const bool searching = updating || command.subcommand == CliSubcommand::Find;
    const bool running = searching || command.subcommand == CliSubcommand::Ports;
    for (std::size_t i = 1; i < arguments.size(); ++i) {
        std::string_view option = arguments[i];
        // --name=value is --name value.
        std::optional<std::string_view> attached;
        if (const std::size_t equals = option.find('='); option.starts_with("--") && equals != std::string_view::npos) {
            attached = option.substr(equals + 1);
            option = option.substr(0, equals);
        }
        const auto value = [&]() -> std::optional<std::string_view> {
            if (attached) {
                return std::exchange(attached, std::nullopt);
            }
            if (i + 1 >= arguments.size()) {
                return std::nullopt;
            }
            return arguments[++i];
        };
        if (option == "--help" || option == "-h") {
            return {CliCommand{}, {}};
        }
        if (option == "--version") {
            command = CliCommand{};
            command.subcommand = CliSubcommand::Version;
            return {command, {}};
        }
        if (option == "--port" && searching) {
            const std::optional<std::string_view> text = value();
            if (!text || text->empty()) {
                return Fail(Words("--port needs a port, for example COM3 or /dev/ttyUSB0",
                                  "--port требует порт, например COM3 или /dev/ttyUSB0"));
            }
            if (const std::optional<int> number = ParsePortNumber(*text)) {
                command.ports.push_back({*number, {}});
            } else if (IsDevicePath(*text)) {
                command.ports.push_back({0, std::string(*text)});
            } else {
                return Fail(Quoted(*text) + Words(" is not a port COM1 to COM255 nor a device path",
                                                  " не порт от COM1 до COM255 и не путь устройства"));
            }
        } else if (option == "--info" && command.subcommand == CliSubcommand::Find) {
            command.info = true;
        } else if (option == "--yes" && command.subcommand == CliSubcommand::Update) {
            command.yes = true;
        } else if (option == "--json" && running) {
            command.json = true;
        } else if ((option == "-q" || option == "--quiet") && running) {
            command.verbosity = Verbosity::Quiet;
        } else if ((option == "-v" || option == "--verbose") && running) {
            command.verbosity = Verbosity::Verbose;
        } else if (option == "--image" && updating) {
            const std::optional<std::string_view> text = value();
            if (!text || text->empty()) {
                return Fail(Words("--image needs a file", "--image требует файл"));
            }
            command.imageFile = std::string(*text);
        } else if (option == "--fast" && command.subcommand == CliSubcommand::Update) {
            command.fast = true;
        } else {
            return Fail(Quoted(arguments[i]) + Words(" is not an option of ", " не параметр ") +
                        Quoted(arguments[0]));
        }
        if (attached) {
            return Fail(Quoted(option) + Words(" takes no value", " не принимает значения"));
        }
    }
    if (updating && command.ports.size() != 1) {
        return Fail(std::string(arguments[0]) +
                    Words(" needs exactly one --port", " требует ровно один --port"));
    }
    return {command, {}};
}

std::string CliHelpText() {
    std::string help =
        "ziron7-cli: the Зирон-7 firmware updater for scripts, one instrument per port.\n"
        "\n"
        "usage:\n"
        "  ziron7-cli ports [--json]\n"
        "      the serial ports present, with what the system says of each: the\n"
        "      device, its stable names (by-id, by-path), the USB adapter's\n"
        "      vendor:product and serial number\n"
        "  ziron7-cli find [--port P]... [--info] [--json]\n"
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
        "  P is COMn or n (1 to 255), as `ports` lists them, \\\\.\\COMn, or a device\n"
        "  path such as /dev/ttyUSB0 or /dev/serial/by-id/..., which names the COMn\n"
        "  that stands for that device. An option's value may follow an '='\n"
        "  (--port=COM1). --image FILE takes the\n"
        "  image from FILE instead of the program's own; it is checked before any\n"
        "  byte is sent: " +
        std::to_string(kMinImageSize) + " to " + std::to_string(kMaxVerifiableImageSize) +
        " bytes (from " + std::to_string(kMaxVerifiableImageSize + 1) +
        " bytes on, the last block\n"
        "  could not be read back, so the image could never be verified), with\n"
        "  build date and time texts that parse.\n"
        "\n"
        "  Results go to stdout, the account of the run and its progress to\n"
        "  stderr. --json makes the result one JSON object (valid UTF-8, with a\n"
        "  schema version and the outcome as a code such as port_busy); -q keeps\n"
        "  to stderr only what went wrong, -v adds the search's every step.\n"
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
    code(kExitTerminated, "terminated (SIGTERM): the run ends as on Ctrl+C");
    help.append(
        "\n"
        "Every run that opens a port leaves a session log in $XDG_DATA_HOME/ziron7/logs\n"
        "(or ~/.local/share/ziron7/logs; on Windows %LOCALAPPDATA%\\ziron7\\logs).\n");
    return help;
}
