#include "DiagnosisReport.h"

#include <chrono>

#include "CliLanguage.h"
#include "FormatText.h"
#include "LineConclusion.h"
#include "PortOpenOutcome.h"
#include "ResultSchema.h"

namespace {

using std::chrono::microseconds;

std::string Words(std::string_view english, std::string_view russian) {
    return std::string(Say(english, russian));
}

std::uint64_t WholeMs(microseconds time) {
    return static_cast<std::uint64_t>(
        std::chrono::duration_cast<std::chrono::milliseconds>(time).count());
}

std::string PortLabel(const DiagnosedPort& port) {
    const std::string& device = port.named.empty() ? port.device : port.named;
    if (port.name.empty() || device.empty()) {
        return port.name + device;
    }
    return port.name + " (" + device + ")";
}

std::string AnswerText(const RateFinding& rate) {
    const std::string requests = std::to_string(kDiagnosisRequestsPerRate);
    switch (rate.answer) {
        case RateAnswer::Nothing:
            return Words("nothing came back", "ничего не вернулось");
        case RateAnswer::Garbage:
            return std::to_string(rate.bytesReceived) +
                   Words(" bytes that never formed a frame", " байт, не сложившихся в кадр");
        case RateAnswer::OwnEcho: {
            std::string text =
                Words("our own bytes came back (", "вернулись наши собственные байты (") +
                std::to_string(rate.ownEchoes + rate.lateEchoes) + Words(" of ", " из ") +
                requests + Words(" requests", " запросов");
            if (rate.lateEchoes > 0) {
                text.append(", ").append(std::to_string(rate.lateEchoes));
                text += Words(
                    " later than an echo may come, held by the adapter or the PC",
                    " позже, чем может прийти эхо: их задержал адаптер или компьютер");
            }
            return text + ")";
        }
        case RateAnswer::AnotherDevice:
            if (rate.identity) {
                return Words("a device of type ", "устройство типа ") +
                       std::to_string(rate.identity->deviceType) +
                       Words(", not a Зирон-7", ", не Зирон-7");
            }
            return Words("frames of another protocol (command ",
                         "кадры другого протокола (команда ") +
                   FormatText("0x%02X", rate.command.value_or(0)) + ")";
        case RateAnswer::Ziron7:
            break;
    }
    return Words("a Зирон-7, serial number ", "Зирон-7, серийный номер ") +
           std::to_string(rate.identity ? rate.identity->serialNumber : 0) +
           (rate.ownEchoes > 0
                ? Words(", behind our own bytes coming back", ", за нашими вернувшимися байтами")
                : std::string());
}

std::string TimingText(const ReplyTiming& timing) {
    if (timing.replies == 0) {
        return {};
    }
    std::string text = "; ";
    text += std::to_string(WholeMs(timing.leastLate));
    if (WholeMs(timing.mostLate) != WholeMs(timing.leastLate)) {
        text.append("-").append(std::to_string(WholeMs(timing.mostLate)));
    }
    if (timing.mostPieces == 1) {
        return text + Words(" ms late, in one piece", " мс задержки, одной частью");
    }
    return text + Words(" ms late, in up to ", " мс задержки, до ") +
           std::to_string(timing.mostPieces) +
           Words(" pieces, gaps up to ", " частей, промежутки до ") +
           std::to_string(WholeMs(timing.largestGap)) + Words(" ms", " мс");
}

JsonObject TimingJson(const ReplyTiming& timing) {
    JsonObject json;
    json.Number("replies", timing.replies);
    json.Number("least_late_ms", WholeMs(timing.leastLate));
    json.Number("most_late_ms", WholeMs(timing.mostLate));
    json.Number("typical_late_ms", WholeMs(timing.typicalLate));
    json.Number("most_pieces", timing.mostPieces);
    json.Number("largest_gap_ms", WholeMs(timing.largestGap));
    return json;
}

JsonObject RateJson(const RateFinding& rate) {
    JsonObject json;
    json.Number("rate", static_cast<std::uint64_t>(rate.baudRate));
    json.Text("answer", RateAnswerCode(rate.answer));
    json.Number("bytes", rate.bytesReceived);
    json.Number("own_echoes", rate.ownEchoes);
    json.Number("late_echoes", rate.lateEchoes);
    json.Number("frames", rate.replyFrames);
    if (rate.command) {
        json.Number("command", *rate.command);
    } else {
        json.Null("command");
    }
    if (rate.identity) {
        json.Number("device_type", rate.identity->deviceType);
        json.Number("serial_number", rate.identity->serialNumber);
    } else {
        json.Null("device_type");
        json.Null("serial_number");
    }
    json.Object("timing", TimingJson(rate.timing));
    return json;
}

std::string ConclusionCode(const LineDiagnosis& diagnosis) {
    if (diagnosis.openResult != 0) {
        return std::string(OutcomeCode(PortOpenOutcome(diagnosis.openResult)));
    }
    return std::string(VerdictCode(diagnosis.summary.verdict));
}

}  // namespace

Outcome DiagnosisOutcome(const LineDiagnosis& diagnosis) {
    if (diagnosis.openResult != 0) {
        return PortOpenOutcome(diagnosis.openResult);
    }
    switch (diagnosis.summary.verdict) {
        case LineVerdict::Found:
            return Outcome::Found;
        case LineVerdict::ForeignDevice:
            return Outcome::ForeignDevice;
        case LineVerdict::OwnEcho:
            return Outcome::OwnEcho;
        default:
            return Outcome::NoInstrument;
    }
}

std::string DiagnosisConclusion(const LineDiagnosis& diagnosis, const DiagnosedPort& port) {
    if (diagnosis.openResult != 0) {
        return PortFailureConclusionText(PortOpenOutcome(diagnosis.openResult),
                                         port.name.empty() ? port.named : port.name, port.device,
                                         diagnosis.device);
    }
    return LineConclusionText(diagnosis.summary, diagnosis.device);
}

std::string DiagnosisText(const LineDiagnosis& diagnosis, const DiagnosedPort& port) {
    std::string text = PortLabel(port) + ": ";
    if (diagnosis.openResult != 0) {
        const Outcome outcome = PortOpenOutcome(diagnosis.openResult);
        text += Words("the port does not open", "порт не открывается");
        // port_failed has no more to say than that.
        if (outcome != Outcome::PortFailed) {
            text += ": " + std::string(OutcomeText(outcome));
        }
        text += "\n";
    } else {
        text += Words("the port opens\n", "порт открывается\n");
        for (const RateFinding& rate : diagnosis.rates) {
            text += "  " + std::to_string(rate.baudRate) + Words(" baud: ", " бод: ") +
                    AnswerText(rate) + TimingText(rate.timing) + "\n";
        }
    }
    return text + Words("conclusion: ", "вывод: ") + DiagnosisConclusion(diagnosis, port) + "\n";
}

JsonObject DiagnosisJson(const LineDiagnosis& diagnosis, const DiagnosedPort& port) {
    const Outcome outcome = DiagnosisOutcome(diagnosis);
    JsonObject result = ResultHead("diagnose", outcome);
    if (port.name.empty()) {
        result.Null("port");
    } else {
        result.Text("port", port.name);
    }
    // The system's device behind the port, or the one named when no port
    // stands for it.
    const std::string& device = port.device.empty() ? port.named : port.device;
    if (device.empty()) {
        result.Null("device");
    } else {
        result.Text("device", device);
    }
    result.Number("exit_code", static_cast<std::uint64_t>(ExitCodeOf(outcome)));
    if (diagnosis.openResult == 0) {
        result.Null("open_failure");
    } else {
        JsonObject failure;
        failure.Text("code", OutcomeCode(outcome));
        failure.Number("system_code",
                       static_cast<std::uint64_t>(static_cast<DWORD>(diagnosis.openResult)));
        if (diagnosis.device.group.empty()) {
            failure.Null("group");
        } else {
            failure.Text("group", diagnosis.device.group);
        }
        failure.Texts("holders", diagnosis.device.holders);
        result.Object("open_failure", failure);
    }
    std::vector<JsonObject> rates;
    for (const RateFinding& rate : diagnosis.rates) {
        rates.push_back(RateJson(rate));
    }
    result.Objects("rates", rates);
    JsonObject latency;
    if (diagnosis.summary.heldFor) {
        latency.Number("held_ms", WholeMs(*diagnosis.summary.heldFor));
    } else {
        latency.Null("held_ms");
    }
    if (diagnosis.device.latencyTimerSetting.empty()) {
        latency.Null("latency_timer_setting");
    } else {
        latency.Text("latency_timer_setting", diagnosis.device.latencyTimerSetting);
    }
    if (diagnosis.device.latencyTimerMs) {
        latency.Number("latency_timer_ms",
                       static_cast<std::uint64_t>(*diagnosis.device.latencyTimerMs));
    } else {
        latency.Null("latency_timer_ms");
    }
    result.Object("latency", latency);
    JsonObject conclusion;
    conclusion.Text("code", ConclusionCode(diagnosis));
    conclusion.Text("text", DiagnosisConclusion(diagnosis, port));
    result.Object("conclusion", conclusion);
    return result;
}
