// The command line of ziron7-cli: what each subcommand takes, and every
// way a command line can be wrong, which must end with exit code 2 before
// anything is opened.
#include <gtest/gtest.h>

#include "CliCommand.h"
#include "CliLanguage.h"

namespace {

CliParse Parse(std::vector<std::string_view> arguments) {
    return ParseCliArguments(arguments);
}

std::vector<PortArgument> Ports(std::vector<int> numbers) {
    std::vector<PortArgument> ports;
    for (const int number : numbers) {
        ports.push_back({number, {}});
    }
    return ports;
}

TEST(CliCommand, UpdateTakesOnePortTheAnswerTheImageAndJson) {
    const CliParse parse =
        Parse({"update", "--port", "COM7", "--yes", "--image", "new.bin", "--json"});
    ASSERT_TRUE(parse.command) << parse.error;
    EXPECT_EQ(parse.command->subcommand, CliSubcommand::Update);
    EXPECT_EQ(parse.command->ports, Ports({7}));
    EXPECT_TRUE(parse.command->yes);
    EXPECT_TRUE(parse.command->json);
    EXPECT_EQ(parse.command->imageFile, "new.bin");
}

TEST(CliCommand, WithoutYesTheQuestionIsAnsweredNo) {
    const CliParse parse = Parse({"update", "--port", "1"});
    ASSERT_TRUE(parse.command) << parse.error;
    EXPECT_FALSE(parse.command->yes);
    EXPECT_FALSE(parse.command->json);
    EXPECT_FALSE(parse.command->imageFile);
}

TEST(CliCommand, PortsAreNamedAsTheDialogListsThemByNumberOrAsTheSystemDoes) {
    for (const std::string_view port : {"COM12", "com12", "Com12", "12", "\\\\.\\COM12", "\\\\.\\com12"}) {
        const CliParse parse = Parse({"verify", "--port", port});
        ASSERT_TRUE(parse.command) << port << ": " << parse.error;
        EXPECT_EQ(parse.command->ports, Ports({12})) << port;
    }
    EXPECT_EQ(Parse({"verify", "--port", "COM255"}).command->ports, Ports({255}));
}

TEST(CliCommand, ADevicePathIsKeptForItsPortToBeFound) {
    for (const std::string_view device : {"/dev/ttyUSB0", "/dev/serial/by-id/usb-FTDI_A1-if00-port0",
                                          "ttys/one", "\\\\?\\usb#vid_0403"}) {
        const CliParse parse = Parse({"update", "--port", device});
        ASSERT_TRUE(parse.command) << device << ": " << parse.error;
        EXPECT_EQ(parse.command->ports, (std::vector<PortArgument>{{0, std::string(device)}}));
    }
}

TEST(CliCommand, AnOptionsValueMayFollowAnEqualsSign) {
    const CliParse parse = Parse({"update", "--port=COM1", "--image=a=b.bin"});
    ASSERT_TRUE(parse.command) << parse.error;
    EXPECT_EQ(parse.command->ports, Ports({1}));
    EXPECT_EQ(parse.command->imageFile, "a=b.bin");
    EXPECT_EQ(Parse({"update", "--port=/dev/ttyACM0"}).command->ports,
              (std::vector<PortArgument>{{0, "/dev/ttyACM0"}}));
    const CliParse flag = Parse({"update", "--port", "1", "--json=yes"});
    EXPECT_FALSE(flag.command);
    EXPECT_NE(flag.error.find("'--json' takes no value"), std::string::npos) << flag.error;
    EXPECT_FALSE(Parse({"update", "--port="}).command);
}

TEST(CliCommand, EveryRunningCommandTakesJsonQuietAndVerbose) {
    for (const std::string_view subcommand : {"ports", "find", "update", "verify", "diagnose"}) {
        std::vector<std::string_view> arguments = {subcommand, "--json", "-q"};
        if (subcommand == "update" || subcommand == "verify" || subcommand == "diagnose") {
            arguments.insert(arguments.end(), {"--port", "1"});
        }
        const CliParse quiet = Parse(arguments);
        ASSERT_TRUE(quiet.command) << subcommand << ": " << quiet.error;
        EXPECT_TRUE(quiet.command->json);
        EXPECT_EQ(quiet.command->verbosity, Verbosity::Quiet);
        arguments[2] = "--verbose";
        EXPECT_EQ(Parse(arguments).command->verbosity, Verbosity::Verbose) << subcommand;
    }
}

TEST(CliCommand, FindTakesAnyNumberOfPortsInOrderAndInfo) {
    const CliParse none = Parse({"find"});
    ASSERT_TRUE(none.command);
    EXPECT_TRUE(none.command->ports.empty());
    EXPECT_FALSE(none.command->info);

    const CliParse some = Parse({"find", "--port", "3", "--info", "--port", "COM1"});
    ASSERT_TRUE(some.command) << some.error;
    EXPECT_EQ(some.command->ports, Ports({3, 1}));
    EXPECT_TRUE(some.command->info);
}

TEST(CliCommand, UpdateAndVerifyTakeSeveralPortsOrEveryPortPresent) {
    const CliParse line = Parse({"update", "--port", "3", "--port", "/dev/ttyUSB1", "--port=COM1", "--json"});
    ASSERT_TRUE(line.command) << line.error;
    EXPECT_EQ(line.command->ports, (std::vector<PortArgument>{{3, {}}, {0, "/dev/ttyUSB1"}, {1, {}}}));
    EXPECT_FALSE(line.command->all);

    for (const std::string_view subcommand : {"update", "verify"}) {
        const CliParse all = Parse({subcommand, "--all"});
        ASSERT_TRUE(all.command) << all.error;
        EXPECT_TRUE(all.command->all);
        EXPECT_TRUE(all.command->ports.empty());
    }
}

TEST(CliCommand, HelpAnywhereIsHelp) {
    for (const auto& arguments : std::vector<std::vector<std::string_view>>{
             {"--help"}, {"-h"}, {"help"}, {"update", "--port", "1", "--help"}, {"find", "-h"}}) {
        const CliParse parse = Parse(arguments);
        ASSERT_TRUE(parse.command) << arguments[0];
        EXPECT_EQ(parse.command->subcommand, CliSubcommand::Help);
    }
}

TEST(CliCommand, PortsTakesNothing) {
    EXPECT_EQ(Parse({"ports"}).command->subcommand, CliSubcommand::Ports);
    EXPECT_FALSE(Parse({"ports", "--port", "1"}).command);
}

TEST(CliCommand, WrongCommandLinesAreRefusedWithTheReason) {
    struct Case {
        std::vector<std::string_view> arguments;
        const char* reason;
    };
    const Case cases[] = {
        {{}, "no subcommand"},
        {{"flash"}, "unknown subcommand 'flash'"},
        {{"update"}, "one or more --port, or --all"},
        {{"verify"}, "one or more --port, or --all"},
        {{"update", "--all", "--port", "1"}, "one or more --port, or --all"},
        {{"update", "--port", "1", "--port", "COM1"}, "names the port 'COM1' twice"},
        {{"verify", "--port", "/dev/ttyUSB0", "--port", "/dev/ttyUSB0"}, "names the port '/dev/ttyUSB0' twice"},
        {{"find", "--all"}, "'--all' is not an option of 'find'"},
        {{"diagnose", "--all"}, "'--all' is not an option of 'diagnose'"},
        {{"diagnose"}, "exactly one --port"},
        {{"diagnose", "--port", "1", "--port", "2"}, "exactly one --port"},
        {{"diagnose", "--port", "1", "--image", "a.bin"}, "'--image' is not an option of 'diagnose'"},
        {{"diagnose", "--port", "1", "--yes"}, "'--yes' is not an option of 'diagnose'"},
        {{"update", "--port"}, "--port needs a port"},
        {{"update", "--port", "COM0"}, "not a port COM1 to COM255"},
        {{"update", "--port", "256"}, "not a port COM1 to COM255"},
        {{"update", "--port", "COM"}, "not a port COM1 to COM255"},
        {{"update", "--port", "ttyUSB0"}, "not a port COM1 to COM255 nor a device path"},
        {{"update", "--port", "3x"}, "not a port COM1 to COM255"},
        {{"update", "--port", "1", "--image"}, "--image needs a file"},
        {{"update", "--port", "1", "--image", ""}, "--image needs a file"},
        {{"verify", "--port", "1", "--yes"}, "'--yes' is not an option of 'verify'"},
        {{"update", "--port", "1", "--info"}, "'--info' is not an option of 'update'"},
        {{"help", "--json"}, "'--json' is not an option of 'help'"},
        {{"find", "--image", "a.bin"}, "'--image' is not an option of 'find'"},
        {{"update", "--port", "1", "extra"}, "'extra' is not an option of 'update'"},
    };
    for (const Case& wrong : cases) {
        const CliParse parse = Parse(wrong.arguments);
        EXPECT_FALSE(parse.command);
        EXPECT_NE(parse.error.find(wrong.reason), std::string::npos)
            << "got: " << parse.error << "; wanted: " << wrong.reason;
    }
}

TEST(CliCommand, AWrongCommandLineStillSaysItsSubcommandAndWhetherItAskedForJson) {
    const CliParse named = Parse({"update", "--port", "1", "--bogus", "--json"});
    ASSERT_FALSE(named.command);
    EXPECT_EQ(named.subcommand, CliSubcommand::Update);
    EXPECT_TRUE(named.json);

    const CliParse unknown = Parse({"flash", "--json"});
    EXPECT_FALSE(unknown.subcommand);
    EXPECT_TRUE(unknown.json);

    // --json attached to another option is no request for JSON.
    const CliParse attached = Parse({"verify", "--json=yes"});
    EXPECT_EQ(attached.subcommand, CliSubcommand::Verify);
    EXPECT_FALSE(attached.json);
}

TEST(CliCommand, FastPacingIsAnOptionOfTheUpdateOnly) {
    const CliParse parse = Parse({"update", "--port", "1", "--fast"});
    ASSERT_TRUE(parse.command) << parse.error;
    EXPECT_TRUE(parse.command->fast);
    EXPECT_FALSE(Parse({"update", "--port", "1"}).command->fast);
    EXPECT_FALSE(Parse({"verify", "--port", "1", "--fast"}).command);
}

TEST(CliCommand, VersionFirstOrAmongTheOptionsIsTheVersion) {
    for (const auto& arguments : std::vector<std::vector<std::string_view>>{
             {"--version"}, {"update", "--port", "1", "--version"}, {"find", "--version", "--info"}}) {
        const CliParse parse = Parse(arguments);
        ASSERT_TRUE(parse.command) << arguments[0] << ": " << parse.error;
        EXPECT_EQ(parse.command->subcommand, CliSubcommand::Version) << arguments[0];
    }
}

TEST(CliCommand, HelpSaysWhichImageFilesCanBeUsed) {
    // 65,280 bytes and more cannot be verified: the limit is said up front.
    const std::string help = CliHelpText();
    EXPECT_NE(help.find("165 to 65279 bytes"), std::string::npos) << help;
}

TEST(CliCommand, HelpNamesEveryExitCode) {
    const std::string help = CliHelpText();
    for (const char* code : {"\n  0 ", "\n  1 ", "\n  2 ", "\n  3 ", "\n  4 ", "\n  5 ", "\n  6 ",
                             "\n  130 ", "\n  143 "}) {
        EXPECT_NE(help.find(code), std::string::npos) << code;
    }
}

}  // namespace

namespace {

// The language of the program's own words is set once per run; a test
// that changes it puts English back.
class InRussian : public ::testing::Test {
protected:
    void SetUp() override { SetCliLanguage(CliLanguage::Russian); }
    void TearDown() override { SetCliLanguage(CliLanguage::English); }
};

TEST_F(InRussian, HelpAndErrorsSpeakOneLanguage) {
    const std::string help = CliHelpText();
    EXPECT_NE(help.find("коды выхода:"), std::string::npos);
    EXPECT_NE(help.find("165 до 65279 байт"), std::string::npos) << help;
    for (const char* english : {"usage", "exit codes", "searches", "bytes", "the "}) {
        EXPECT_EQ(help.find(english), std::string::npos) << english;
    }
    EXPECT_EQ(Parse({"update"}).error, "update требует один или несколько --port или --all");
}

TEST(CliLanguage, TheFirstLocaleVariableSetDecides) {
    EXPECT_EQ(LanguageOfLocale(nullptr, nullptr, "ru_RU.UTF-8"), CliLanguage::Russian);
    EXPECT_EQ(LanguageOfLocale("C.UTF-8", nullptr, "ru_RU.UTF-8"), CliLanguage::English);
    EXPECT_EQ(LanguageOfLocale("", "ru_UA", "en_GB.UTF-8"), CliLanguage::Russian);
    EXPECT_EQ(LanguageOfLocale(nullptr, nullptr, "ru"), CliLanguage::Russian);
    EXPECT_EQ(LanguageOfLocale(nullptr, nullptr, "rue_UA"), CliLanguage::English);
    EXPECT_EQ(LanguageOfLocale(nullptr, nullptr, nullptr), CliLanguage::English);
}

}  // namespace
