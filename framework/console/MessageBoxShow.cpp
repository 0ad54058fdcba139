// Message boxes without windows: the console operator answers them at once,
// so a run never waits for a person who is not there.
#include <cstdio>
#include <string>

#include "ConsoleOperator.h"
#include "DialogItem.h"
#include "DialogResults.h"
#include "PlatformMessageBox.h"

int ShowMessageBox(std::string_view text, UINT type) {
    if (ConsoleOperator* person = InstalledConsoleOperator()) {
        return person->OnMessageBox(text, type);
    }
    // No one to ask: the text must still reach someone, and a question is
    // answered No, which changes nothing in the instrument.
    std::fprintf(stderr, "%s\n", std::string(text).c_str());
    return AsksYesNo(type) ? IDNO : IDOK;
}
