#include "PortListing.h"

#include "CliLanguage.h"
#include "JsonText.h"
#include "ResultSchema.h"
#include "RunOutcome.h"

Outcome PortListOutcome(const std::vector<SerialPortEntry>& ports) {
    return ports.empty() ? Outcome::PortMissing : Outcome::Listed;
}

std::string PortListText(const std::vector<SerialPortEntry>& ports) {
    std::string text;
    for (const SerialPortEntry& port : ports) {
        text += "COM" + std::to_string(port.number) + "\t" + port.device + "\t" + port.description + "\n";
        if (!port.usbId.empty()) {
            text += "\tUSB " + port.usbId;
            if (!port.usbSerial.empty()) {
                text.append(Say(", serial number ", ", серийный номер ")).append(port.usbSerial);
            }
            text += "\n";
        }
        for (const std::string& name : port.stableNames) {
            text += "\t" + name + "\n";
        }
    }
    return text;
}

std::string PortListJson(const std::vector<SerialPortEntry>& ports) {
    std::vector<JsonObject> entries;
    for (const SerialPortEntry& port : ports) {
        JsonObject entry;
        entry.Text("port", "COM" + std::to_string(port.number));
        entry.Text("device", port.device);
        entry.Text("description", port.description);
        entry.Texts("stable_names", port.stableNames);
        if (port.usbId.empty()) {
            entry.Null("usb");
        } else {
            JsonObject usb;
            usb.Text("id", port.usbId);
            usb.Text("serial_number", port.usbSerial);
            entry.Object("usb", usb);
        }
        entries.push_back(std::move(entry));
    }
    const Outcome outcome = PortListOutcome(ports);
    JsonObject result = ResultHead("ports", outcome);
    result.Number("exit_code", static_cast<std::uint64_t>(ExitCodeOf(outcome)));
    result.Objects("ports", entries);
    return result.Render() + "\n";
}
