// Passes every event of a run on to several listeners, in the order given:
// one thread has one listener (CurrentSession), and a run may want its
// facts recorded, its log written and, in the simulated runs, its frames
// watched, each by a listener of its own.
#pragma once

#include <initializer_list>
#include <vector>

#include "SessionEvents.h"

class SessionEventsFanOut final : public SessionEvents {
public:
    // None is owned; each outlives this object.
    SessionEventsFanOut(std::initializer_list<SessionEvents*> listeners) : m_listeners(listeners) {}

    void OnPortOpened(std::string_view portName) override { Each(&SessionEvents::OnPortOpened, portName); }
    void OnImageFile(std::string_view path, std::string_view sha256Hex) override {
        Each(&SessionEvents::OnImageFile, path, sha256Hex);
    }
    void OnEmbeddedImage(std::string_view sha256Hex) override {
        Each(&SessionEvents::OnEmbeddedImage, sha256Hex);
    }
    void OnLineConfigured(std::uint32_t baudRate) override {
        Each(&SessionEvents::OnLineConfigured, baudRate);
    }
    void OnFrameSent(std::span<const std::uint8_t> frame) override { Each(&SessionEvents::OnFrameSent, frame); }
    void OnFrameReceived(std::span<const std::uint8_t> frame) override {
        Each(&SessionEvents::OnFrameReceived, frame);
    }
    void OnChecksumFailed(std::span<const std::uint8_t> bytes) override {
        Each(&SessionEvents::OnChecksumFailed, bytes);
    }
    void OnLogLine(std::string_view text) override { Each(&SessionEvents::OnLogLine, text); }
    void OnMessageBox(std::string_view text) override { Each(&SessionEvents::OnMessageBox, text); }
    void OnInstrumentFound(const FoundInstrument& found) override {
        Each(&SessionEvents::OnInstrumentFound, found);
    }
    void OnFirmwareRead(const HeldFirmware& firmware) override {
        Each(&SessionEvents::OnFirmwareRead, firmware);
    }
    void OnUpdateDecided(UpdateDecision decision) override {
        Each(&SessionEvents::OnUpdateDecided, decision);
    }
    void OnUpdateConcluded(UpdateConclusion conclusion) override {
        Each(&SessionEvents::OnUpdateConcluded, conclusion);
    }
    void OnRequestRepeated() override { Each(&SessionEvents::OnRequestRepeated); }
    void OnVerification(bool passed) override { Each(&SessionEvents::OnVerification, passed); }
    void OnUpdateEnded(int result, bool completed) override {
        Each(&SessionEvents::OnUpdateEnded, result, completed);
    }
    void OnLineConclusion(std::string_view code, std::string_view text) override {
        Each(&SessionEvents::OnLineConclusion, code, text);
    }

private:
    template <typename... Parameters, typename... Arguments>
    void Each(void (SessionEvents::*event)(Parameters...), Arguments&&... arguments) {
        for (SessionEvents* listener : m_listeners) {
            (listener->*event)(arguments...);
        }
    }

    std::vector<SessionEvents*> m_listeners;
};
