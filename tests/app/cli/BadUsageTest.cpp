// A command line that makes no command, answered in JSON: a result object a
// script reads as it reads any other, with the code bad_usage, exit code 2,
// the reason, and the subcommand only where the command line named one.
#include "BadUsage.h"

#include <gtest/gtest.h>

#include "CliLanguage.h"

namespace {

TEST(BadUsage, TheResultCarriesTheCodeTheExitCodeAndTheReason) {
    const std::string json =
        BadUsageJson(CliSubcommand::Update, "'--bogus' is not an option of 'update'").Render();
    EXPECT_EQ(json,
              "{\"schema\":1,\"command\":\"update\",\"code\":\"bad_usage\","
              "\"text\":\"the command line makes no command\","
              "\"detail\":\"'--bogus' is not an option of 'update'\",\"exit_code\":2}");
}

TEST(BadUsage, ACommandLineThatNamesNoSubcommandHasNoCommand) {
    for (const std::optional<CliSubcommand> subcommand :
         {std::optional<CliSubcommand>{}, std::optional{CliSubcommand::Help},
          std::optional{CliSubcommand::Version}}) {
        const std::string json = BadUsageJson(subcommand, "unknown subcommand 'flash'").Render();
        EXPECT_NE(json.find("\"command\":null,\"code\":\"bad_usage\""), std::string::npos) << json;
    }
}

TEST(BadUsage, TheTextFollowsTheLanguageAndTheCodeDoesNot) {
    SetCliLanguage(CliLanguage::Russian);
    const std::string json = BadUsageJson(CliSubcommand::Diagnose, "требует ровно один --port").Render();
    SetCliLanguage(CliLanguage::English);
    EXPECT_NE(json.find("\"command\":\"diagnose\",\"code\":\"bad_usage\","
                        "\"text\":\"командная строка не составляет команды\""),
              std::string::npos)
        << json;
}

}  // namespace
