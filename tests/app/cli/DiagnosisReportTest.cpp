// What `diagnose` concludes and prints: the outcome and exit code of each
// verdict, why a port does not open with what the user can do about it, a
// latency timer's setting named only for a USB serial adapter, and the
// conclusion in the run's language with a code that never changes.
#include "DiagnosisReport.h"

#include <gtest/gtest.h>

#include "CliLanguage.h"
#include "LineConclusion.h"
#include "winapi_errors.h"

namespace {

using namespace std::chrono_literals;

const DiagnosedPort kPort{"COM1", "/dev/ttyUSB0", {}};

LineDiagnosis Opened(RateAnswer answer, std::chrono::microseconds late = 1ms) {
    LineDiagnosis diagnosis;
    RateFinding rate;
    rate.baudRate = 9600;
    rate.answer = answer;
    rate.bytesReceived = 10;
    rate.timing = {3, late, late, late, 1, 0us};
    if (answer == RateAnswer::Ziron7 || answer == RateAnswer::AnotherDevice) {
        rate.command = 0x46;
        rate.identity = IdentifyReply{
            answer == RateAnswer::Ziron7 ? std::uint8_t{3} : std::uint8_t{5}, 2011, 7, 12345};
    }
    diagnosis.rates = {rate};
    diagnosis.summary = SummariseLine(diagnosis.rates);
    return diagnosis;
}

LineDiagnosis NotOpened(DWORD error, PortDevice device = {}) {
    LineDiagnosis diagnosis;
    diagnosis.openResult = static_cast<LONG>(error);
    diagnosis.device = std::move(device);
    return diagnosis;
}

bool Has(const std::string& text, std::string_view part) {
    return text.find(part) != std::string::npos;
}

TEST(DiagnosisReport, OnlyAZiron7AnsweringEndsWithSuccess) {
    struct Case {
        RateAnswer answer;
        Outcome outcome;
        const char* conclusion;
    };
    const Case cases[] = {
        {RateAnswer::Ziron7, Outcome::Found, "\"conclusion\":{\"code\":\"found\""},
        {RateAnswer::AnotherDevice, Outcome::ForeignDevice,
         "\"conclusion\":{\"code\":\"foreign_device\""},
        {RateAnswer::OwnEcho, Outcome::OwnEcho, "\"conclusion\":{\"code\":\"own_echo\""},
        {RateAnswer::Garbage, Outcome::NoInstrument, "\"conclusion\":{\"code\":\"garbled_line\""},
        {RateAnswer::Nothing, Outcome::NoInstrument, "\"conclusion\":{\"code\":\"no_answer\""},
    };
    for (const Case& line : cases) {
        const LineDiagnosis diagnosis = Opened(line.answer);
        EXPECT_EQ(DiagnosisOutcome(diagnosis), line.outcome);
        const std::string json = DiagnosisJson(diagnosis, kPort).Render();
        EXPECT_TRUE(Has(json, line.conclusion)) << json;
        EXPECT_TRUE(Has(json, "\"open_failure\":null")) << json;
    }
    EXPECT_EQ(ExitCodeOf(DiagnosisOutcome(Opened(RateAnswer::Ziron7))), kExitSuccess);
    EXPECT_EQ(ExitCodeOf(DiagnosisOutcome(Opened(RateAnswer::Garbage))), kExitNotFound);
}

TEST(DiagnosisReport, APortThatDoesNotOpenSaysWhatTheUserCanDo) {
    const std::string noAccess =
        DiagnosisConclusion(NotOpened(ERROR_ACCESS_DENIED, {"uucp", {}, {}, {}}), kPort);
    EXPECT_TRUE(Has(noAccess, "join the group uucp (sudo usermod -aG uucp $USER)")) << noAccess;
    EXPECT_TRUE(Has(noAccess, "/dev/ttyUSB0")) << noAccess;
    const std::string busy = DiagnosisConclusion(
        NotOpened(ERROR_SHARING_VIOLATION, {"dialout", {"minicom (pid 42)"}, {}, {}}), kPort);
    EXPECT_TRUE(Has(busy, "another program holds /dev/ttyUSB0: minicom (pid 42)")) << busy;
    const LineDiagnosis missing = NotOpened(ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(DiagnosisOutcome(missing), Outcome::PortMissing);
    EXPECT_TRUE(
        Has(DiagnosisConclusion(missing, {"COM7", {}, {}}), "no device stands behind COM7"));
    const std::string json = DiagnosisJson(missing, {"COM7", {}, {}}).Render();
    EXPECT_TRUE(Has(json, "\"code\":\"port_missing\"")) << json;
    EXPECT_TRUE(Has(json, "\"rates\":[]")) << json;
    EXPECT_TRUE(DiagnosisText(missing, kPort).starts_with(
        "COM1 (/dev/ttyUSB0): the port does not open: no such port\n"));
    // A failure of no known kind is said once, not twice over.
    const std::string failed = DiagnosisText(NotOpened(ERROR_GEN_FAILURE), kPort);
    EXPECT_TRUE(failed.starts_with("COM1 (/dev/ttyUSB0): the port does not open\n")) << failed;
}

TEST(DiagnosisReport, ADeviceThatNoPortStandsForIsNamedAsGivenAndNoPortIsMadeUp) {
    const DiagnosedPort unmapped{{}, {}, "/dev/null"};
    const LineDiagnosis missing = NotOpened(ERROR_FILE_NOT_FOUND);
    const std::string text = DiagnosisText(missing, unmapped);
    EXPECT_TRUE(text.starts_with("/dev/null: the port does not open: no such port\n")) << text;
    EXPECT_TRUE(Has(text, "no device stands behind /dev/null")) << text;
    const std::string json = DiagnosisJson(missing, unmapped).Render();
    EXPECT_TRUE(Has(json, "\"port\":null,\"device\":\"/dev/null\"")) << json;
}

TEST(DiagnosisReport, ALatencyTimerIsNamedOnlyWhenThePortIsAUsbSerialAdapter) {
    const LineDiagnosis held = Opened(RateAnswer::Ziron7, 16ms);
    const std::string plain = LineConclusionText(held.summary, {});
    EXPECT_TRUE(Has(plain, "replies come 16 ms late")) << plain;
    EXPECT_FALSE(Has(plain, "latency_timer")) << plain;

    const PortDevice adapter{
        "dialout", {}, "/sys/bus/usb-serial/devices/ttyUSB0/latency_timer", 16};
    const std::string named = LineConclusionText(held.summary, adapter);
    EXPECT_TRUE(Has(named, "(set to 16 ms)")) << named;
    EXPECT_TRUE(Has(named, "echo 1 | sudo tee /sys/bus/usb-serial/devices/ttyUSB0/latency_timer"))
        << named;

    EXPECT_FALSE(Has(LineConclusionText(Opened(RateAnswer::Ziron7, 2ms).summary, adapter), "late"));
}

TEST(DiagnosisReport, TheTextNamesEachRateAndEndsWithTheConclusion) {
    const std::string text = DiagnosisText(Opened(RateAnswer::AnotherDevice), kPort);
    EXPECT_TRUE(Has(text, "COM1 (/dev/ttyUSB0): the port opens\n")) << text;
    EXPECT_TRUE(Has(text, "  9600 baud: a device of type 5, not a Зирон-7; 1 ms late")) << text;
    EXPECT_TRUE(Has(text, "conclusion: a device of type 5 answers at 9600 baud")) << text;
}

class DiagnosisInRussian : public ::testing::Test {
protected:
    void SetUp() override { SetCliLanguage(CliLanguage::Russian); }
    void TearDown() override { SetCliLanguage(CliLanguage::English); }
};

TEST_F(DiagnosisInRussian, TheConclusionSpeaksTheLocalesLanguageAndItsCodeStays) {
    for (const RateAnswer answer : {RateAnswer::Nothing, RateAnswer::Garbage, RateAnswer::OwnEcho,
                                    RateAnswer::AnotherDevice, RateAnswer::Ziron7}) {
        const LineDiagnosis diagnosis = Opened(answer, 16ms);
        const std::string text = DiagnosisText(diagnosis, kPort);
        for (const char* english : {"the ", "baud", "answers", "late", "comes"}) {
            EXPECT_FALSE(Has(text, english)) << english << " in " << text;
        }
        EXPECT_TRUE(Has(DiagnosisJson(diagnosis, kPort).Render(),
                        std::string("\"conclusion\":{\"code\":\"") +
                            std::string(VerdictCode(diagnosis.summary.verdict))));
    }
}

}  // namespace
