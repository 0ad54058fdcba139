// The application-object role: the one object that owns a run of the
// program. The program defines a single global instance of a class derived
// from CWinApp; its constructor makes it the current application, and
// AfxWinMain (called from main) creates the window system's application
// object and runs InitInstance. Holds no Qt types.
#pragma once

#include <functional>
#include <map>
#include <string>

#include "Wnd.h"
#include "winapi_types.h"

// The standard Help command (what F1 sends in every window of the program).
inline constexpr UINT ID_HELP = 0xE146;

class CWinApp {
public:
    // `appName` (not owned; null: the program file's name) is the caption of
    // the message boxes. Becomes the current application (AfxGetApp) until
    // destroyed; only one may exist at a time.
    explicit CWinApp(const char* appName = nullptr);
    virtual ~CWinApp();
    CWinApp(const CWinApp&) = delete;
    CWinApp& operator=(const CWinApp&) = delete;

    // The program's start-up. TRUE: run the event loop until the main window
    // closes; FALSE: the run is over and the process ends at once.
    virtual BOOL InitInstance() = 0;

    // Dialogs look as the window system draws them; nothing to switch on.
    void Enable3dControls() {}

    // Routes a command through the message map: TRUE when an entry took it.
    BOOL OnCmdMsg(UINT commandId);

    // The program's main window, if it has one (not owned).
    CWnd* m_pMainWnd = nullptr;
    // The name given, or (once AfxWinMain has run) the program file's name.
    const char* m_pszAppName;

protected:
    // The message map: fill it in the derived constructor.
    void MapCommand(UINT commandId, std::function<void()> handler);

    // The default Help handler: opens the program's help file, readme.txt
    // next to the program file, with the desktop's viewer.
    void OnHelp();

private:
    friend void NameApplication(CWinApp& app, std::string (*programName)());
    std::map<UINT, std::function<void()>> m_commandMap;
    std::string m_appName;  // storage behind m_pszAppName
};

// The current application, or null.
CWinApp* AfxGetApp();

// Windows may host embedded controls; the dialogs here need nothing for it.
inline void AfxEnableControlContainer() {}

// The program's entry: creates the window system's application object,
// names the application, runs InitInstance and, when it returns TRUE, the
// event loop. Returns the process exit code; 1 when no application exists.
// In every window of the run F1 is the Help command, and the keyboard's
// repeats of a held Enter or Esc are dropped, so that one key press closes
// one window only.
int AfxWinMain(int argc, char** argv);
