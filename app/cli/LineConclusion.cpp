#include "LineConclusion.h"

#include <chrono>

#include "CliLanguage.h"
#include "CommandSet.h"

namespace {

std::string Words(std::string_view english, std::string_view russian) {
    return std::string(Say(english, russian));
}

std::string Ms(std::chrono::microseconds time) {
    return std::to_string(std::chrono::duration_cast<std::chrono::milliseconds>(time).count()) +
           Words(" ms", " мс");
}

std::string AtRate(const LineSummary& summary) {
    if (!summary.decisive) {
        return {};
    }
    return Words(" at ", " на скорости ") + std::to_string(summary.decisive->baudRate) +
           Words(" baud", " бод");
}

std::string VerdictText(const LineSummary& summary) {
    const std::optional<RateFinding>& rate = summary.decisive;
    switch (summary.verdict) {
        case LineVerdict::Found:
            return Words("a Зирон-7 answers", "отвечает Зирон-7") + AtRate(summary) +
                   (rate && rate->identity ? Words(" (serial number ", " (серийный номер ") +
                                                 std::to_string(rate->identity->serialNumber) + ")"
                                           : std::string()) +
                   Words(": the search finds it on this port", ": поиск находит его на этом порту");
        case LineVerdict::ForeignDevice:
            if (rate && rate->identity) {
                return Words("a device of type ", "отвечает устройство типа ") +
                       std::to_string(rate->identity->deviceType) + Words(" answers", "") +
                       AtRate(summary) + Words(", not a Зирон-7 (type ", ", а не Зирон-7 (тип ") +
                       std::to_string(kZiron7DeviceType) +
                       Words("): this port leads to another device",
                             "): этот порт ведёт к другому устройству");
            }
            return Words("a device of another type or protocol answers",
                         "отвечает устройство другого типа или протокола") +
                   AtRate(summary) +
                   Words(": this port leads to another device, not a Зирон-7",
                         ": этот порт ведёт к другому устройству, а не к Зирон-7");
        case LineVerdict::OwnEcho:
            return Words(
                "only our own bytes come back: a loopback plug or an echoing adapter "
                "with no instrument answering behind it; check that the Зирон-7 is "
                "connected and switched on",
                "возвращаются только наши собственные байты: заглушка-петля или "
                "адаптер с эхом, за которым не отвечает прибор; проверьте, что Зирон-7 "
                "подключён и включён");
        case LineVerdict::Garbled:
            return Words("bytes come back", "возвращаются байты") + AtRate(summary) +
                   Words(
                       " but never form a frame: a device with other line settings, or a "
                       "noisy line",
                       ", но не складываются в кадр: устройство с другими настройками линии "
                       "или помехи на линии");
        case LineVerdict::NoAnswer:
            break;
    }
    return Words(
        "nothing comes back at any of the six rates: check the cable, that the "
        "Зирон-7 is switched on, and that this is its port",
        "ни на одной из шести скоростей ничего не возвращается: проверьте кабель, "
        "что Зирон-7 включён и что это его порт");
}

// Why replies come late, and what lowers it where the system has a setting.
std::string HeldText(std::chrono::microseconds held, const PortDevice& device) {
    std::string text = Words("; replies come ", "; ответы приходят с задержкой ") + Ms(held) +
                       Words(" late, held as a USB serial adapter's latency timer holds them",
                             ", как их задерживает таймер задержки USB-адаптера");
    if (device.latencyTimerSetting.empty()) {
        return text;
    }
    if (device.latencyTimerMs) {
        text += Words(" (set to ", " (сейчас ") + std::to_string(*device.latencyTimerMs) +
                Words(" ms)", " мс)");
    }
    return text + Words("; echo 1 | sudo tee ", "; его уменьшает echo 1 | sudo tee ") +
           device.latencyTimerSetting + Words(" lowers it", "");
}

}  // namespace

std::string LineConclusionText(const LineSummary& summary, const PortDevice& device) {
    std::string text = VerdictText(summary);
    if (summary.heldFor) {
        text += HeldText(*summary.heldFor, device);
    }
    return text;
}

std::string PortFailureConclusionText(Outcome outcome, const std::string& portName,
                                      const std::string& deviceName, const PortDevice& device) {
    const std::string port = deviceName.empty() ? portName : deviceName;
    switch (outcome) {
        case Outcome::NoAccess: {
            // The serial devices' usual group, when the device tells none.
            const std::string group = device.group.empty() ? "dialout" : device.group;
            return Words("this user may not open ", "у пользователя нет прав на ") + port +
                   Words(": join the group ", ": вступите в группу ") + group +
                   " (sudo usermod -aG " + group + " $USER)" +
                   Words(", then log in again", " и войдите в систему заново");
        }
        case Outcome::PortBusy: {
            std::string holders;
            for (const std::string& holder : device.holders) {
                holders += (holders.empty() ? "" : ", ") + holder;
            }
            return Words("another program holds ", "порт ") + port +
                   (holders.empty() ? Words("", " занят другой программой")
                                    : Words(": ", " занят: ") + holders) +
                   Words("; close it and try again", "; закройте её и попробуйте снова");
        }
        case Outcome::PortMissing:
            return Words("no device stands behind ", "за портом ") + portName +
                   Words(
                       ": check that the adapter is plugged in (ziron7-cli ports lists the "
                       "ports present)",
                       " нет устройства: проверьте, что адаптер подключён (ziron7-cli ports "
                       "перечисляет имеющиеся порты)");
        default:
            break;
    }
    return port + Words(" does not open", " не открывается");
}
