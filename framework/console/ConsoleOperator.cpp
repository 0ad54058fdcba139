#include "ConsoleOperator.h"

#include "DialogItem.h"

namespace {

// Each thread that runs dialogs has its own: the console program's
// production line answers for every port apart.
thread_local ConsoleOperator* g_operator = nullptr;  // not owned

}  // namespace

void InstallConsoleOperator(ConsoleOperator* consoleOperator) {
    g_operator = consoleOperator;
}

ConsoleOperator* InstalledConsoleOperator() {
    return g_operator;
}

void NotifyControlChanged(DialogItem& item) {
    if (g_operator != nullptr && item.dialog != nullptr) {
        g_operator->OnControlChanged(*item.dialog, item.id);
    }
}
