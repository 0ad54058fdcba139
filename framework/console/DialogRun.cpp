// The dialog base without windows: the controls of the template as items in
// memory, window timers and posted messages on the toolkit's event loop
// (QtCore alone), a modal run as a nested loop. The console operator sees
// the dialog start and may press its buttons.
#include "Dialog.h"

#include <QCoreApplication>
#include <QEvent>
#include <QEventLoop>
#include <QTimer>
#include <algorithm>
#include <map>
#include <vector>

#include "ConsoleOperator.h"
#include "DialogItem.h"
#include "DialogResults.h"
#include "DialogTemplate.h"

namespace {

// The shortest timer period, as the windowed program has it: shorter
// requests (0 included) get this one.
constexpr UINT kShortestTimerPeriodMs = 10;

const QEvent::Type kPostedMessageEvent = static_cast<QEvent::Type>(QEvent::registerEventType());

class PostedMessageEvent final : public QEvent {
public:
    PostedMessageEvent(UINT message, WPARAM wParam, LPARAM lParam)
        : QEvent(kPostedMessageEvent), m_message(message), m_wParam(wParam), m_lParam(lParam) {}

    const UINT m_message;
    const WPARAM m_wParam;
    const LPARAM m_lParam;
};

}  // namespace

// The stand-in for a dialog's window: owns the items, the timers and the
// loop of the modal run, and hands what happens to its CDialog.
class DialogWindow final : public QObject {
public:
    DialogWindow(CDialog& owner, const DialogTemplate& dialogTemplate) : m_owner(owner) {
        for (const DialogControlTemplate& control : dialogTemplate.controls) {
            if (control.id == kNoControlId) {
                continue;
            }
            auto item = std::make_unique<DialogItem>();
            item->dialog = &owner;
            item->id = control.id;
            item->kind = control.kind;
            item->text = control.text;
            item->enabled = (control.styles & kStyleDisabled) == 0;
            m_items[control.id] = std::move(item);
        }
    }

    DialogItem* FindItem(int controlId) {
        const auto it = m_items.find(controlId);
        return it == m_items.end() ? nullptr : it->second.get();
    }

    void QueuePostedMessage(UINT message, WPARAM wParam, LPARAM lParam) {
        QCoreApplication::postEvent(this, new PostedMessageEvent(message, wParam, lParam));
    }

    void StartTimer(UINT_PTR id, UINT periodMs) {
        QTimer*& timer = m_timers[id];
        if (timer == nullptr) {
            timer = new QTimer(this);
            timer->setTimerType(Qt::PreciseTimer);
            connect(timer, &QTimer::timeout, this, [this, id] { m_owner.HandleTimer(id); });
        }
        timer->start(static_cast<int>(std::max(periodMs, kShortestTimerPeriodMs)));
    }

    bool StopTimer(UINT_PTR id) {
        const auto it = m_timers.find(id);
        if (it == m_timers.end() || !it->second->isActive()) {
            return false;
        }
        it->second->stop();  // not deleted: its tick may be the one running
        return true;
    }

    void Press(int controlId) {
        QMetaObject::invokeMethod(
            this,
            [this, controlId] {
                // A disabled button takes no click.
                if (const DialogItem* item = FindItem(controlId); item == nullptr || item->enabled) {
                    m_owner.HandleCommand(controlId);
                }
            },
            Qt::QueuedConnection);
    }

    int Run() { return m_loop.exec(); }
    void Finish() {
        if (m_loop.isRunning()) {
            m_loop.exit();
        }
    }

    static void PressButtonOf(CDialog& dialog, int controlId);

protected:
    bool event(QEvent* event) override {
        if (event->type() == kPostedMessageEvent) {
            const auto* posted = static_cast<PostedMessageEvent*>(event);
            m_owner.HandlePostedMessage(posted->m_message, posted->m_wParam, posted->m_lParam);
            return true;
        }
        return QObject::event(event);
    }

private:
    CDialog& m_owner;
    std::map<int, std::unique_ptr<DialogItem>> m_items;  // by control id
    std::map<UINT_PTR, QTimer*> m_timers;                // children of this object
    QEventLoop m_loop;
};

// What exists only while a modal run lasts.
struct CDialog::Window {
    std::unique_ptr<DialogWindow> window;
    std::vector<CControl*> boundControls;  // members bound by DDX_Control; not owned
    std::string title;
    bool ended = false;
    int result = IDCANCEL;
};

void DialogWindow::PressButtonOf(CDialog& dialog, int controlId) {
    if (dialog.m_pWindow != nullptr) {
        dialog.m_pWindow->window->Press(controlId);
    }
}

CDialog::CDialog(UINT templateId, CWnd* parent) : m_nTemplateId(templateId), m_pParentWnd(parent) {}

CDialog::~CDialog() {
    ReleaseWindow();
}

int CDialog::DoModal() {
    const DialogTemplate* dialogTemplate = FindDialogTemplate(m_nTemplateId);
    if (m_pWindow != nullptr || dialogTemplate == nullptr ||
        QCoreApplication::instance() == nullptr) {
        return -1;
    }
    m_pWindow = std::make_unique<Window>();
    m_pWindow->title = dialogTemplate->caption;
    m_pWindow->window = std::make_unique<DialogWindow>(*this, *dialogTemplate);
    // The handle goes before the window, so the window outlives every call.
    DialogWindow* const window = m_pWindow->window.get();
    m_hWnd = CreateWindowHandle([window](UINT message, WPARAM wParam, LPARAM lParam) {
        window->QueuePostedMessage(message, wParam, lParam);
    });

    OnInitDialog();
    if (ConsoleOperator* person = InstalledConsoleOperator(); person != nullptr && !m_pWindow->ended) {
        person->OnDialogStarted(*this);
    }
    if (!m_pWindow->ended) {
        window->Run();
    }
    const int result = m_pWindow->result;
    ReleaseWindow();
    return result;
}

void CDialog::EndDialog(int result) {
    if (m_pWindow == nullptr || m_pWindow->ended) {
        return;
    }
    m_pWindow->ended = true;
    m_pWindow->result = result;
    m_pWindow->window->Finish();
}

void CDialog::SetWindowText(const std::string& text) {
    if (m_pWindow != nullptr) {
        m_pWindow->title = text;
    }
}

std::string CDialog::GetWindowText() const {
    return m_pWindow == nullptr ? std::string() : m_pWindow->title;
}

UINT_PTR CDialog::SetTimer(UINT_PTR id, UINT periodMs) {
    if (m_pWindow == nullptr || id == 0) {
        return 0;
    }
    m_pWindow->window->StartTimer(id, periodMs);
    return id;
}

BOOL CDialog::KillTimer(UINT_PTR id) {
    return m_pWindow != nullptr && m_pWindow->window->StopTimer(id) ? TRUE : FALSE;
}

bool CDialog::IsRunning() const {
    return m_pWindow != nullptr && !m_pWindow->ended;
}

void CDialog::ReleaseWindow() {
    if (m_pWindow == nullptr) {
        return;
    }
    DestroyWindowHandle(m_hWnd);
    m_hWnd = nullptr;
    for (CControl* control : m_pWindow->boundControls) {
        control->AttachItem(nullptr);
    }
    m_dialogItems.clear();
    // Deleting the window stops its timers and drops what is still queued.
    m_pWindow.reset();
}

DialogItem* CDialog::FindItem(int controlId) {
    return m_pWindow == nullptr ? nullptr : m_pWindow->window->FindItem(controlId);
}

void CDialog::BindControl(CControl& control, DialogItem& item) {
    control.AttachItem(&item);
    m_pWindow->boundControls.push_back(&control);
}

void PressDialogButton(CDialog& dialog, int controlId) {
    DialogWindow::PressButtonOf(dialog, controlId);
}
