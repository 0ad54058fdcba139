#include "BadUsage.h"

#include "ResultSchema.h"

JsonObject BadUsageJson(std::optional<CliSubcommand> subcommand, std::string_view reason) {
    JsonObject result =
        ResultHead(subcommand ? CommandName(*subcommand) : std::nullopt, Outcome::BadUsage);
    result.Text("detail", reason);
    result.Number("exit_code", static_cast<std::uint64_t>(ExitCodeOf(Outcome::BadUsage)));
    return result;
}
