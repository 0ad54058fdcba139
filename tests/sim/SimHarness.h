// A scripted updater for the simulated instrument: it talks to ziron7-sim
// (started in a scratch folder's device namespace) over the real
// pseudo-terminal, with plain termios on the comN entry, as the updater's
// serial layer would.
#pragma once

#include <chrono>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "ImageFiles.h"
#include "SimProcess.h"
#include "TempDir.h"

namespace simtest {

using Bytes = std::vector<std::uint8_t>;
using std::chrono::milliseconds;

// How long a test waits for a reply that should come, and for one that should not.
inline constexpr milliseconds kReplyWait{2000};
inline constexpr milliseconds kSilenceWait{200};

using testsupport::MakeImage;
using testsupport::ReadFile;
using testsupport::SimProcess;
using testsupport::TempDir;
using testsupport::WriteFile;

// The updater's end of the line.
class LineClient {
public:
    explicit LineClient(const std::string& path);
    ~LineClient();
    LineClient(const LineClient&) = delete;
    LineClient& operator=(const LineClient&) = delete;

    bool IsOpen() const { return m_fd >= 0; }
    void SetRate(std::uint32_t baud);
    // Seals `frame` (header and payload) and writes it.
    void Send(Bytes frame);
    void SendRaw(std::span<const std::uint8_t> bytes);
    // The next whole frame (by its length byte), whatever its CRC; none when
    // it is not complete within `wait`.
    std::optional<Bytes> Receive(milliseconds wait = kReplyWait);
    // Everything that arrives within `wait`.
    Bytes Collect(milliseconds wait = kSilenceWait);
    // Sends and returns the reply.
    std::optional<Bytes> Ask(Bytes frame, milliseconds wait = kReplyWait);
    // Whether the line takes more bytes from this end within `wait`.
    bool Writable(milliseconds wait) const;
    // The result of the last read: 0 at end of file, -1 with errno on failure.
    long LastRead() const { return m_lastRead; }

private:
    bool ReadSome(milliseconds wait);

    int m_fd = -1;
    Bytes m_pending;
    long m_lastRead = 1;
};

// Requests as the updater builds them (without CRC).
Bytes Identify();
Bytes Status();
Bytes Info(std::uint8_t step);
Bytes Loader(std::uint8_t operation, std::uint16_t address, std::span<const std::uint8_t> data = {},
             std::uint8_t startByte = 0x00);
Bytes LoaderWithCode(std::span<const std::uint8_t> code, std::uint8_t operation,
                     std::uint16_t address);
Bytes SwitchProgram();  // FE 6D 09, access code, 07 00 00

// The payload of a received frame.
Bytes Payload(const Bytes& frame);
bool Intact(const Bytes& frame);

}  // namespace simtest
