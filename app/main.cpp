// ziron7-flasher: the Зирон-7 firmware updater. The application object does
// all the work, the session log records it for the service centre, and the
// user's settings remember the instrument's port. One option: `--fast`
// writes and verifies at the pace the bootloader answers. `--help` and
// `--version` answer on stdout and end before any window, port or file is
// touched, so that they run without a display.
#include <cstdio>
#include <string_view>

#include "FirmwareIdentity.h"
#include "FirmwareImage.h"
#include "FlasherApp.h"
#include "LogFiles.h"
#include "RunFacts.h"
#include "SessionEventsFanOut.h"
#include "SessionLog.h"
#include "UserFolders.h"
#include "UserSettings.h"

namespace {

constexpr const char* kHelpText =
    "Usage: ziron7-flasher [--fast]\n"
    "Writes the firmware it carries into a Зирон-7 laboratory DC power source over\n"
    "a serial port. The first dialog finds the instrument on the chosen port across\n"
    "six baud rates; after OK the second reads the instrument's firmware identity,\n"
    "updates, only verifies or refuses later firmware, and shows the outcome.\n"
    "\n"
    "Options:\n"
    "  --fast      write and verify as fast as the bootloader answers, back at the\n"
    "              usual pace at the first sign of a troubled line\n"
    "  --help      print this text and exit\n"
    "  --version   print the program's version and the firmware it carries (its\n"
    "              version, build time, size and SHA-256) and exit\n"
    "\n"
    "Every run that opens a port leaves a session log in $XDG_DATA_HOME/ziron7/logs\n"
    "(or ~/.local/share/ziron7/logs; on Windows %LOCALAPPDATA%\\ziron7\\logs).\n"
    "readme.txt, next to the program, tells what to do after an update that did\n"
    "not end properly. ziron7-cli is the same update for scripts.\n";

}  // namespace

// The one application object of the program.
CFlasherApp theApp;

int main(int argc, char** argv) {
    for (int i = 1; i < argc; ++i) {
        const std::string_view argument(argv[i]);
        if (argument == "--help" || argument == "-h") {
            std::fputs(kHelpText, stdout);
            return 0;
        }
        if (argument == "--version") {
            std::fputs(VersionText("ziron7-flasher", ZIRON7_PROGRAM_VERSION, EmbeddedFirmwareBytes()).c_str(),
                       stdout);
            return 0;
        }
        if (argument == "--fast") {
            theApp.m_nPacing = Pacing::Fast;
        }
    }
    RunFacts facts;
    SessionLog log(SessionLogFolder(UserDataFolder()),
                   {ZIRON7_PROGRAM_VERSION, __DATE__ " " __TIME__}, facts);
    SessionEventsFanOut run{&facts, &log};
    const SessionEventsScope listening(run);
    UserSettings settings(UserSettingsFile(UserConfigFolder()));
    const UserSettingsScope remembering(settings);
    return AfxWinMain(argc, argv);
}
