// Framework-internal, Qt: one name for the program, the application
// object's and the toolkit's, in the windowed and the console program alike.
#pragma once

class CWinApp;

// Once the toolkit's application exists: `app` without a name takes the
// toolkit's (the program file's), and the toolkit takes the name of `app`.
void NameToolkitApplication(CWinApp& app);
