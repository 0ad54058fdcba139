// ziron7-flasher: the Зирон-7 firmware updater. Takes no arguments; the
// application object does all the work.
#include "FlasherApp.h"

// The one application object of the program.
CFlasherApp theApp;

int main(int argc, char** argv) {
    return AfxWinMain(argc, argv);
}
