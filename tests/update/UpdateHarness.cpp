#include "UpdateHarness.h"

#include <fcntl.h>
#include <poll.h>
#include <stdlib.h>
#include <unistd.h>

#include <QTimer>
#include <cstdlib>
#include <filesystem>

#include "LinkFrame.h"

namespace updatetest {
namespace {

constexpr const char* kPortName = "\\\\.\\COM1";
constexpr BYTE kDataBits = 8;
constexpr DWORD kPortEvents = EV_RXCHAR | EV_TXEMPTY | EV_BREAK | EV_ERR;
constexpr int kServePollMs = 5;

Bytes Sealed(Bytes frame) {
    frame.resize(frame.size() + kFrameCrcSize);
    SealFrame(frame.data());
    return frame;
}

void WriteAll(int fd, const Bytes& bytes) {
    std::size_t written = 0;
    while (written < bytes.size()) {
        const ssize_t count = ::write(fd, bytes.data() + written, bytes.size() - written);
        if (count <= 0) {
            return;
        }
        written += static_cast<std::size_t>(count);
    }
}

}  // namespace

BOOL ObservedUpdateDlg::OnInitDialog() {
    CUpdateDlg::OnInitDialog();
    if (whenRunning) {
        QTimer::singleShot(0, [this] { whenRunning(*this); });
    }
    return TRUE;
}

void ObservedUpdateDlg::OnTimer(UINT_PTR id) {
    barPositions.push_back(m_ctlProgress.GetPos());
    const std::string progress =
        m_strStatus + " | " + m_strPercent + " | " + std::to_string(barPositions.back());
    if (progressSeen.empty() || progressSeen.back() != progress) {
        progressSeen.push_back(progress);
    }
    CUpdateDlg::OnTimer(id);
}

void ObservedUpdateDlg::AddLogLine(const std::string& text) {
    log.push_back(text);
    CUpdateDlg::AddLogLine(text);
}

ScriptedInstrument::ScriptedInstrument(Responder responder) : m_responder(std::move(responder)) {
    char pattern[] = "/tmp/ziron7-updatetest-XXXXXX";
    m_directory = ::mkdtemp(pattern);
    m_deviceDirectory = m_directory + "/devices";
    std::filesystem::create_directories(m_deviceDirectory);
    m_master = ::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    ::grantpt(m_master);
    ::unlockpt(m_master);
    const std::string slavePath = ::ptsname(m_master);
    m_slave = ::open(slavePath.c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
    std::filesystem::create_symlink(slavePath, m_deviceDirectory + "/com1");
    m_thread = std::thread([this] { Serve(); });
}

ScriptedInstrument::~ScriptedInstrument() {
    m_stop = true;
    m_thread.join();
    ::close(m_slave);
    ::close(m_master);
    std::error_code ignored;
    std::filesystem::remove_all(m_directory, ignored);
}

void ScriptedInstrument::Inject(Bytes frame) {
    WriteAll(m_master, Sealed(std::move(frame)));
}

void ScriptedInstrument::InjectRaw(const Bytes& bytes) {
    WriteAll(m_master, bytes);
}

std::vector<ReceivedFrame> ScriptedInstrument::Received() const {
    std::lock_guard lock(m_mutex);
    return m_received;
}

void ScriptedInstrument::Serve() {
    Bytes pending;
    while (!m_stop) {
        pollfd watched{m_master, POLLIN, 0};
        if (::poll(&watched, 1, kServePollMs) <= 0) {
            continue;
        }
        std::uint8_t bytes[512];
        const ssize_t count = ::read(m_master, bytes, sizeof bytes);
        if (count <= 0) {
            continue;
        }
        pending.insert(pending.end(), bytes, bytes + count);
        while (pending.size() > kFrameLengthIndex) {
            const std::size_t total = pending[kFrameLengthIndex] + std::size_t{kFrameOverhead};
            if (pending.size() < total) {
                break;
            }
            ReceivedFrame request{
                Bytes(pending.begin(), pending.begin() + static_cast<long>(total))};
            pending.erase(pending.begin(), pending.begin() + static_cast<long>(total));
            {
                std::lock_guard lock(m_mutex);
                m_received.push_back(request);
            }
            for (Bytes& reply : m_responder(request)) {
                WriteAll(m_master, Sealed(std::move(reply)));
            }
        }
    }
}

UpdateOutcome RunUpdate(ObservedUpdateDlg& dialog, const std::string& deviceDirectory,
                        std::int32_t baud, CFirmwareImage& image, int answerDelayMs) {
    ::setenv("ZIRON7_DEVICE_DIR", deviceDirectory.c_str(), 1);
    CSerialCWnd serial;
    UpdateOutcome outcome;
    if (serial.Open(kPortName, static_cast<CWnd*>(nullptr), 0, 0, 0, 0) != 0) {
        return outcome;
    }
    serial.Configure(static_cast<DWORD>(baud), kDataBits, NOPARITY, ONESTOPBIT);
    serial.SetEventMask(kPortEvents);
    DeviceInfo device;
    device.year = 2011;
    device.month = 7;
    device.serialNumber = 12345;
    device.baudRate = baud;
    dialog.m_pSerial = &serial;
    dialog.m_pDeviceInfo = &device;
    dialog.m_pImage = &image;
    MessageBoxOperator person(answerDelayMs);
    outcome.result = dialog.DoModal();
    outcome.log = dialog.log;
    outcome.boxes = person.Shown();
    return outcome;
}

Bytes Reply(std::uint8_t command, std::span<const std::uint8_t> payload) {
    Bytes frame(kFramePayloadIndex + payload.size());
    frame[kFrameStartIndex] = kRequestStartByte;
    frame[kFrameCommandIndex] = command;
    frame[kFrameLengthIndex] = static_cast<std::uint8_t>(payload.size());
    std::copy(payload.begin(), payload.end(), frame.begin() + kFramePayloadIndex);
    return frame;
}

Bytes InfoTextReply(const std::string& text) {
    return Reply(CMD_INFO,
                 std::span(reinterpret_cast<const std::uint8_t*>(text.data()), text.size()));
}

Bytes StatusReply(bool bootloaderRuns) {
    const std::uint8_t status = bootloaderRuns ? 0x02 : 0x00;
    return Reply(CMD_STATUS, std::span(&status, 1));
}

}  // namespace updatetest
