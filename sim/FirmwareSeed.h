// The firmware a new flash starts from: the updater's own embedded image, or
// an image file, with the build date in its header moved so that the updater
// has something to do (or, on request, refuses or cannot read it).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace sim {

enum class FirmwareDate {
    Older,        // one year before the seed's date: the first update writes
    Same,         // unchanged: an update only verifies
    Later,        // one year after: the updater refuses
    Unparseable,  // a text no build-date parser reads
};

// Reads the image file at `path`, or the embedded firmware when `path` is
// empty. Returns false with `error` filled when there is none.
bool LoadSeedImage(const std::string& path, std::vector<std::uint8_t>& image, std::string& error);

// The embedded firmware ("BIN" resource 154), empty when the build has none.
std::vector<std::uint8_t> EmbeddedFirmware();

// Rewrites the 11-character build date text of `image` (at least as long as
// the header) as `date` asks.
void SetBuildDate(std::vector<std::uint8_t>& image, FirmwareDate date);

}  // namespace sim
