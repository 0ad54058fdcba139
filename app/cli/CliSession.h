// What every run of ziron7-cli that opens a port shares: the program's stamp
// in its session log, the log's path as a script reads it, and what a
// search that did not find a Зирон-7 says and logs.
#pragma once

#include <filesystem>
#include <string>

#include "CliCommand.h"
#include "PortDlg.h"
#include "RunOutcome.h"
#include "SessionLog.h"

// This program's version and build time, for the session log's header.
ProgramStamp ThisProgram();

// A path as UTF-8, whatever the system's own encoding of names.
std::string PathText(const std::filesystem::path& path);

// "COM1: no Зирон-7 found (nothing answered)", in this run's language.
std::string NotFoundText(const PortArgument& port, Outcome outcome);

// A search on an open port gave up: the session log of this thread's run
// keeps what the line returned, in the words that `diagnose` concludes with.
void LogLineConclusion(CPortDlg::LineHeard heard);
