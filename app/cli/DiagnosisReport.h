// What `ziron7-cli diagnose` prints: whether the port opens, what came back
// at each rate, and the conclusion, as a person reads it or as one JSON
// object for a script.
#pragma once

#include <string>

#include "JsonText.h"
#include "LineDiagnosis.h"
#include "RunOutcome.h"

// The port as the diagnosis names it.
struct DiagnosedPort {
    std::string name;    // "COM1"; empty when no COMn stands for the device named
    std::string device;  // the system's device behind it; empty when none
    std::string named;   // the device path the user gave; empty when named as COMn
};

// found, foreign_device, own_echo or no_instrument for a port that opened
// (bytes that never form a frame answer nothing); why it did not open
// otherwise.
Outcome DiagnosisOutcome(const LineDiagnosis& diagnosis);

// The conclusion in this run's language.
std::string DiagnosisConclusion(const LineDiagnosis& diagnosis, const DiagnosedPort& port);

// A line on the port, a line per rate, then "conclusion: ...".
std::string DiagnosisText(const LineDiagnosis& diagnosis, const DiagnosedPort& port);

// {"schema":1,"command":"diagnose","code":...,"text":...,"port":"COM1",
// "device":...,"exit_code":3,"open_failure":null or {"code","group","holders"},
// "rates":[{"rate","answer","bytes","own_echoes","frames","command",
// "device_type","serial_number","timing":{...}}],"latency":{...},
// "conclusion":{"code","text"}}
JsonObject DiagnosisJson(const LineDiagnosis& diagnosis, const DiagnosedPort& port);
