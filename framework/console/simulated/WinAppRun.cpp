// The application object in the simulated world. A runner of the world
// creates the application object and the dialogs itself; AfxWinMain is
// here for a program that starts as usual: with a world installed it runs
// InitInstance and then the world's events until none is left.
#include <cstdio>
#include <filesystem>
#include <string>

#include "ApplicationStart.h"
#include "SimulatedClock.h"
#include "WinApp.h"

namespace {

constexpr const char* kHelpFileName = "readme.txt";

std::string g_programName;  // the program file's name, from the command line

std::string ProgramName() {
    return g_programName;
}

}  // namespace

void CWinApp::OnHelp() {
    // No viewer and no program folder in a simulated run: say what to read.
    std::fprintf(stderr, "%s: see %s\n", m_pszAppName, kHelpFileName);
}

int AfxWinMain(int argc, char** argv) {
    CWinApp* const app = ApplicationToStart();
    if (app == nullptr) {
        return 1;
    }
    SimulatedClock* const world = SimulatedClock::Installed();
    if (world == nullptr) {
        std::fprintf(stderr, "no simulated world installed\n");
        return 1;
    }
    g_programName = argc > 0 ? std::filesystem::path(argv[0]).filename().string() : std::string();
    NameApplication(*app, &ProgramName);
    if (app->InitInstance() == FALSE) {
        return 0;
    }
    while (world->RunNext()) {
    }
    return 0;
}
