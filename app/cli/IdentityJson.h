// The identities a ziron7-cli result carries: the image's (version, build
// time, size, SHA-256) and the instrument's (type, serial number, date of
// manufacture, firmware before and after the run).
#pragma once

#include <cstdint>
#include <span>
#include <string_view>

#include "JsonText.h"
#include "RunOutcome.h"
#include "SessionLog.h"

// {"source":"embedded"|"file","version":6,"build_time":"Jun 20 2011 09:15:48",
//  "size":35698,"sha256":"<64 hex digits>"}; `image` is one that loaded.
JsonObject ImageJson(std::span<const std::uint8_t> image, std::string_view source);

// The instrument as the search and the information steps saw it; empty
// when no Зирон-7 answered.
JsonObject InstrumentJson(const SessionLog::Identity& id);

// {"before":{"version","build_time"} or null,"after":... or null}: before is
// what the instrument held when the run found it; after is the image's once
// it was written and verified, the same as before when nothing was written,
// and null when the flash was written but not verified (its state unknown).
JsonObject FirmwareChangeJson(const SessionLog::Identity& id, std::span<const std::uint8_t> image,
                              const RunEnd& end);
