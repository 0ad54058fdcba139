// The identities a ziron7-cli result carries: the image's (version, build
// time, size, SHA-256) and the instrument's (type, serial number, date of
// manufacture, firmware before and after the run).
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "JsonText.h"
#include "RunFacts.h"
#include "RunOutcome.h"

// {"source":"embedded"|"file","version":6,"build_time":"Jun 20 2011 09:15:48",
//  "size":35698,"sha256":"<64 hex digits>"}; `image` is one that loaded.
JsonObject ImageJson(std::span<const std::uint8_t> image, std::string_view source);

// The instrument as the search and the information steps saw it; empty
// when no Зирон-7 answered.
JsonObject InstrumentJson(const RunFacts::Identity& id);

// A firmware by its header's version and build time.
struct FirmwareState {
    std::uint64_t version = 0;
    std::string buildTime;  // "Jun 20 2011 09:15:48"
};

// What the instrument held before the run and holds after it: before is
// what it held when the run found it; after is the image's once it was
// written and verified, the same as before when nothing was written, and
// unknown when the flash was written but not verified. Either is empty
// when unknown.
struct FirmwareChange {
    std::optional<FirmwareState> before;
    std::optional<FirmwareState> after;
};

FirmwareChange FirmwareChangeOf(const RunFacts::Identity& id, std::span<const std::uint8_t> image,
                                const RunEnd& end);

// {"before":{"version","build_time"} or null,"after":... or null}.
JsonObject FirmwareChangeJson(const RunFacts::Identity& id, std::span<const std::uint8_t> image,
                              const RunEnd& end);
