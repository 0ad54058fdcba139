#include "DialogWindow.h"

#include <QApplication>
#include <QCloseEvent>
#include <QComboBox>
#include <QCoreApplication>
#include <QFontMetrics>
#include <QGroupBox>
#include <QHeaderView>
#include <QImage>
#include <QKeyEvent>
#include <QLabel>
#include <QPixmap>
#include <QProgressBar>
#include <QPushButton>
#include <QTimer>
#include <QTreeWidget>
#include <algorithm>
#include <vector>

#include "Dialog.h"
#include "DialogFont.h"
#include "DialogResults.h"
#include "DialogRunState.h"
#include "IconResource.h"
#include "qt/PostedMessageEvent.h"

namespace {

// The size at which dialogs show icons.
constexpr int kDialogIconPixels = 32;

// Icon resource `iconId` at `size` pixels; a null pixmap when it is missing.
QPixmap IconPixmap(UINT iconId, int size) {
    const IconImage* icon = FindIconImage(iconId, size);
    if (icon == nullptr || static_cast<int>(icon->rows.size()) != icon->size) {
        return {};
    }
    QImage image(icon->size, icon->size, QImage::Format_ARGB32);
    image.fill(Qt::transparent);
    for (int y = 0; y < icon->size; ++y) {
        const char* row = icon->rows[static_cast<std::size_t>(y)];
        for (int x = 0; x < icon->size && row[x] != '\0'; ++x) {
            const char pixel = row[x];
            int index = -1;
            if (pixel >= '0' && pixel <= '9') {
                index = pixel - '0';
            } else if (pixel >= 'A' && pixel <= 'F') {
                index = pixel - 'A' + 10;
            }
            if (index >= 0) {
                image.setPixel(x, y, 0xFF000000u | icon->palette[static_cast<std::size_t>(index)]);
            }
        }
    }
    return QPixmap::fromImage(image);
}

QWidget* CreateWidget(const DialogControlTemplate& control, const DialogFont& font,
                      QWidget* parent) {
    const QString text = QString::fromUtf8(control.text);
    const QRect place = font.ToPixels(control.x, control.y, control.cx, control.cy);
    switch (control.kind) {
        case DialogControlKind::PushButton: {
            auto* button = new QPushButton(text, parent);
            // Enter is handled by the window, which knows the template's default.
            button->setAutoDefault(false);
            button->setDefault((control.styles & kStyleDefaultButton) != 0);
            button->setGeometry(place);
            return button;
        }
        case DialogControlKind::Static: {
            auto* label = new QLabel(parent);
            label->setTextFormat(Qt::PlainText);  // texts come from the line too: never markup
            label->setText(text);
            label->setWordWrap(true);
            label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
            label->setGeometry(place);
            return label;
        }
        case DialogControlKind::ComboBox: {
            auto* combo = new QComboBox(parent);
            combo->setEditable((control.styles & kStyleDropDownList) == 0);
            // The template's height includes the dropped list; the closed box
            // takes the height its font needs.
            const int closedHeight = combo->sizeHint().height();
            combo->setGeometry(place.x(), place.y(), place.width(), closedHeight);
            const int rowHeight = std::max(1, QFontMetrics(font.font).height());
            combo->setMaxVisibleItems(std::max(1, (place.height() - closedHeight) / rowHeight));
            return combo;
        }
        case DialogControlKind::ListView: {
            auto* list = new QTreeWidget(parent);
            list->setColumnCount(0);
            list->setRootIsDecorated(false);
            list->setUniformRowHeights(true);
            list->setHeaderHidden((control.styles & kStyleReportView) == 0);
            list->header()->setSectionsClickable((control.styles & kStyleNoSortHeader) == 0);
            list->header()->setStretchLastSection(false);
            list->setSelectionMode((control.styles & kStyleSingleSelection) != 0
                                       ? QAbstractItemView::SingleSelection
                                       : QAbstractItemView::ExtendedSelection);
            if ((control.styles & kStyleBorder) == 0) {
                list->setFrameShape(QFrame::NoFrame);
            }
            list->setGeometry(place);
            return list;
        }
        case DialogControlKind::ProgressBar: {
            auto* bar = new QProgressBar(parent);
            bar->setRange(0, 100);  // the range a new bar has until it is told otherwise
            bar->setValue(0);
            bar->setTextVisible(false);
            bar->setGeometry(place);
            return bar;
        }
        case DialogControlKind::GroupBox: {
            auto* frame = new QGroupBox(text, parent);
            // The frame line runs through the middle of the title, which
            // starts one character in, as a dialog's group box is drawn.
            frame->setStyleSheet(
                QStringLiteral("QGroupBox { border: 1px solid palette(mid); margin-top: %1px; }"
                               "QGroupBox::title { subcontrol-origin: margin; left: %2px;"
                               " padding: 0 2px; }")
                    .arg(font.baseUnits.height() / 2)
                    .arg(font.baseUnits.width()));
            frame->setGeometry(place);
            frame->setFocusPolicy(Qt::NoFocus);
            return frame;
        }
        case DialogControlKind::Icon: {
            auto* icon = new QLabel(parent);
            icon->setPixmap(IconPixmap(control.iconId, kDialogIconPixels));
            icon->setGeometry(place.x(), place.y(), kDialogIconPixels, kDialogIconPixels);
            return icon;
        }
    }
    return nullptr;
}

}  // namespace

QWidget* DialogWindow::RunningWindowOf(CWnd* parent) {
    auto* parentDialog = dynamic_cast<CDialog*>(parent);
    return parentDialog != nullptr && parentDialog->m_pWindow != nullptr
               ? parentDialog->m_pWindow->window.get()
               : nullptr;
}

DialogWindow::DialogWindow(CDialog& owner, const DialogTemplate& dialogTemplate, CWnd* parent)
    : QDialog(RunningWindowOf(parent)),
      m_owner(owner),
      m_font(ChooseDialogFont(dialogTemplate.fontName, dialogTemplate.fontPointSize)) {
    setObjectName(QStringLiteral("dialog%1").arg(dialogTemplate.id));
    // A modal frame with a caption and a close box: no help, no resizing.
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                   Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint);
    setWindowTitle(QString::fromUtf8(dialogTemplate.caption));

    const DialogFont& font = m_font;
    setFont(font.font);
    setFixedSize(font.ToPixelsX(dialogTemplate.cx), font.ToPixelsY(dialogTemplate.cy));

    std::vector<QWidget*> frames;
    for (const DialogControlTemplate& control : dialogTemplate.controls) {
        QWidget* widget = CreateWidget(control, font, this);
        if (widget == nullptr) {
            continue;
        }
        widget->setEnabled((control.styles & kStyleDisabled) == 0);
        if (control.kind == DialogControlKind::GroupBox) {
            frames.push_back(widget);
        }
        if (control.id == kNoControlId) {
            continue;
        }
        widget->setObjectName(QString::number(control.id));
        auto item = std::make_unique<DialogItem>();
        item->id = control.id;
        item->kind = control.kind;
        item->widget = widget;
        item->place = widget->geometry();
        if ((control.styles & kStyleDefaultButton) != 0) {
            m_defaultButton = item.get();
        }
        DialogItem* const bound = item.get();
        m_items[control.id] = std::move(item);
        const int id = control.id;
        if (auto* button = qobject_cast<QPushButton*>(widget)) {
            connect(button, &QPushButton::clicked, this, [this, id] { m_owner.HandleCommand(id); });
        } else if (auto* combo = qobject_cast<QComboBox*>(widget)) {
            connect(combo, &QComboBox::currentIndexChanged, this, [this, id, bound] {
                if (!bound->quietSelection) {
                    m_owner.HandleSelectionChanged(id);
                }
            });
        }
    }
    // A frame is drawn behind the controls it surrounds and takes no clicks
    // from them.
    for (QWidget* frame : frames) {
        frame->lower();
    }
    for (QLabel* label : findChildren<QLabel*>(Qt::FindDirectChildrenOnly)) {
        FitTextToRoom(*label, label->geometry());
    }
    // The sink runs on the posting thread while the handle exists; the
    // handle goes first when the window goes, so the window outlives every call.
    m_handle = CreateWindowHandle([this](UINT message, WPARAM wParam, LPARAM lParam) {
        QCoreApplication::postEvent(this, new PostedMessageEvent(message, wParam, lParam));
    });
}

DialogWindow::~DialogWindow() {
    DestroyWindowHandle(m_handle);
}

bool DialogWindow::CanRunModal() {
    return qApp != nullptr;
}

bool DialogWindow::RunModal() {
    m_owner.OnWindowCreated();
    if (m_owner.IsRunning()) {
        setWindowModality(Qt::ApplicationModal);
        exec();
    }
    return true;
}

void DialogWindow::SetTitle(const std::string& text) {
    setWindowTitle(QString::fromStdString(text));
}

std::string DialogWindow::Title() const {
    return windowTitle().toStdString();
}

DialogItem* DialogWindow::FindItem(int controlId) {
    const auto it = m_items.find(controlId);
    return it == m_items.end() ? nullptr : it->second.get();
}

bool DialogWindow::StartTimer(UINT_PTR id, UINT periodMs) {
    QTimer*& timer = m_timers[id];
    if (timer == nullptr) {
        timer = new QTimer(this);
        timer->setTimerType(Qt::PreciseTimer);
        connect(timer, &QTimer::timeout, this, [this, id] { m_owner.HandleTimer(id); });
    }
    timer->start(static_cast<int>(periodMs));
    return true;
}

void DialogWindow::StopTimer(UINT_PTR id) {
    // Stopped, not deleted: the timer may be the one whose tick is running.
    if (const auto it = m_timers.find(id); it != m_timers.end()) {
        it->second->stop();
    }
}

void DialogWindow::Finish(int result) {
    // A dialog ended in OnInitDialog never showed: no loop to end.
    if (isVisible()) {
        m_finishing = true;
        QDialog::done(result);
    }
}

bool DialogWindow::event(QEvent* event) {
    if (event->type() == PostedMessageEvent::Kind()) {
        const auto* posted = static_cast<PostedMessageEvent*>(event);
        m_owner.HandlePostedMessage(posted->m_message, posted->m_wParam, posted->m_lParam);
        return true;
    }
    return QDialog::event(event);
}

void DialogWindow::keyPressEvent(QKeyEvent* event) {
    switch (event->key()) {
        case Qt::Key_Return:
        case Qt::Key_Enter: {
            // Enter presses the focused button, otherwise the default button,
            // and nothing while that one is disabled.
            auto* pressed = qobject_cast<QPushButton*>(focusWidget());
            if (pressed == nullptr && m_defaultButton != nullptr) {
                pressed = qobject_cast<QPushButton*>(m_defaultButton->widget);
            }
            if (pressed != nullptr && pressed->isEnabled()) {
                pressed->click();
            }
            event->accept();
            return;
        }
        case Qt::Key_Escape:
            event->accept();
            m_owner.HandleCommand(IDCANCEL);
            return;
        default:
            QDialog::keyPressEvent(event);
    }
}

void DialogWindow::closeEvent(QCloseEvent* event) {
    if (m_finishing) {
        event->accept();
        return;
    }
    // The close box is the Cancel command; the dialog decides whether to end.
    event->ignore();
    m_owner.HandleCommand(IDCANCEL);
}

void DialogWindow::reject() {
    m_owner.HandleCommand(IDCANCEL);
}
