// What happens during a run, as the session log records it: the frames on
// the wire, the lines and boxes the operator sees, and the update's own
// figures. Every layer reports here through CurrentSession(); nothing here
// knows who listens, so the lower layers never depend on the one that
// writes the log.
//
// All reports come from a thread that runs the dialogs (the serial listener
// thread never reports), and each such thread has a listener of its own:
// the operator's program has one, the console program one per port it
// updates at once. Frame bytes and texts are lent for the call only.
// With no listener installed every report goes nowhere, at the cost of one
// call.
//
// What the run decided (the instrument found, the firmware it holds, what
// the update does about it and how it ended) is reported by the dialog that
// decided it, once it has; a listener never needs to read it out of the
// frames.
#pragma once

#include <cstdint>
#include <span>
#include <string_view>

// The instrument that the search took: a Зирон-7 that answered.
struct FoundInstrument {
    std::uint8_t deviceType = 0;      // as its identify reply gives it
    std::uint16_t serialNumber = 0;
    std::uint16_t year = 0;           // of manufacture, in full (2011)
    std::uint8_t month = 0;           // of manufacture, as the instrument reports it
    std::uint32_t baudRate = 0;       // bits per second at which it answered

    bool operator==(const FoundInstrument&) const = default;
};

// The firmware in the instrument, as the update dialog took its three
// information replies before it decided.
struct HeldFirmware {
    std::string_view buildDate;  // as the instrument sent it ("Jun 20 2011")
    std::string_view buildTime;  // "09:15:48"
    // The last step's reply carried the fields below; without them the
    // dialog shows zeros and decides by the build time alone.
    bool identityRead = false;
    std::uint16_t deviceType = 0;
    std::uint16_t version = 0;
    std::uint32_t reprogrammings = 0;
};

// What the update dialog does with the instrument it found.
enum class UpdateDecision : std::uint8_t {
    IdentifyOnly,     // the run asked for the firmware's identity alone
    VerifyOnly,       // the run asked to verify the flash whatever the build times
    RefuseLater,      // the instrument's firmware is later than the image: nothing is written
    VerifySameDate,   // the same build time: verified first, written only where it differs
    Write,            // the image is later: written, then verified
    WriteIntoLoader,  // found in its bootloader, its firmware unknown; the operator said to write
    LeaveInLoader,    // found in its bootloader; the operator said not to write
};

// The outcome the update dialog showed, by its box.
enum class UpdateConclusion : std::uint8_t {
    Succeeded,          // the image passed verification; the main program runs again
    VerifyFailed,       // written, and every pass failed verification
    Differs,            // verified only: the flash differs from the image
    RefusedLater,       // the instrument's firmware is later than the image
    StaysInLoader,      // found in its bootloader and left there unwritten
    ForeignDevice,      // another device answered in the Зирон-7's place
    NoLink,             // the line fell silent, or failed
    CannotEnterLoader,  // the bootloader could not be entered
    CannotLeaveLoader,  // the main program could not be started again
    BadSignature,       // the bootloader is of a version this program does not know
    ImageError,         // the image could not make its next frame
};

class SessionEvents {
public:
    SessionEvents() = default;
    SessionEvents(const SessionEvents&) = delete;
    SessionEvents& operator=(const SessionEvents&) = delete;

    // The port `portName` ("\\.\COM1") was opened.
    virtual void OnPortOpened(std::string_view portName);
    // The firmware image comes from the file `path` (UTF-8), whose content
    // has the SHA-256 digest `sha256Hex` (64 lower-case hex digits), instead
    // of the program's own.
    virtual void OnImageFile(std::string_view path, std::string_view sha256Hex);
    // The firmware image is the program's own, with that SHA-256 digest.
    virtual void OnEmbeddedImage(std::string_view sha256Hex);
    // The open port now runs at `baudRate` bits per second.
    virtual void OnLineConfigured(std::uint32_t baudRate);
    // A sealed frame went to the port: header, payload and CRC.
    virtual void OnFrameSent(std::span<const std::uint8_t> frame);
    // A received frame passed its checksum.
    virtual void OnFrameReceived(std::span<const std::uint8_t> frame);
    // Bytes that started at a frame boundary and announced a whole frame
    // failed their checksum.
    virtual void OnChecksumFailed(std::span<const std::uint8_t> bytes);

    // A line in the update dialog's log, or a message box, in UTF-8.
    virtual void OnLogLine(std::string_view text);
    virtual void OnMessageBox(std::string_view text);

    // The search took `found` for the instrument; reported again only when
    // it answers with other figures (another rate, another instrument).
    virtual void OnInstrumentFound(const FoundInstrument& found);
    // The update dialog read `firmware` from the instrument and decides by it.
    virtual void OnFirmwareRead(const HeldFirmware& firmware);
    virtual void OnUpdateDecided(UpdateDecision decision);
    // The update dialog showed its outcome box, the first and only one.
    virtual void OnUpdateConcluded(UpdateConclusion conclusion);

    // The update sent its outstanding request again.
    virtual void OnRequestRepeated();
    // A verification pass ended.
    virtual void OnVerification(bool passed);
    // The update dialog ended with `result` (IDOK, IDCANCEL, or the link-lost
    // code); `completed` when the application needs no warning.
    virtual void OnUpdateEnded(int result, bool completed);
    // A search gave up without the instrument: what the line returned, as
    // a code ("own_echo") and in the words of the program that ran it.
    virtual void OnLineConclusion(std::string_view code, std::string_view text);

protected:
    ~SessionEvents() = default;
};

// The listener installed now on this thread, or one that ignores everything.
SessionEvents& CurrentSession();

// Installs `listener` (not owned; it must outlive the scope) on the calling
// thread for the lifetime of this object; scopes nest, and the end of one
// reinstates the listener before it. Other threads keep their own.
class SessionEventsScope {
public:
    explicit SessionEventsScope(SessionEvents& listener);
    ~SessionEventsScope();
    SessionEventsScope(const SessionEventsScope&) = delete;
    SessionEventsScope& operator=(const SessionEventsScope&) = delete;

private:
    SessionEvents* m_previous;
};
