// The instrument's side of the link: the command and operation codes it acts
// on, the replies it builds, and the answer a running program gives to one
// request. Both programs (main program and bootloader) speak through this.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace sim {

// Command codes, compared with bit 7 cleared: a request may carry it either way.
inline constexpr std::uint8_t kCmdIdentify = 0x46;
inline constexpr std::uint8_t kCmdStatus = 0x4A;
inline constexpr std::uint8_t kCmdInfo = 0x6C;
inline constexpr std::uint8_t kCmdLoader = 0x6D;
inline constexpr std::uint8_t kCommandMask = 0x7F;

// Bootloader operation codes (payload byte 6 of a loader request).
inline constexpr std::uint8_t kOpLoadHalf = 3;
inline constexpr std::uint8_t kOpProgramPage = 4;
inline constexpr std::uint8_t kOpSwitch = 7;
inline constexpr std::uint8_t kOpReadBack = 10;
inline constexpr std::uint8_t kOpFinish = 14;

// Loader request payload: access code, operation, 16-bit address (LE), data.
inline constexpr int kLoaderCodeOffset = 0;
inline constexpr int kLoaderCodeSize = 6;
inline constexpr int kLoaderOpOffset = 6;
inline constexpr int kLoaderAddressOffset = 7;
inline constexpr int kLoaderDataOffset = 9;
inline constexpr int kLoaderMinPayload = 9;  // code, operation, address

// Payload sizes of the loader requests the bootloader accepts.
inline constexpr int kLoadHalfPayload = 137;
inline constexpr int kFinishPayload = 13;

// Flash geometry of the instrument, in bytes.
inline constexpr int kPageSize = 256;
inline constexpr int kHalfPageSize = 128;
inline constexpr int kReadBackBlockSize = 128;
inline constexpr std::uint16_t kFinalQueryAddress = 0xFF00;

// The status reply's byte 0: bit 1 set while the bootloader runs.
inline constexpr std::uint8_t kStatusMainProgram = 0x00;
inline constexpr std::uint8_t kStatusBootloader = 0x02;

// The bootloader always talks at this rate, in baud.
inline constexpr std::uint32_t kBootloaderBaud = 38400;

// The instrument's replies start with the same byte as the program's requests;
// nobody on the other side examines it.
inline constexpr std::uint8_t kReplyStartByte = 0xFE;

// One reply, not yet sealed: the instrument may still mark its command byte.
struct Reply {
    std::uint8_t command = 0;
    std::vector<std::uint8_t> payload;
};

// What a running program makes of one well-formed request.
struct ProgramAnswer {
    std::optional<Reply> reply;    // none: the request goes unanswered
    bool switchesProgram = false;  // after the reply, the other program runs
    std::string outcome;           // what became of the request, for the transcript
    std::string replyMeaning;      // what the reply says (empty without reply)
    bool brokenChecksum = false;   // the reply leaves with its checksum spoilt
};

// A view of a received, checksum-correct frame (so its payload holds as many
// bytes as its length byte says).
struct Request {
    const std::uint8_t* bytes = nullptr;

    std::uint8_t Command() const;                 // bit 7 cleared
    int PayloadLength() const;                    // byte 2
    const std::uint8_t* Payload() const;          // byte 3 on
    std::uint16_t Word(int payloadOffset) const;  // 16 bits, low byte first
};

// True when `request` is a loader request whose access code is the instrument's.
bool CarriesAccessCode(const Request& request);

// The frame on the wire: start byte, command (with bit 7 when `markReply`),
// length, payload, CRC.
std::vector<std::uint8_t> SealReply(const Reply& reply, bool markReply);

void AppendWord(std::vector<std::uint8_t>& bytes, std::uint16_t value);
void AppendLong(std::vector<std::uint8_t>& bytes, std::uint32_t value);

}  // namespace sim
