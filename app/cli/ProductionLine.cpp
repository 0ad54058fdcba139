#include "ProductionLine.h"

#include <algorithm>
#include <array>
#include <cstdio>

#include "CliLanguage.h"

namespace {

constexpr std::size_t kColumns = 5;
constexpr const char* kColumnGap = "  ";
constexpr const char* kUnknown = "?";  // one side of the firmware not known
constexpr const char* kNothing = "-";  // nothing known
constexpr double kMsPerSecond = 1000.0;

using Cells = std::array<std::string, kColumns>;

// Characters as a terminal counts them: UTF-8 continuation bytes take no place.
std::size_t Width(const std::string& text) {
    return static_cast<std::size_t>(
        std::count_if(text.begin(), text.end(), [](char c) { return (static_cast<unsigned char>(c) & 0xC0) != 0x80; }));
}

std::string FirmwareText(const std::optional<FirmwareState>& state) {
    return state ? std::to_string(state->version) + " " + state->buildTime : kUnknown;
}

std::string ChangeText(const FirmwareChange& change) {
    if (!change.before && !change.after) {
        return kNothing;
    }
    return FirmwareText(change.before) + " -> " + FirmwareText(change.after);
}

std::string Seconds(std::chrono::milliseconds time) {
    char text[32];
    std::snprintf(text, sizeof text, "%.1f", static_cast<double>(time.count()) / kMsPerSecond);
    return text;
}

Cells CellsOf(const InstrumentRow& row) {
    return {row.port, row.serialNumber ? std::to_string(*row.serialNumber) : kNothing,
            ChangeText(row.firmware), std::string(OutcomeText(row.outcome)), Seconds(row.wallTime)};
}

}  // namespace

std::string ProductionLineTable(const std::vector<InstrumentRow>& rows) {
    std::vector<Cells> lines;
    lines.push_back({std::string(Say("port", "порт")), std::string(Say("serial number", "серийный номер")),
                     std::string(Say("firmware before -> after", "микропрограмма до -> после")),
                     std::string(Say("outcome", "исход")), std::string(Say("seconds", "секунд"))});
    for (const InstrumentRow& row : rows) {
        lines.push_back(CellsOf(row));
    }
    std::array<std::size_t, kColumns> widths{};
    for (const Cells& cells : lines) {
        for (std::size_t column = 0; column < kColumns; ++column) {
            widths[column] = std::max(widths[column], Width(cells[column]));
        }
    }
    std::string table;
    for (const Cells& cells : lines) {
        for (std::size_t column = 0; column < kColumns; ++column) {
            const std::string padding(widths[column] - Width(cells[column]), ' ');
            const bool last = column + 1 == kColumns;
            // The seconds stand right-aligned, every other column left.
            table += last ? padding + cells[column] : cells[column] + padding + kColumnGap;
        }
        table += '\n';
    }
    return table;
}

bool NoInstrumentThere(Outcome outcome) {
    switch (outcome) {
        case Outcome::PortMissing:
        case Outcome::NoAccess:
        case Outcome::PortBusy:
        case Outcome::PortFailed:
        case Outcome::NoInstrument:
        case Outcome::ForeignDevice:
        case Outcome::OwnEcho:
            return true;
        default:
            return false;
    }
}

int ProductionLineExitCode(const std::vector<InstrumentRow>& rows, bool everyPortPresent) {
    int worst = kExitSuccess;
    bool anyInstrument = false;
    for (const InstrumentRow& row : rows) {
        if (everyPortPresent && NoInstrumentThere(row.outcome)) {
            continue;
        }
        anyInstrument = true;
        worst = std::max(worst, row.exitCode);
    }
    return anyInstrument ? worst : kExitNotFound;
}
