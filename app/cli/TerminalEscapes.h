// Whether the console program may redraw its status line in place with
// escape sequences, or must write plain lines. One .cpp per platform.
#pragma once

#include <cstdio>

// True when `out` (not owned) is a terminal that interprets escape
// sequences. On Windows the console is first asked to interpret them
// (virtual-terminal processing) and its mode is put back at exit; a console
// that refuses (Windows 7's), a file and a pipe get plain lines. Call once
// per stream, before anything is written to it.
bool EnableTerminalEscapes(std::FILE* out);
