// Framework-internal, Qt: a message posted to a dialog's handle, on its way
// from the posting thread to the dialog's, as the toolkit's event.
#pragma once

#include <QEvent>

#include "winapi_types.h"

class PostedMessageEvent final : public QEvent {
public:
    PostedMessageEvent(UINT message, WPARAM wParam, LPARAM lParam)
        : QEvent(Kind()), m_message(message), m_wParam(wParam), m_lParam(lParam) {}

    // The event type, registered with the toolkit once per run.
    static QEvent::Type Kind() {
        static const auto kind = static_cast<QEvent::Type>(QEvent::registerEventType());
        return kind;
    }

    const UINT m_message;
    const WPARAM m_wParam;
    const LPARAM m_lParam;
};
