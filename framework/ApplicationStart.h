// Framework-internal: how AfxWinMain begins on every window system.
#pragma once

#include <string>

class CWinApp;

// The current application; null, after saying so on stderr, when the
// program defines no application object.
CWinApp* ApplicationToStart();

// Names `app` `programName()` (the program file's name, UTF-8) when it was
// given no name: the name captions the message boxes.
void NameApplication(CWinApp& app, std::string (*programName)());
