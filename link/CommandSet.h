// The messages exchanged with the instrument: command codes, bootloader
// operations, the builders of every request and the decoders of every reply.
//
// Requests are returned unsealed (header and payload, N + 3 bytes); the port
// appends the CRC when it writes them. Decoders take a whole received frame
// that has passed CheckFrame and read only the payload bytes that the frame
// carries: a reply shorter than its layout never yields bytes from elsewhere.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

// --- Command codes (byte 1 of a frame; replies may carry bit 7 set). ---
inline constexpr std::uint8_t CMD_IDENTIFY = 0x46;
inline constexpr std::uint8_t CMD_STATUS = 0x4A;
inline constexpr std::uint8_t CMD_INFO = 0x6C;
inline constexpr std::uint8_t CMD_LOADER = 0x6D;

// --- Bootloader operations (payload byte 6 of a CMD_LOADER request). ---
inline constexpr std::uint8_t BL_LOAD_HALF = 3;
inline constexpr std::uint8_t BL_PROGRAM_PAGE = 4;
inline constexpr std::uint8_t BL_SWITCH = 7;
inline constexpr std::uint8_t BL_READ_BACK = 10;
inline constexpr std::uint8_t BL_FINISH = 14;

// Read-back address that asks for the checksum and end value the bootloader holds.
inline constexpr std::uint16_t kFinalQueryAddress = 0xFF00;

// Flash geometry, in bytes.
inline constexpr std::uint32_t kFlashPageSize = 256;
inline constexpr std::uint32_t kHalfPageSize = 128;
inline constexpr std::uint32_t kReadBackBlockSize = 128;

// The device type with which the Зирон-7 identifies itself.
inline constexpr std::uint8_t kZiron7DeviceType = 3;

// Steps of the information request.
inline constexpr std::uint8_t kInfoStepDate = 0;
inline constexpr std::uint8_t kInfoStepTime = 1;
inline constexpr std::uint8_t kInfoStepIdentity = 2;
inline constexpr std::size_t kBuildDateTextLength = 11;  // "Jun 20 2011"
inline constexpr std::size_t kBuildTimeTextLength = 8;   // "09:15:48"

// --- The CMD_LOADER payload: access code, operation, 16-bit address, data. ---
inline constexpr std::size_t kAccessCodeSize = 6;
using AccessCodeBytes = std::array<std::uint8_t, kAccessCodeSize>;  // most significant first

inline constexpr std::size_t kLoaderOperationOffset = 6;  // payload offsets
inline constexpr std::size_t kLoaderAddressOffset = 7;
inline constexpr std::size_t kLoaderDataOffset = 9;
inline constexpr std::uint8_t kLoaderHeaderLength = 9;  // N of a request without data

// The access code as the image object receives it (bits 0..31, and bits
// 32..47 in the low half of `high`), back as six bytes, most significant first.
AccessCodeBytes AccessCodeFromParts(std::uint32_t low, std::uint32_t high);

// Writes the frame header and the CMD_LOADER payload header (frame bytes
// 0..11) into `frame`, which must hold at least kFrameBufferSize bytes. The
// caller writes `payloadLength` - 9 data bytes from frame byte 12 on.
void WriteLoaderHeader(std::uint8_t* frame, std::uint8_t startByte, std::uint8_t command,
                       std::uint8_t payloadLength, const AccessCodeBytes& accessCode,
                       std::uint8_t operation, std::uint16_t address);

// --- Requests, unsealed: N + 3 bytes each. ---
using RequestBytes = std::vector<std::uint8_t>;

RequestBytes BuildIdentifyRequest();               // FE 46 00
RequestBytes BuildStatusRequest();                 // FE 4A 00
RequestBytes BuildInfoRequest(std::uint8_t step);  // FE 6C 01 step
// FE 6D 09, the access code, 07 00 00: the main program answers it by
// starting the bootloader, the bootloader by starting the main program.
RequestBytes BuildSwitchRequest(const AccessCodeBytes& accessCode);

// --- Replies. `frame` is the whole checked frame, CRC included. ---

// Command code of a reply with the reply flag (bit 7) cleared.
std::uint8_t ReplyCommand(std::span<const std::uint8_t> frame);

// The payload bytes the frame actually carries: at most its length byte, and
// never past the end of `frame` less its CRC.
std::span<const std::uint8_t> ReplyPayload(std::span<const std::uint8_t> frame);

struct IdentifyReply {
    std::uint8_t deviceType;
    std::uint16_t year;  // in full, e.g. 2011
    std::uint8_t month;
    std::uint16_t serialNumber;
};
// Empty when the payload is shorter than the five bytes of the reply.
std::optional<IdentifyReply> DecodeIdentifyReply(std::span<const std::uint8_t> frame);

// True when the bootloader runs, false when the main program runs; empty
// when the payload carries no status byte.
std::optional<bool> DecodeStatusReply(std::span<const std::uint8_t> frame);

// Information steps 0 and 1: the date or time text, at most `maxLength`
// characters and never more than the payload holds (so a short reply gives
// a short text, which the build-date parser rejects).
std::string DecodeInfoText(std::span<const std::uint8_t> frame, std::size_t maxLength);

struct FirmwareIdentityReply {
    std::uint16_t deviceType;
    std::uint16_t version;
    std::uint32_t reprogrammings;
};
// Information step 2. Empty when the payload is shorter than eight bytes.
std::optional<FirmwareIdentityReply> DecodeFirmwareIdentityReply(
    std::span<const std::uint8_t> frame);

// The acknowledgement of the switch into the bootloader: its signature byte
// when the payload is exactly one byte long, empty otherwise.
std::optional<std::uint8_t> DecodeSwitchAcknowledgement(std::span<const std::uint8_t> frame);

// The operation code a bootloader reply echoes; empty without a payload.
std::optional<std::uint8_t> DecodeLoaderOperation(std::span<const std::uint8_t> frame);

// The bytes of a read-back block (payload bytes 3..130): at most 128, fewer
// when the reply is short.
std::span<const std::uint8_t> DecodeReadBackBlock(std::span<const std::uint8_t> frame);

struct FinalQueryReply {
    std::uint16_t checksum;
    std::uint16_t endValue;
};
// The checksum and end value the bootloader holds (payload bytes 3..6);
// empty when the payload is too short to carry them.
std::optional<FinalQueryReply> DecodeFinalQueryReply(std::span<const std::uint8_t> frame);
