// The console program's words for a diagnosis: its one plain-language
// conclusion, in this run's language. A search that gave up says the same
// of what it heard, so the session log and `diagnose` never disagree in
// their wording.
#pragma once

#include <string>

#include "LineVerdict.h"
#include "PortDevice.h"
#include "RunOutcome.h"

// The conclusion for a port that opened. `device` is what the system says
// of the port's device; a latency timer is named only when the port is a
// USB serial adapter.
std::string LineConclusionText(const LineSummary& summary, const PortDevice& device);

// The conclusion for a port that did not open, by the outcome its open
// result is (no_access, port_busy, port_missing, port_failed). `deviceName`
// is the system's device for the port, empty when none stands behind it.
std::string PortFailureConclusionText(Outcome outcome, const std::string& portName,
                                      const std::string& deviceName, const PortDevice& device);
