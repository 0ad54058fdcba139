#include "CliCommand.h"

#include <algorithm>
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
    if (word == "diagnose") return CliSubcommand::Diagnose;
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
    CliParse parse;
    parse.error = std::move(error);
    return parse;
}

CliParse Made(CliCommand command) {
    CliParse parse;
    parse.command = std::move(command);
    return parse;
}

std::string Words(std::string_view english, std::string_view russian) {
    return std::string(Say(english, russian));
}

CliParse ParseCommand(const std::vector<std::string_view>& arguments) {
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
    const bool diagnosing = command.subcommand == CliSubcommand::Diagnose;
    const bool searching = updating || command.subcommand == CliSubcommand::Find;
    const bool running = searching || diagnosing || command.subcommand == CliSubcommand::Ports;
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
            return Made(CliCommand{});
        }
        if (option == "--version") {
            command = CliCommand{};
            command.subcommand = CliSubcommand::Version;
            return Made(command);
        }
        if (option == "--port" && (searching || diagnosing)) {
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
        } else if (option == "--all" && updating) {
            command.all = true;
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
    if (diagnosing && command.ports.size() != 1) {
        return Fail(std::string(arguments[0]) +
                    Words(" needs exactly one --port", " требует ровно один --port"));
    }
    if (updating && command.all != command.ports.empty()) {
        return Fail(std::string(arguments[0]) +
                    Words(" needs one or more --port, or --all", " требует один или несколько --port или --all"));
    }
    // Two runs cannot share a port: the second would find it busy.
    for (std::size_t i = 0; updating && i < command.ports.size(); ++i) {
        for (std::size_t j = 0; j < i; ++j) {
            if (command.ports[i] == command.ports[j]) {
                return Fail(Quoted(arguments[0]) + Words(" names the port ", " называет порт ") +
                            Quoted(command.ports[i].device.empty() ? "COM" + std::to_string(command.ports[i].number)
                                                                   : command.ports[i].device) +
                            Words(" twice", " дважды"));
            }
        }
    }
    return Made(command);
}

}  // namespace

CliParse ParseCliArguments(const std::vector<std::string_view>& arguments) {
    CliParse parse = ParseCommand(arguments);
    if (!parse.command) {
        parse.subcommand = arguments.empty() ? std::nullopt : ParseSubcommand(arguments[0]);
        parse.json = std::find(arguments.begin(), arguments.end(), "--json") != arguments.end();
    }
    return parse;
}

std::string CliHelpText() {
    const std::string sizes = std::to_string(kMinImageSize) + Words(" to ", " до ") +
                              std::to_string(kMaxVerifiableImageSize);
    const std::string unverifiable = std::to_string(kMaxVerifiableImageSize + 1);
    std::string help = Words(
        "ziron7-cli: the Зирон-7 firmware updater for scripts, one instrument per port,\n"
        "several ports at once.\n"
        "\n"
        "usage:\n"
        "  ziron7-cli ports [--json]\n"
        "      the serial ports present, with what the system says of each: the\n"
        "      device, its stable names (by-id, by-path), the USB adapter's\n"
        "      vendor:product and serial number\n"
        "  ziron7-cli find [--port P]... [--info] [--json] [-q|-v]\n"
        "      searches the ports (default: every port present) across the six rates;\n"
        "      prints port, rate, device type, serial number, date of manufacture;\n"
        "      --info adds the firmware's build time, version and reprogrammings\n"
        "  ziron7-cli update (--port P... | --all) [--yes] [--fast] [--image FILE] [--json] [-q|-v]\n"
        "      the whole update of the dialogs: update, verify only or refuse later\n"
        "      firmware; --yes writes an instrument found in its bootloader (without\n"
        "      it the answer is No); --fast writes and verifies as fast as the\n"
        "      bootloader answers, back at the usual pace at the first sign of a\n"
        "      troubled line\n"
        "  ziron7-cli verify (--port P... | --all) [--image FILE] [--json] [-q|-v]\n"
        "      reads the flash back and compares it with the image, writing nothing\n"
        "  ziron7-cli diagnose --port P [--json]\n"
        "      why the search finds no Зирон-7 on P: whether the port opens (and\n"
        "      why not: the group to join, the program that holds it), what came\n"
        "      back to the identify request at each of the six rates (nothing,\n"
        "      bytes that never form a frame, another device, our own bytes), how\n"
        "      late and in what bursts, and one conclusion; only the identify\n"
        "      request is sent. It takes about 1.5 s (at most 4 s); exit 0 when\n"
        "      a Зирон-7 answers, 3 otherwise\n"
        "  ziron7-cli --version\n"
        "      the program's version and the firmware it carries: its version, build\n"
        "      time, size and SHA-256\n"
        "\n"
        "  P is COMn or n (1 to 255), as `ports` lists them, \\\\.\\COMn, or a device\n"
        "  path such as /dev/ttyUSB0 or /dev/serial/by-id/..., which names the COMn\n"
        "  that stands for that device. An option's value may follow an '='\n"
        "  (--port=COM1). --image FILE takes the image from FILE instead of the\n"
        "  program's own; it is checked before any byte is sent:\n  ",
        "ziron7-cli: обновление микропрограммы Зирон-7 для сценариев, один прибор на порт,\n"
        "несколько портов сразу.\n"
        "\n"
        "использование:\n"
        "  ziron7-cli ports [--json]\n"
        "      имеющиеся последовательные порты и что о каждом говорит система:\n"
        "      устройство, его постоянные имена (by-id, by-path), код USB-адаптера\n"
        "      vendor:product и его серийный номер\n"
        "  ziron7-cli find [--port P]... [--info] [--json] [-q|-v]\n"
        "      ищет на портах (по умолчанию на всех имеющихся) на шести скоростях;\n"
        "      выводит порт, скорость, тип, серийный номер, дату выпуска;\n"
        "      --info добавляет время сборки, версию и число перепрошивок\n"
        "  ziron7-cli update (--port P... | --all) [--yes] [--fast] [--image FILE] [--json] [-q|-v]\n"
        "      всё обновление диалогов: запись, только проверка или отказ от более\n"
        "      поздней микропрограммы; --yes записывает прибор, найденный в\n"
        "      загрузчике (без него ответ Нет); --fast пишет и проверяет так быстро,\n"
        "      как отвечает загрузчик, и возвращается к обычному темпу при первых\n"
        "      признаках плохой линии\n"
        "  ziron7-cli verify (--port P... | --all) [--image FILE] [--json] [-q|-v]\n"
        "      читает флеш-память и сравнивает её с образом, ничего не записывая\n"
        "  ziron7-cli diagnose --port P [--json]\n"
        "      почему поиск не находит Зирон-7 на P: открывается ли порт (и если\n"
        "      нет, в какую группу вступить, какая программа его держит), что\n"
        "      вернулось на запрос опознания на каждой из шести скоростей (ничего,\n"
        "      байты вне кадров, другое устройство, наши собственные байты), с\n"
        "      какой задержкой и какими порциями, и один вывод; отправляется только\n"
        "      запрос опознания. Занимает около 1,5 с (не более 4 с); код 0, если\n"
        "      отвечает Зирон-7, иначе 3\n"
        "  ziron7-cli --version\n"
        "      версия программы и микропрограммы, которую она несёт: версия, время\n"
        "      сборки, размер и SHA-256\n"
        "\n"
        "  P: COMn или n (от 1 до 255), как их перечисляет `ports`, \\\\.\\COMn или\n"
        "  путь устройства, например /dev/ttyUSB0 или /dev/serial/by-id/..., который\n"
        "  означает COMn этого устройства. Значение параметра можно дать после '='\n"
        "  (--port=COM1). --image FILE берёт образ из FILE вместо собственного;\n"
        "  он проверяется до отправки первого байта:\n  ");
    help += sizes;
    help += Words(" bytes (from ", " байт (начиная с ") + unverifiable;
    help += Words(
        " bytes on, the last block could\n"
        "  not be read back, so the image could never be verified), with build date\n"
        "  and time texts that parse.\n"
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
        "  Several --port, or --all (every port present), update or verify their\n"
        "  instruments at once in this one process, each with its own session\n"
        "  log. Each port's lines on stderr start with its name (\"COM2: \");\n"
        "  at the end a table on stdout gives each port's serial number, firmware\n"
        "  before -> after, outcome and seconds. With --json stdout holds one\n"
        "  JSON object per port instead, each on its own line (JSON lines, the\n"
        "  object of a single port's run), and the table goes to stderr. The\n"
        "  exit code is 0 only when every instrument ended well, otherwise the\n"
        "  largest of theirs: the codes below run from the mildest to the worst.\n"
        "  With --all a port where no Зирон-7 answered (or that does not open)\n"
        "  is listed but counts for nothing; exit 3 when no port had one.\n"
        "\n"
        "exit codes:\n",
        " байт последний блок нельзя\n"
        "  прочитать, и образ никогда не прошёл бы проверку), с читаемыми текстами\n"
        "  даты и времени сборки.\n"
        "\n"
        "  Результаты идут в stdout, ход работы и прогресс в stderr. --json делает\n"
        "  результат одним объектом JSON (всегда в UTF-8, с версией схемы и исходом\n"
        "  в виде кода, например port_busy); -q оставляет в stderr только то, что\n"
        "  пошло не так, -v добавляет каждый шаг поиска.\n"
        "\n"
        "  Поиск find, update и verify прекращается после пяти проходов по шести\n"
        "  скоростям (около 4,5 с), в которых не ответил Зирон-7, что бы ни отвечало:\n"
        "  код 3 с указанием того, что вернула линия (ничего, устройство другого\n"
        "  типа или только наши собственные байты).\n"
        "\n"
        "  Несколько --port или --all (все имеющиеся порты) обновляют или\n"
        "  проверяют свои приборы одновременно в одном процессе, у каждого свой\n"
        "  журнал сеанса. Строки каждого порта в stderr начинаются с его имени\n"
        "  (\"COM2: \"); в конце таблица в stdout даёт для каждого порта серийный\n"
        "  номер, микропрограмму до -> после, исход и секунды. С --json в stdout\n"
        "  вместо неё по объекту JSON на порт, каждый в своей строке (JSON lines,\n"
        "  объект запуска одного порта), а таблица идёт в stderr. Код выхода 0,\n"
        "  только если у всех приборов всё прошло хорошо, иначе наибольший из их\n"
        "  кодов: коды ниже идут от самого мягкого к самому тяжёлому. С --all\n"
        "  порт, на котором Зирон-7 не ответил (или который не открылся),\n"
        "  указывается, но не учитывается; код 3, если прибора не было ни на одном.\n"
        "\n"
        "коды выхода:\n");
    const auto code = [&help](int value, std::string_view english, std::string_view russian) {
        const std::string number = std::to_string(value);
        help.append("  ").append(number).append(number.size() < 3 ? "    " : "  ");
        help.append(Say(english, russian)).append("\n");
    };
    code(kExitSuccess, "success, or verified", "успешно, или проверка пройдена");
    code(kExitRefused, "refused: the instrument holds later firmware",
         "отказ: в приборе более поздняя микропрограмма");
    code(kExitBadUsage, "bad usage or bad image file (nothing sent)",
         "неверный вызов или непригодный файл образа (ничего не отправлено)");
    code(kExitNotFound, "no instrument found (or the port cannot be opened)",
         "прибор не найден (или порт не открывается)");
    code(kExitLinkLost,
         "link lost or cannot enter the bootloader: the instrument is\n"
         "       still in its main program or its state is unknown; repeat the update",
         "связь потеряна или вход в загрузчик не удался: прибор ещё в\n"
         "       основной программе или его состояние неизвестно; повторите обновление");
    code(kExitVerifyFailed, "verification failed (after five passes, or the flash differs)",
         "проверка не прошла (после пяти проходов, или флеш-память отличается)");
    code(kExitCannotLeave,
         "cannot leave the bootloader: switch the source off, then see\n"
         "       readme.txt",
         "выход из загрузчика не удался: выключите источник, затем см.\n"
         "       readme.txt");
    code(kExitInterrupted, "interrupted (Ctrl+C): the run ends as Выход does",
         "прервано (Ctrl+C): запуск завершается, как по кнопке Выход");
    code(kExitTerminated, "terminated (SIGTERM): the run ends as on Ctrl+C",
         "остановлено (SIGTERM): запуск завершается, как по Ctrl+C");
    help += Words(
        "\n"
        "Every find, update and verify that opens a port leaves a session log in\n"
        "$XDG_DATA_HOME/ziron7/logs (or ~/.local/share/ziron7/logs; on Windows\n"
        "%LOCALAPPDATA%\\ziron7\\logs).\n",
        "\n"
        "Каждый запуск find, update и verify, открывший порт, оставляет журнал\n"
        "сеанса в $XDG_DATA_HOME/ziron7/logs (или ~/.local/share/ziron7/logs;\n"
        "в Windows %LOCALAPPDATA%\\ziron7\\logs).\n");
    return help;
}
