// What a command line that makes no command answers a script that asked
// for --json: one result object like every other end of a run, the code
// bad_usage with the reason as its detail, so that the script reads its
// answer the same way whatever went wrong.
#pragma once

#include <optional>
#include <string_view>

#include "CliCommand.h"
#include "JsonText.h"

// `subcommand` is the one the command line names, if any.
JsonObject BadUsageJson(std::optional<CliSubcommand> subcommand, std::string_view reason);
