// What a run decided, as the dialogs reported it: the record that the
// session log writes out and the console program reports.
#include <gmock/gmock.h>

#include "RunFacts.h"
#include "SessionEventsFanOut.h"

namespace {

constexpr FoundInstrument kFound{3, 12345, 2011, 7, 19200};

TEST(RunFactsTest, HoldsTheLastInstrumentFoundAndTheFirmwareAsTheDialogsTookThem) {
    RunFacts facts;
    EXPECT_FALSE(facts.InstrumentIdentity().serialNumber);
    facts.OnInstrumentFound(kFound);
    FoundInstrument atAnotherRate = kFound;
    atAnotherRate.baudRate = 38400;
    facts.OnInstrumentFound(atAnotherRate);
    facts.OnFirmwareRead({"Jun 20 2011", "09:15:48", true, 3, 6, 5});
    const RunFacts::Identity& id = facts.InstrumentIdentity();
    EXPECT_EQ(id.serialNumber, 12345);
    EXPECT_EQ(id.rateFound, 38400u);
    EXPECT_EQ(id.month, 7);
    EXPECT_EQ(id.year, 2011);
    EXPECT_EQ(id.firmwareDate, "Jun 20 2011");
    EXPECT_EQ(id.firmwareTime, "09:15:48");
    EXPECT_EQ(id.firmwareType, 3);
    EXPECT_EQ(id.firmwareVersion, 6);
    EXPECT_EQ(id.reprogrammings, 5u);
}

// An identity reply too short for its fields: the texts were read, the
// fields were not, and nothing claims a version it was not told.
TEST(RunFactsTest, FirmwareWithoutItsIdentityFieldsLeavesThemUnread) {
    RunFacts facts;
    facts.OnInstrumentFound(kFound);
    facts.OnFirmwareRead({"Jun 20 2011", "09:15:48", false, 9, 9, 9});
    EXPECT_FALSE(facts.InstrumentIdentity().firmwareType);
    EXPECT_EQ(facts.InstrumentIdentity().firmwareVersion, 0);
    EXPECT_EQ(facts.InstrumentIdentity().firmwareDate, "Jun 20 2011");
}

TEST(RunFactsTest, HoldsTheDecisionTheConclusionAndTheFiguresOfSearchAndUpdateApart) {
    RunFacts facts;
    EXPECT_FALSE(facts.Decision());
    EXPECT_FALSE(facts.Conclusion());
    const std::vector<std::uint8_t> bad{0xFE, 0x4A, 0, 0, 0};
    facts.OnChecksumFailed(bad);  // still searching
    EXPECT_FALSE(facts.UpdateStarted());
    facts.OnLogLine("Зирон-7 найден. Скорость 19200");
    EXPECT_TRUE(facts.UpdateStarted());
    facts.OnChecksumFailed(bad);
    facts.OnChecksumFailed(bad);
    facts.OnRequestRepeated();
    facts.OnUpdateDecided(UpdateDecision::VerifySameDate);
    facts.OnVerification(false);
    facts.OnVerification(true);
    facts.OnUpdateConcluded(UpdateConclusion::CannotLeaveLoader);
    EXPECT_EQ(facts.Decision(), UpdateDecision::VerifySameDate);
    EXPECT_EQ(facts.Conclusion(), UpdateConclusion::CannotLeaveLoader);
    const RunFacts::Counts& counts = facts.RunCounts();
    EXPECT_EQ(counts.searchChecksumFailures, 1u);
    EXPECT_EQ(counts.updateChecksumFailures, 2u);
    EXPECT_EQ(counts.repeatedRequests, 1u);
    EXPECT_EQ(counts.verificationFailures, 1u);
    EXPECT_EQ(counts.verificationPasses, 1u);
}

// Each listener hears every event, in the order given: the log that
// follows the facts finds them up to date.
TEST(SessionEventsFanOutTest, EveryListenerHearsEachEventInTurn) {
    struct Order final : SessionEvents {
        Order(std::vector<int>& heard, int name, const RunFacts* facts)
            : m_heard(heard), m_name(name), m_facts(facts) {}
        void OnInstrumentFound(const FoundInstrument&) override {
            // The facts before it have already taken the instrument.
            m_heard.push_back(m_facts != nullptr && m_facts->InstrumentIdentity().serialNumber ? -m_name
                                                                                               : m_name);
        }
        void OnUpdateEnded(int result, bool) override { m_heard.push_back(100 * m_name + result); }
        std::vector<int>& m_heard;
        int m_name;
        const RunFacts* m_facts;
    };
    std::vector<int> heard;
    RunFacts facts;
    Order first(heard, 1, nullptr);
    Order second(heard, 2, &facts);
    SessionEventsFanOut run{&first, &facts, &second};
    run.OnInstrumentFound(kFound);
    run.OnUpdateEnded(5, false);
    EXPECT_THAT(heard, testing::ElementsAre(1, -2, 105, 205));
    EXPECT_EQ(facts.InstrumentIdentity().serialNumber, 12345);
}

}  // namespace
