// Every terminal the program meets here interprets the sequences it writes.
#include <unistd.h>

#include "TerminalEscapes.h"

bool EnableTerminalEscapes(std::FILE* out) {
    return isatty(fileno(out)) != 0;
}
