// ziron7-flasher: the Зирон-7 firmware updater. Takes no arguments; the
// application object does all the work, and the session log records it for
// the service centre.
#include "FlasherApp.h"
#include "LogFiles.h"
#include "SessionLog.h"
#include "UserDataFolder.h"

// The one application object of the program.
CFlasherApp theApp;

int main(int argc, char** argv) {
    SessionLog log(SessionLogFolder(UserDataFolder()),
                   {ZIRON7_PROGRAM_VERSION, __DATE__ " " __TIME__});
    const SessionEventsScope listening(log);
    return AfxWinMain(argc, argv);
}
