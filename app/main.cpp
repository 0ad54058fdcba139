// ziron7-flasher: the Зирон-7 firmware updater. Takes no arguments; the
// application object does all the work, the session log records it for the
// service centre, and the user's settings remember the instrument's port.
#include "FlasherApp.h"
#include "LogFiles.h"
#include "SessionLog.h"
#include "UserFolders.h"
#include "UserSettings.h"

// The one application object of the program.
CFlasherApp theApp;

int main(int argc, char** argv) {
    SessionLog log(SessionLogFolder(UserDataFolder()),
                   {ZIRON7_PROGRAM_VERSION, __DATE__ " " __TIME__});
    const SessionEventsScope listening(log);
    UserSettings settings(UserSettingsFile(UserConfigFolder()));
    const UserSettingsScope remembering(settings);
    return AfxWinMain(argc, argv);
}
