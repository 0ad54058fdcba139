// The simulator's command line: where the line is, who the instrument is, what
// its flash holds and which faults it shows. `ziron7-sim --help` lists them.
#pragma once

#include "FirmwareSeed.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace sim {

// What bytes sent at a rate other than the instrument's become.
enum class NoiseMode { Drop, Random };

// What the bootloader holds in bytes 1-2 of its replies: the request's
// address, zeros, or anything.
enum class BootEcho { Address, Zero, Random };

// The kinds of request whose replies may each come late by their own time.
enum class ReplyKind { Identify, Status, Information, Loader };

// Bits that read back inverted from one flash address.
struct StuckBits {
    std::uint16_t address = 0;
    std::uint8_t mask = 0x01;
};

struct SimOptions {
    // The line.
    int comNumber = 1;              // entry "comN" in the device namespace
    std::string ttyPath;            // serve this tty instead of a new pseudo-terminal
    std::uint32_t mainBaud = 9600;  // the main program's rate, in baud
    NoiseMode noise = NoiseMode::Drop;
    bool echo = false;  // the updater's bytes come back to it as they are read
    int staleInputBytes = 0;  // waiting in the updater's input before it opens the line
    int staleRequests = 0;    // of the updater's identify requests, ahead of those bytes

    // Who the instrument is.
    int deviceType = 3;
    int year = 2011;
    int month = 7;
    int serialNumber = 12345;
    std::uint32_t reprogrammings = 0;  // of a new flash

    // Its flash.
    std::string flashPath;     // empty: in memory, for this run only
    std::string firmwarePath;  // seed of a new flash; empty: the embedded firmware
    FirmwareDate firmwareDate = FirmwareDate::Older;

    // Faults. Probabilities are per byte (0..1), times in milliseconds.
    double flipIn = 0;
    double flipOut = 0;
    double dropIn = 0;
    double dropOut = 0;
    double duplicate = 0;  // per reply
    int replyDelayMs = 0;  // every reply's; identify replies always take this one
    // Each kind's own lateness, in milliseconds; unset: replyDelayMs.
    std::optional<int> statusDelayMs;
    std::optional<int> infoDelayMs;
    std::optional<int> loaderDelayMs;  // replies to loader requests, the switches included
    int chunkMs = 0;    // bytes for the updater leave in bursts this far apart; 0: at once
    bool pace = false;  // bytes take their wire time: 10 bit times each
    std::vector<StuckBits> stuck;
    int stuckPasses = 0;  // verification passes that see them; 0: every pass
    bool badSignature = false;
    bool neverEnter = false;
    int lostSwitchesIn = 0;        // the first this many switches into the bootloader are lost
    bool infoBadChecksum = false;  // information replies fail their checksum
    int unansweredInfoStep = -1;   // the main program does not know this information step
    BootEcho bootEcho = BootEcho::Address;
    bool neverLeave = false;
    int lostSwitchBacks = 0;
    bool startInBootloader = false;
    int bootStartMs = 0;  // after a switch in, the bootloader hears nothing for this long
    int mainStartMs = 0;  // after a switch back, the main program hears nothing for this long
    bool replyBit7 = false;
    std::optional<long> silentAfter;  // frames answered before falling silent
    std::optional<long> stallAfter;   // frames answered before reading stops and the line fills
    std::optional<long> hangupAfter;  // frames received before closing the line
    std::optional<std::uint64_t> seed;

    std::string transcriptPath;
};

// How late, in milliseconds, a reply of `kind` starts after its request.
int ReplyDelayMs(const SimOptions& options, ReplyKind kind);

enum class ParseOutcome { Run, Help, Version, Error };

ParseOutcome ParseSimOptions(int argc, const char* const* argv, SimOptions& options,
                             std::string& error);

// The --help text.
const char* SimUsage();

}  // namespace sim
