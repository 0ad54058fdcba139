// A scripted updater for the simulated instrument: it starts ziron7-sim in a
// private device namespace and talks to it over the real pseudo-terminal, with
// plain termios on the comN entry, as the updater's serial layer would.
#pragma once

#include <chrono>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace simtest {

using Bytes = std::vector<std::uint8_t>;
using std::chrono::milliseconds;

// How long a test waits for a reply that should come, and for one that should not.
inline constexpr milliseconds kReplyWait{2000};
inline constexpr milliseconds kSilenceWait{200};

// A private directory for one test, removed with everything in it.
class TempDir {
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    const std::string& Path() const { return m_path; }
    std::string operator/(const char* name) const { return m_path + "/" + name; }

private:
    std::string m_path;
};

// One run of ziron7-sim with its device namespace in `directory`/devices.
// The destructor ends it.
class SimProcess {
public:
    SimProcess(const TempDir& directory, std::vector<std::string> arguments);
    ~SimProcess();
    SimProcess(const SimProcess&) = delete;
    SimProcess& operator=(const SimProcess&) = delete;

    // The "ready" line, empty when the simulator never got ready.
    const std::string& ReadyLine() const { return m_readyLine; }
    std::string EntryPath() const { return m_deviceDirectory + "/com1"; }

    // Sends `signal` and waits for the end; the exit status as waitpid gives it.
    int Stop(int signal);
    // Waits up to `wait` for the process to end by itself; its status, or -1.
    int WaitForExit(milliseconds wait);

private:
    std::string m_deviceDirectory;
    std::string m_readyLine;
    int m_pid = -1;
    int m_stdout = -1;  // owned: the read end of the simulator's stdout
};

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

// A firmware image of `size` bytes with the header fields filled in: date and
// time texts at 140 and 152, version at 163, other bytes from `seed`.
Bytes MakeImage(std::size_t size, const char* date, const char* time, std::uint16_t version,
                unsigned seed);
void WriteFile(const std::string& path, const Bytes& bytes);
Bytes ReadFile(const std::string& path);

}  // namespace simtest
