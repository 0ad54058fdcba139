// ziron7-flasher: the Зирон-7 firmware updater. The application object does
// all the work, the session log records it for the service centre, and the
// user's settings remember the instrument's port. One option: `--fast`
// writes and verifies at the pace the bootloader answers.
#include <string_view>

#include "FlasherApp.h"
#include "LogFiles.h"
#include "SessionLog.h"
#include "UserFolders.h"
#include "UserSettings.h"

// The one application object of the program.
CFlasherApp theApp;

int main(int argc, char** argv) {
    for (int i = 1; i < argc; ++i) {
        if (std::string_view(argv[i]) == "--fast") {
            theApp.m_nPacing = Pacing::Fast;
        }
    }
    SessionLog log(SessionLogFolder(UserDataFolder()),
                   {ZIRON7_PROGRAM_VERSION, __DATE__ " " __TIME__});
    const SessionEventsScope listening(log);
    UserSettings settings(UserSettingsFile(UserConfigFolder()));
    const UserSettingsScope remembering(settings);
    return AfxWinMain(argc, argv);
}
