// The head of every JSON object ziron7-cli prints: the schema's version
// first, so that a script can tell which members to expect, then the
// subcommand it answers and its outcome as a code and a text. The version
// changes whenever a member is renamed, removed or changes its meaning;
// new members do not change it.
#pragma once

#include <cstdint>
#include <string_view>

#include "CliCommand.h"
#include "JsonText.h"
#include "RunOutcome.h"

inline constexpr std::uint64_t kResultSchemaVersion = 1;

// The subcommand as the result names it.
inline const char* CommandName(CliSubcommand subcommand) {
    switch (subcommand) {
        case CliSubcommand::Find:
            return "find";
        case CliSubcommand::Verify:
            return "verify";
        default:
            return "update";
    }
}

inline JsonObject ResultHead(std::string_view command, Outcome outcome) {
    JsonObject result;
    result.Number("schema", kResultSchemaVersion);
    result.Text("command", command);
    result.Text("code", OutcomeCode(outcome));
    result.Text("text", OutcomeText(outcome));
    return result;
}
