// What happens during a run, as the session log records it: the frames on
// the wire, the lines and boxes the operator sees, and the update's own
// figures. Every layer reports here through CurrentSession(); nothing here
// knows who listens, so the lower layers never depend on the one that
// writes the log.
//
// All reports come from the user-interface thread (the serial listener
// thread never reports). Frame bytes are lent for the call only. With no
// listener installed every report goes nowhere, at the cost of one call.
#pragma once

#include <cstdint>
#include <span>
#include <string_view>

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

// The listener installed now, or one that ignores everything.
SessionEvents& CurrentSession();

// Installs `listener` (not owned; it must outlive the scope) for the
// lifetime of this object; scopes nest, and the end of one reinstates the
// listener before it.
class SessionEventsScope {
public:
    explicit SessionEventsScope(SessionEvents& listener);
    ~SessionEventsScope();
    SessionEventsScope(const SessionEventsScope&) = delete;
    SessionEventsScope& operator=(const SessionEventsScope&) = delete;

private:
    SessionEvents* m_previous;
};
