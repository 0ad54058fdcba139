// How a production line ends: several instruments updated at once by one
// ziron7-cli, one row per port in a table for the person at the line, and
// one exit code for the script.
#pragma once

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "IdentityJson.h"
#include "RunOutcome.h"

// One port's run as the table shows it.
struct InstrumentRow {
    std::string port;                          // as the user named it ("COM1", "/dev/ttyUSB0 (COM3)")
    std::optional<std::uint16_t> serialNumber;  // empty when no Зирон-7 answered
    FirmwareChange firmware;                   // before and after the run; empty sides unknown
    Outcome outcome = Outcome::NoInstrument;
    int exitCode = kExitNotFound;              // the port's own, as its JSON object carries it
    std::chrono::milliseconds wallTime{};      // the port's run from start to end
};

// The table: a heading and a row per port in the order given, columns
// aligned, in this run's language; ends with a line break.
//   port  serial number  firmware before -> after                        outcome  seconds
//   COM1  1001           6 Jun 20 2010 09:15:48 -> 6 Jun 20 2011 09:15:48  ...         12.3
std::string ProductionLineTable(const std::vector<InstrumentRow>& rows);

// Whether a port's outcome says that no Зирон-7 was there to update: the
// port did not open, or nothing, another device or our own bytes answered.
bool NoInstrumentThere(Outcome outcome);

// The line's exit code: 0 only when every instrument ended well, otherwise
// the largest of their exit codes; the table of exit codes runs from the
// mildest (1, refused) to the worst (6, left in the bootloader), and an
// interrupt (130, 143) outranks them all. With `everyPortPresent` (--all) a
// port where no Зирон-7 answered is no instrument and counts for nothing,
// unless no port had one: then the line found nothing (3).
int ProductionLineExitCode(const std::vector<InstrumentRow>& rows, bool everyPortPresent);
