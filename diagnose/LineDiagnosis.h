// The diagnosis of one port: whether it opens and why not, what came back
// at each search rate, and the verdict. It opens the port the way the
// search does, sends only identify requests, and closes the port again.
#pragma once

#include <string>
#include <vector>

#include "LineObservation.h"
#include "LineVerdict.h"
#include "PortDevice.h"
#include "RateFinding.h"
#include "winapi_types.h"

struct LineDiagnosis {
    LONG openResult = 0;             // the port's Open: 0, or why it did not open
    PortDevice device;               // what the system says of the device behind it
    std::vector<RateFinding> rates;  // in the search's order; empty when it did not open
    LineSummary summary;
};

// `comNumber` is n of COMn; `device` the system's device behind it (may be
// empty when none is known).
LineDiagnosis DiagnoseLine(int comNumber, const std::string& device);
