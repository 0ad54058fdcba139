// The simulated instrument at the far end of a simulated port, driven by
// the real serial classes in the same process and in simulated time.
#include "CommandSet.h"
#include "LinkFrame.h"
#include "SerialWnd.h"
#include "SimulatedClock.h"
#include "SimHarness.h"
#include "SimulatedInstrumentPort.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <time.h>

#include <cstdio>
#include <vector>

namespace {

using std::chrono::milliseconds;
using ::testing::ElementsAre;
using Bytes = std::vector<std::uint8_t>;

constexpr UINT kComMessage = 0x8200;
constexpr char kPort[] = "\\\\.\\COM7";

sim::SimOptions Instrument() {
    sim::SimOptions options;
    options.firmwarePath = ZIRON7_FIRMWARE_PATH;
    options.seed = 11;
    return options;
}

// The program's side: a listening port whose notifications read what came.
class Program {
public:
    Program(SimulatedClock& world, DWORD rate) : m_world(world) {
        m_owner = CreateWindowHandle([this](UINT message, WPARAM wParam, LPARAM) {
            if (message != kComMessage) {
                return;
            }
            if (NotifiedEvents(wParam) == kLineLostEvent) {
                m_lost = true;
                return;
            }
            BYTE buffer[512];
            DWORD got = 0;
            m_port.ReadArrived(buffer, sizeof buffer, &got);
            m_received.insert(m_received.end(), buffer, buffer + got);
        });
        m_opened = m_port.Open(kPort, m_owner, kComMessage, 0, 0, 0);
        m_port.Configure(rate, 8, NOPARITY, ONESTOPBIT);
    }
    ~Program() {
        m_port.Close();
        DestroyWindowHandle(m_owner);
    }

    LONG Opened() const { return m_opened; }
    void SetRate(DWORD rate) { m_port.Configure(rate, 8, NOPARITY, ONESTOPBIT); }
    // Sends the frame (header and payload) and collects `count` bytes, or
    // what came within `wait`.
    Bytes Ask(Bytes frame, std::size_t count, milliseconds wait = milliseconds(300)) {
        m_received.clear();
        frame.resize(frame.size() + kFrameCrcSize);
        m_sendResult = m_port.SendFrame(frame.data());
        const MonotonicTime until = m_world.Now() + wait;
        m_world.RunSystemUntil([&] { return m_received.size() >= count; }, &until);
        return m_received;
    }
    // Lets `wait` pass, taking what arrives meanwhile.
    void Pass(milliseconds wait) {
        const MonotonicTime until = m_world.Now() + wait;
        m_world.RunSystemUntil([] { return false; }, &until);
    }
    LONG SendResult() const { return m_sendResult; }
    bool LineLost() const { return m_lost; }

private:
    SimulatedClock& m_world;
    HWND m_owner = nullptr;
    CSerialWnd m_port;
    LONG m_opened = -1;
    LONG m_sendResult = 0;
    Bytes m_received;
    bool m_lost = false;
};

class InProcessInstrument : public ::testing::Test {
protected:
    void SetUp() override { world.Install(); }

    void Start(const sim::SimOptions& options, const SimulatedPortFaults& faults = {}) {
        instrument = std::make_unique<sim::SimulatedInstrumentPort>(world, kPort, options, faults);
        std::string error;
        ASSERT_TRUE(instrument->Start(error)) << error;
    }

    SimulatedClock world{5};
    std::unique_ptr<sim::SimulatedInstrumentPort> instrument;
};

const Bytes kIdentify = {kRequestStartByte, CMD_IDENTIFY, 0};
constexpr std::size_t kIdentifyReplySize = kFrameOverhead + 5;

TEST_F(InProcessInstrument, AnswersIdentifyNoSoonerThanBothFramesCrossTheLine) {
    Start(Instrument());
    Program program(world, 9600);
    ASSERT_EQ(program.Opened(), 0);
    const MonotonicTime start = world.Now();
    const Bytes reply = program.Ask(kIdentify, kIdentifyReplySize);
    ASSERT_EQ(reply.size(), kIdentifyReplySize);
    EXPECT_TRUE(CheckFrame(reply.data(), static_cast<int>(reply.size())));
    EXPECT_EQ(reply[1], CMD_IDENTIFY);
    EXPECT_THAT(Bytes(reply.begin() + kFrameHeaderSize, reply.end() - kFrameCrcSize),
                ElementsAre(3, 11, 7, 0x39, 0x30));
    // 5 bytes out and 10 back at 9600 baud: 10 bit times a byte.
    const auto byteTime = std::chrono::nanoseconds(10 * 1'000'000'000LL / 9600);
    EXPECT_GE(world.Now() - start, byteTime * (kFrameOverhead + kIdentifyReplySize));
    EXPECT_FALSE(instrument->BootloaderRuns());
}

TEST_F(InProcessInstrument, AtAnotherRateNothingIntactComesBack) {
    Start(Instrument());
    Program program(world, 19200);
    const Bytes reply = program.Ask(kIdentify, kIdentifyReplySize);
    EXPECT_FALSE(reply.size() == kIdentifyReplySize &&
                 CheckFrame(reply.data(), static_cast<int>(reply.size())));
}

TEST_F(InProcessInstrument, AnEchoingLineReturnsTheRequestBeforeTheReply) {
    sim::SimOptions options = Instrument();
    options.echo = true;
    Start(options);
    Program program(world, 9600);
    const Bytes got = program.Ask(kIdentify, kFrameOverhead + kIdentifyReplySize);
    ASSERT_EQ(got.size(), kFrameOverhead + kIdentifyReplySize);
    EXPECT_EQ(got[1], CMD_IDENTIFY);
    EXPECT_EQ(got[2], 0) << "the request's own length byte comes first";
    EXPECT_TRUE(CheckFrame(got.data() + kFrameOverhead, static_cast<int>(kIdentifyReplySize)));
}

TEST_F(InProcessInstrument, StaleInputWaitsForTheProgramAtOpen) {
    Start(Instrument(), {{0x00, 0x7F}, 0});
    Program program(world, 9600);
    const Bytes got = program.Ask(kIdentify, 2 + kIdentifyReplySize);
    ASSERT_EQ(got.size(), 2 + kIdentifyReplySize);
    EXPECT_EQ(got[1], 0x7F);
}

TEST_F(InProcessInstrument, APulledCableAtAFrameTellsTheProgramTheLineIsLost) {
    sim::SimOptions options = Instrument();
    options.hangupAfter = 1;
    Start(options);
    Program program(world, 9600);
    EXPECT_EQ(program.Ask(kIdentify, kIdentifyReplySize).size(), kIdentifyReplySize);
    EXPECT_TRUE(program.Ask(kIdentify, kIdentifyReplySize).empty());
    EXPECT_TRUE(program.LineLost());
    EXPECT_TRUE(instrument->HungUp());
}

TEST_F(InProcessInstrument, AStalledInstrumentHoldsTheProgramsWritesTillTheirLimit) {
    sim::SimOptions options = Instrument();
    options.stallAfter = 0;
    Start(options);
    Program program(world, 9600);
    EXPECT_TRUE(program.Ask(kIdentify, kIdentifyReplySize).empty());
    const MonotonicTime start = world.Now();
    program.Ask(kIdentify, kIdentifyReplySize, milliseconds(0));
    EXPECT_EQ(program.SendResult(), static_cast<LONG>(ERROR_TIMEOUT));
    EXPECT_GE(world.Now() - start, milliseconds(250)) << "the write's margin ran out first";
}

TEST_F(InProcessInstrument, BurstsHoldTheReplyForTheAdaptersLatency) {
    sim::SimOptions options = Instrument();
    options.chunkMs = 40;
    Start(options);
    Program program(world, 9600);
    const MonotonicTime start = world.Now();
    EXPECT_EQ(program.Ask(kIdentify, kIdentifyReplySize).size(), kIdentifyReplySize);
    EXPECT_GE(world.Now() - start, milliseconds(40));
}

// Each kind of reply starts its own delay after its request, no sooner and
// not much later (the request's and the reply's first byte on the wire).
TEST_F(InProcessInstrument, EachKindOfReplyComesItsOwnDelayLate) {
    sim::SimOptions options = Instrument();
    options.replyDelayMs = 100;
    options.statusDelayMs = 300;
    options.infoDelayMs = 600;
    options.loaderDelayMs = 900;
    Start(options);
    Program program(world, 9600);
    const struct {
        Bytes request;
        int delayMs;
    } kKinds[] = {{kIdentify, 100}, {simtest::Status(), 300}, {simtest::Info(2), 600},
                  {simtest::SwitchProgram(), 900}};
    for (const auto& kind : kKinds) {
        const MonotonicTime start = world.Now();
        ASSERT_FALSE(program.Ask(kind.request, 1, milliseconds(2'000)).empty()) << kind.delayMs;
        EXPECT_GE(world.Now() - start, milliseconds(kind.delayMs));
        EXPECT_LT(world.Now() - start, milliseconds(kind.delayMs + 50));
        program.Pass(milliseconds(100));  // the rest of the reply
    }
    EXPECT_TRUE(instrument->BootloaderRuns()) << "the switch was answered";
}

TEST_F(InProcessInstrument, TheBootloaderHearsNothingWhileItStarts) {
    sim::SimOptions options = Instrument();
    options.bootStartMs = 200;
    Start(options);
    Program program(world, 9600);
    const Bytes ack = program.Ask(simtest::SwitchProgram(), kFrameOverhead + 1);
    ASSERT_FALSE(ack.empty());
    ASSERT_TRUE(instrument->BootloaderRuns());
    program.SetRate(sim::kBootloaderBaud);
    const MonotonicTime switched = world.Now();
    EXPECT_TRUE(program.Ask(simtest::Status(), kFrameOverhead + 1, milliseconds(50)).empty());
    const MonotonicTime started = switched + milliseconds(200);
    world.RunSystemUntil([] { return false; }, &started);
    EXPECT_FALSE(program.Ask(simtest::Status(), kFrameOverhead + 1).empty());
}

double CpuSeconds() {
    timespec now{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
    return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) * 1e-9;
}

// An update's worth of line traffic: about 705 frames of about 70 bytes
// each way, carried by the port, the listener and the instrument's end
// (the echo brings each frame back; the instrument has fallen silent), on
// a UART that tells of every 14 bytes and a USB adapter that tells of 62.
class UpdateTraffic : public InProcessInstrument,
                      public ::testing::WithParamInterface<std::size_t> {};

TEST_P(UpdateTraffic, CostsLittleCpu) {
    sim::SimOptions options = Instrument();
    options.echo = true;
    options.silentAfter = 0;
    SimulatedPortFaults faults;
    faults.receivePieceBytes = GetParam();
    Start(options, faults);
    Program program(world, 38400);
    constexpr int kFrames = 705;
    constexpr std::size_t kPayload = 65;
    Bytes frame = {kRequestStartByte, CMD_INFO, static_cast<std::uint8_t>(kPayload)};
    frame.resize(kFrameHeaderSize + kPayload, 0x5A);
    const MonotonicTime simulatedStart = world.Now();
    const double cpuStart = CpuSeconds();
    std::size_t carried = 0;
    for (int i = 0; i < kFrames; ++i) {
        carried += program.Ask(frame, kFrameOverhead + kPayload).size();
    }
    const double cpu = CpuSeconds() - cpuStart;
    EXPECT_EQ(carried, kFrames * (kFrameOverhead + kPayload));
    std::printf("[ cost     ] %d frames of %zu bytes each way, told in pieces of %zu, in %.3f s "
                "simulated: %.3f ms CPU\n",
                kFrames, kFrameOverhead + kPayload, GetParam(),
                std::chrono::duration<double>(world.Now() - simulatedStart).count(), cpu * 1e3);
}

INSTANTIATE_TEST_SUITE_P(Pieces, UpdateTraffic, ::testing::Values(14, 62));

}  // namespace
