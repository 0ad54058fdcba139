// ziron7-cli: the Зирон-7 firmware updater for service centres and
// production lines. The same dialogs as ziron7-flasher run without windows
// (the framework's console backend); a console operator shows what they
// show and answers for the person who is not there. One instrument per
// process; several processes on several ports do not meet.
#include <cstdio>
#include <string_view>
#include <vector>

#include "CliApp.h"
#include "CliCommand.h"
#include "ConsoleReport.h"
#include "FirmwareIdentity.h"
#include "FirmwareImage.h"
#include "Interrupt.h"
#include "SerialPorts.h"

namespace {

int ListPorts() {
    for (const SerialPortEntry& port : ListSerialPorts()) {
        std::printf("COM%d\t%s\t%s\n", port.number, port.device.c_str(), port.description.c_str());
    }
    return kExitSuccess;
}

}  // namespace

int main(int argc, char** argv) {
    const std::vector<std::string_view> arguments(argv + 1, argv + argc);
    const CliParse parse = ParseCliArguments(arguments);
    if (!parse.command) {
        std::fprintf(stderr, "ziron7-cli: %s (ziron7-cli --help tells more)\n", parse.error.c_str());
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
            return ListPorts();
        default:
            break;
    }
    // What a script reads goes to stdout; with --json, and for find, the
    // account of the run goes to stderr.
    const bool reportApart = command.json || command.subcommand == CliSubcommand::Find;
    ConsoleReport report(reportApart ? stderr : stdout, command.yes);
    InstallConsoleOperator(&report);
    CatchInterrupts([&report] { report.Interrupt(); });
    CCliApp app(command, report, stdout);
    AfxWinMain(argc, argv);
    InstallConsoleOperator(nullptr);
    return app.ExitCode();
}
