// Measures the serial port layer on a pseudo-terminal and prints figures:
//  1. CPU time of the whole process over 5 s with a port open, its listener
//     waiting and no traffic (a spinning wait shows as tens of ms or more);
//  2. latency from a frame written on the instrument side of the line to
//     the owner window's message sink running: median and 99th percentile
//     over 1,000 frames.
// Run: build/bench/bench/serial_port_measure
#include <fcntl.h>
#include <pty.h>
#include <stdlib.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <filesystem>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "SerialCWnd.h"

namespace {

using Clock = std::chrono::steady_clock;

constexpr auto kIdlePeriod = std::chrono::seconds(5);
constexpr int kFrames = 1000;
constexpr DWORD kDialogMask = EV_RXCHAR | EV_TXEMPTY | EV_BREAK | EV_ERR;
constexpr std::uint8_t kIdentifyReply[] = {0xFE, 0x46, 0x00, 0x22, 0x50};

double ProcessCpuMilliseconds() {
    timespec now{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
    return static_cast<double>(now.tv_sec) * 1e3 + static_cast<double>(now.tv_nsec) / 1e6;
}

// The owner window: its sink notes when each notification arrived.
class TimedOwner : public CWnd {
public:
    TimedOwner() {
        m_hWnd = CreateWindowHandle([this](UINT, WPARAM, LPARAM) {
            const Clock::time_point now = Clock::now();
            {
                std::lock_guard guard(lock_);
                arrivals_.push_back(now);
            }
            arrived_.notify_all();
        });
    }
    ~TimedOwner() override { DestroyWindowHandle(m_hWnd); }

    // When the notification after the `seen` earlier ones arrived.
    Clock::time_point Await(std::size_t seen) {
        std::unique_lock guard(lock_);
        arrived_.wait(guard, [&] { return arrivals_.size() > seen; });
        return arrivals_[seen];
    }
    std::size_t Count() {
        std::lock_guard guard(lock_);
        return arrivals_.size();
    }

private:
    std::mutex lock_;
    std::condition_variable arrived_;
    std::vector<Clock::time_point> arrivals_;
};

double Percentile(std::vector<double> values, double fraction) {
    std::sort(values.begin(), values.end());
    const auto index = static_cast<std::size_t>(fraction * static_cast<double>(values.size() - 1));
    return values[index];
}

}  // namespace

int main() {
    int master = -1;
    int slave = -1;
    char slaveName[256] = {};
    if (openpty(&master, &slave, slaveName, nullptr, nullptr) != 0) {
        std::perror("openpty");
        return 1;
    }
    char dirTemplate[] = "/tmp/ziron7-measure-XXXXXX";
    const std::filesystem::path deviceDir = mkdtemp(dirTemplate);
    std::filesystem::create_symlink(slaveName, deviceDir / "com1");
    setenv("ZIRON7_DEVICE_DIR", deviceDir.c_str(), 1);

    TimedOwner owner;
    CSerialCWnd port;
    if (const LONG opened = port.Open("\\\\.\\COM1", &owner, 0, 0, 0, 0); opened != 0) {
        std::fprintf(stderr, "Open failed: %ld\n", static_cast<long>(opened));
        return 1;
    }
    port.Configure(115200, 8, NOPARITY, ONESTOPBIT);
    port.SetEventMask(kDialogMask);

    std::this_thread::sleep_for(std::chrono::milliseconds(100));  // let the mask change settle
    const double cpuBefore = ProcessCpuMilliseconds();
    std::this_thread::sleep_for(kIdlePeriod);
    const double idleCpu = ProcessCpuMilliseconds() - cpuBefore;
    std::printf("idle: %.3f ms CPU over %lld s with the port open and its listener waiting\n",
                idleCpu, static_cast<long long>(kIdlePeriod.count()));

    std::vector<double> latencies;
    latencies.reserve(kFrames);
    std::uint8_t drain[299];
    for (int frame = 0; frame < kFrames; ++frame) {
        const std::size_t seen = owner.Count();
        const Clock::time_point sent = Clock::now();
        if (write(master, kIdentifyReply, sizeof kIdentifyReply) !=
            static_cast<ssize_t>(sizeof kIdentifyReply)) {
            std::perror("write");
            return 1;
        }
        const Clock::time_point handled = owner.Await(seen);
        latencies.push_back(std::chrono::duration<double, std::milli>(handled - sent).count());
        // The dialog's handler: take everything that has come in.
        DWORD count = 0;
        do {
            port.Read(drain, sizeof drain, &count, nullptr, INFINITE);
        } while (count == sizeof drain);
    }
    std::printf(
        "latency from the line to the owner's handler over %d frames: median %.3f ms, "
        "99th percentile %.3f ms, worst %.3f ms\n",
        kFrames, Percentile(latencies, 0.5), Percentile(latencies, 0.99),
        Percentile(latencies, 1.0));

    port.Close();
    close(slave);
    close(master);
    std::filesystem::remove_all(deviceDir);
    return 0;
}
