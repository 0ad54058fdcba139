// The head of every JSON object ziron7-cli prints: the schema's version
// first, so that a script can tell which members to expect, then the
// subcommand it answers and its outcome as a code and a text. The version
// changes whenever a member is renamed, removed or changes its meaning;
// new members do not change it.
#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

#include "CliCommand.h"
#include "JsonText.h"
#include "RunOutcome.h"

inline constexpr std::uint64_t kResultSchemaVersion = 1;

// The subcommand as the result names it; none for help and --version,
// which answer with no result.
inline std::optional<std::string_view> CommandName(CliSubcommand subcommand) {
    switch (subcommand) {
        case CliSubcommand::Ports:
            return "ports";
        case CliSubcommand::Find:
            return "find";
        case CliSubcommand::Update:
            return "update";
        case CliSubcommand::Verify:
            return "verify";
        case CliSubcommand::Diagnose:
            return "diagnose";
        case CliSubcommand::Help:
        case CliSubcommand::Version:
            break;
    }
    return std::nullopt;
}

// `command` is null only for a command line that names no subcommand.
inline JsonObject ResultHead(std::optional<std::string_view> command, Outcome outcome) {
    JsonObject result;
    result.Number("schema", kResultSchemaVersion);
    if (command) {
        result.Text("command", *command);
    } else {
        result.Null("command");
    }
    result.Text("code", OutcomeCode(outcome));
    result.Text("text", OutcomeText(outcome));
    return result;
}
