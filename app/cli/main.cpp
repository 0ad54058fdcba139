// ziron7-cli: the Зирон-7 firmware updater for service centres and
// production lines. The same dialogs as ziron7-flasher run without windows
// (the framework's console backend); a console operator shows what they
// show and answers for the person who is not there. Several ports named
// (or --all) are updated at once, each on a thread of its own as a run of
// its own; several processes on several ports do not meet either. What a
// script reads goes to stdout, the account of the run to stderr.
#include <cstdio>
#include <string_view>
#include <vector>

#include "BadUsage.h"
#include "CliApp.h"
#include "CliCommand.h"
#include "CliLanguage.h"
#include "ConsoleReport.h"
#include "DiagnosisReport.h"
#include "FirmwareIdentity.h"
#include "FirmwareImage.h"
#include "Interrupt.h"
#include "PortListing.h"
#include "SerialPorts.h"
#include "winapi_errors.h"

namespace {

int ListPorts(bool json) {
    const std::vector<SerialPortEntry> ports = ListSerialPorts();
    std::fputs((json ? PortListJson(ports) : PortListText(ports)).c_str(), stdout);
    return ExitCodeOf(PortListOutcome(ports));
}

// The line diagnosis of the one port named; it needs neither the dialogs
// nor a session log: it only watches the line.
int Diagnose(const CliCommand& command) {
    const PortArgument& named = command.ports.front();
    DiagnosedPort port{{}, {}, named.device};
    LineDiagnosis diagnosis;
    int number = named.number;
    if (number == 0) {
        number = SerialPortOfDevice(named.device).value_or(0);
    }
    if (number == 0) {
        // No COMn stands for the device: nothing to open, no port to name.
        diagnosis.openResult = ERROR_FILE_NOT_FOUND;
    } else {
        port.name = "COM" + std::to_string(number);
        port.device = DeviceOfSerialPort(number);
        diagnosis = DiagnoseLine(number, port.device);
    }
    std::fputs(command.json ? (DiagnosisJson(diagnosis, port).Render() + "\n").c_str()
                            : DiagnosisText(diagnosis, port).c_str(),
               stdout);
    return ExitCodeOf(DiagnosisOutcome(diagnosis));
}

}  // namespace

int main(int argc, char** argv) {
    SetCliLanguage(UserLanguage());
    const std::vector<std::string_view> arguments(argv + 1, argv + argc);
    const CliParse parse = ParseCliArguments(arguments);
    if (!parse.command) {
        std::fprintf(stderr, "ziron7-cli: %s (%s)\n", parse.error.c_str(),
                     std::string(Say("ziron7-cli --help tells more", "подробнее: ziron7-cli --help")).c_str());
        if (parse.json) {
            std::fputs((BadUsageJson(parse.subcommand, parse.error).Render() + "\n").c_str(), stdout);
        }
        return kExitBadUsage;
    }
    const CliCommand& command = *parse.command;
    switch (command.subcommand) {
        case CliSubcommand::Help:
            std::fputs(CliHelpText().c_str(), stdout);
            return kExitSuccess;
        case CliSubcommand::Version:
            std::fputs(VersionText("ziron7-cli", ZIRON7_PROGRAM_VERSION, EmbeddedFirmwareBytes()).c_str(),
                       stdout);
            return kExitSuccess;
        case CliSubcommand::Ports:
            return ListPorts(command.json);
        case CliSubcommand::Diagnose:
            return Diagnose(command);
        default:
            break;
    }
    ConsoleReport report(stderr, command.yes, command.verbosity);
    InstallConsoleOperator(&report);
    CCliApp app(command, report, stdout);
    CatchInterrupts([&app](int exitCode) { app.Interrupt(exitCode); });
    AfxWinMain(argc, argv);
    InstallConsoleOperator(nullptr);
    return app.ExitCode();
}
