// The registered ports of simulated worlds, by name.
#include <algorithm>
#include <cctype>
#include <map>
#include <memory>
#include <string>

#include "line_settings.h"
#include "simulated_comm_port.h"
#include "winapi_errors.h"

namespace {

constexpr std::string_view kDevicePrefix = "\\\\.\\";

// "\\.\com1" and "COM1" name the same port.
std::string PortKey(std::string_view name) {
    if (name.starts_with(kDevicePrefix)) {
        name.remove_prefix(kDevicePrefix.size());
    }
    std::string key(name);
    std::transform(key.begin(), key.end(), key.begin(),
                   [](unsigned char c) { return static_cast<char>(std::toupper(c)); });
    return key;
}

std::map<std::string, std::unique_ptr<SimulatedLineEntry>>& Lines() {
    static std::map<std::string, std::unique_ptr<SimulatedLineEntry>> lines;
    return lines;
}

}  // namespace

SimulatedLineEntry::SimulatedLineEntry(SimulatedFarEnd& farEnd, SimulatedPortFaults faults)
    : farEnd_(&farEnd), faults_(std::move(faults)), state_(DefaultDcb()) {}

SimulatedLineEntry::~SimulatedLineEntry() {
    if (port_ != nullptr) {
        port_->Detach();
    }
}

void SimulatedLineEntry::Send(std::span<const TimedByte> bytes) {
    if (port_ != nullptr) {
        port_->Arrive(bytes);
    }
}

DWORD SimulatedLineEntry::ListeningRate() const {
    return port_ != nullptr ? port_->Rate() : 0;
}

void SimulatedLineEntry::Pull() {
    pulled_ = true;
    if (port_ != nullptr) {
        port_->LoseLine(ERROR_GEN_FAILURE);
    }
}

void SimulatedLineEntry::Leave(const DCB& state, const COMMTIMEOUTS& timeouts) {
    state_ = state;
    timeouts_ = timeouts;
    port_ = nullptr;
}

SimulatedLine& RegisterSimulatedPort(const std::string& name, SimulatedFarEnd& farEnd,
                                     const SimulatedPortFaults& faults) {
    auto& entry = Lines()[PortKey(name)];
    entry = std::make_unique<SimulatedLineEntry>(farEnd, faults);
    return *entry;
}

void UnregisterSimulatedPort(const std::string& name) {
    Lines().erase(PortKey(name));
}

std::optional<DWORD> OpenSimulatedPort(const char* name, bool overlapped,
                                       std::shared_ptr<CommDevice>& port) {
    SimulatedClock* world = SimulatedClock::Installed();
    if (world == nullptr) {
        return std::nullopt;
    }
    const auto found = Lines().find(PortKey(name));
    if (found == Lines().end()) {
        return std::nullopt;
    }
    SimulatedLineEntry& line = *found->second;
    if (line.InUse()) {
        return ERROR_ACCESS_DENIED;  // a COM port has one user
    }
    if (line.Pulled()) {
        return ERROR_FILE_NOT_FOUND;  // the adapter is gone
    }
    auto opened = std::make_shared<SimulatedCommPort>(*world, line, overlapped,
                                                      line.RememberedState(),
                                                      line.RememberedTimeouts());
    opened->Preload(line.Faults().staleInput);
    line.Attach(*opened);
    port = std::move(opened);
    return ERROR_SUCCESS;
}
