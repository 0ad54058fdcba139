// How much the account of a ziron7-cli run says on stderr (-q, -v).
#pragma once

enum class Verbosity {
    Quiet,    // only what went wrong: the program's problems and a port that did not open
    Normal,   // also the dialogs' lines, boxes and progress, and the program's notes
    Verbose,  // also every status line of the search, as lines
};
