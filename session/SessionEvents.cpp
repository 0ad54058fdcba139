#include "SessionEvents.h"

namespace {

// Ignores every report: the state of a run without a session log.
class SilentSession final : public SessionEvents {};

SilentSession g_silent;
// Each thread that runs dialogs reports to a listener of its own: the
// console program updates several instruments at once, one thread and one
// session log per port.
thread_local SessionEvents* g_current = &g_silent;

}  // namespace

void SessionEvents::OnPortOpened(std::string_view) {}
void SessionEvents::OnImageFile(std::string_view, std::string_view) {}
void SessionEvents::OnEmbeddedImage(std::string_view) {}
void SessionEvents::OnLineConfigured(std::uint32_t) {}
void SessionEvents::OnFrameSent(std::span<const std::uint8_t>) {}
void SessionEvents::OnFrameReceived(std::span<const std::uint8_t>) {}
void SessionEvents::OnChecksumFailed(std::span<const std::uint8_t>) {}
void SessionEvents::OnLogLine(std::string_view) {}
void SessionEvents::OnMessageBox(std::string_view) {}
void SessionEvents::OnInstrumentFound(const FoundInstrument&) {}
void SessionEvents::OnFirmwareRead(const HeldFirmware&) {}
void SessionEvents::OnUpdateDecided(UpdateDecision) {}
void SessionEvents::OnUpdateConcluded(UpdateConclusion) {}
void SessionEvents::OnRequestRepeated() {}
void SessionEvents::OnVerification(bool) {}
void SessionEvents::OnUpdateEnded(int, bool) {}
void SessionEvents::OnLineConclusion(std::string_view, std::string_view) {}

SessionEvents& CurrentSession() {
    return *g_current;
}

SessionEventsScope::SessionEventsScope(SessionEvents& listener) : m_previous(g_current) {
    g_current = &listener;
}

SessionEventsScope::~SessionEventsScope() {
    g_current = m_previous;
}
