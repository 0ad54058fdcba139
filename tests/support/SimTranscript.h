// The simulator's record of the line (its --transcript file): one JSON
// object a line, one line per frame each way.
#pragma once

#include <string>
#include <vector>

#include "ImageFiles.h"

namespace testsupport {

// Every line of the transcript at `path`.
std::vector<std::string> TranscriptLines(const std::string& path);
// The lines of the frames the instrument received.
std::vector<std::string> ReceivedLines(const std::string& path);
// The bytes of the frame a line records (its "hex" field).
Bytes FrameOf(const std::string& line);

}  // namespace testsupport
