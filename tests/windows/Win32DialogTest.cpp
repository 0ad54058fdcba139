// The dialogs on the Win32 dialog manager: every template becomes a window
// with its controls in the right classes and places, in a font that shows
// Cyrillic; timers tick by id;
// a message posted from another thread arrives; a yes/no box waits with Yes
// focused while the dialog's timers go on.
#include <gmock/gmock.h>
#include <windows.h>

#include <map>
#include <string>
#include <thread>
#include <vector>

#include "DialogTemplate.h"
#include "MessageBox.h"
#include "ProbeDialog.h"

namespace {

constexpr int kAnyResult = 5;  // a code other than IDOK and IDCANCEL

std::wstring ClassOf(HWND window) {
    wchar_t name[64] = {};
    GetClassNameW(window, name, 64);
    return name;
}

const wchar_t* ExpectedClass(DialogControlKind kind) {
    switch (kind) {
        case DialogControlKind::PushButton:
        case DialogControlKind::GroupBox:
            return L"Button";
        case DialogControlKind::Static:
        case DialogControlKind::Icon:
            return L"Static";
        case DialogControlKind::ComboBox:
            return L"ComboBox";
        case DialogControlKind::ListView:
            return L"SysListView32";
        case DialogControlKind::ProgressBar:
            return L"msctls_progress32";
    }
    return L"";
}

// The rectangle in dialog units as the dialog's font makes it pixels.
RECT Pixels(HWND dialog, int x, int y, int cx, int cy) {
    RECT rect{x, y, x + cx, y + cy};
    MapDialogRect(dialog, &rect);
    return rect;
}

class Templates : public testing::TestWithParam<UINT> {};

TEST_P(Templates, BecomeWindowsWithEveryControlInPlace) {
    const DialogTemplate* dialogTemplate = FindDialogTemplate(GetParam());
    ASSERT_NE(dialogTemplate, nullptr);
    ProbeDialog dialog(GetParam(), [&](ProbeDialog& running) {
        HWND window = running.GetSafeHwnd();
        ASSERT_NE(window, nullptr);
        RECT client{};
        GetClientRect(window, &client);
        const RECT expected = Pixels(window, 0, 0, dialogTemplate->cx, dialogTemplate->cy);
        EXPECT_EQ(client.right, expected.right);
        EXPECT_EQ(client.bottom, expected.bottom);
        for (const DialogControlTemplate& control : dialogTemplate->controls) {
            if (control.id == kNoControlId) {
                continue;
            }
            HWND item = GetDlgItem(window, control.id);
            ASSERT_NE(item, nullptr) << control.id;
            EXPECT_EQ(ClassOf(item), ExpectedClass(control.kind)) << control.id;
            EXPECT_EQ(IsWindowEnabled(item) != FALSE, (control.styles & kStyleDisabled) == 0);
            RECT place{};
            GetWindowRect(item, &place);
            MapWindowPoints(nullptr, window, reinterpret_cast<POINT*>(&place), 2);
            // Position and width each converted from dialog units.
            const RECT origin = Pixels(window, control.x, control.y, 0, 0);
            const RECT size = Pixels(window, 0, 0, control.cx, control.cy);
            EXPECT_EQ(place.left, origin.left) << control.id;
            EXPECT_EQ(place.top, origin.top) << control.id;
            EXPECT_EQ(place.right - place.left, size.right) << control.id;
        }
        running.EndDialog(IDOK);
    });
    EXPECT_EQ(dialog.DoModal(), IDOK);
    EXPECT_EQ(dialog.GetSafeHwnd(), nullptr);
}

INSTANTIATE_TEST_SUITE_P(Program, Templates, testing::Values(132u, 134u, 148u));

// The Russian texts show on every system locale: the dialogs' font is the
// shell's dialog font, and it has a glyph for every letter of the texts.
TEST_P(Templates, ShowCyrillicInTheShellDialogFont) {
    ProbeDialog dialog(GetParam(), [&](ProbeDialog& running) {
        HWND window = running.GetSafeHwnd();
        const auto font = reinterpret_cast<HFONT>(SendMessageW(window, WM_GETFONT, 0, 0));
        ASSERT_NE(font, nullptr);
        LOGFONTW face{};
        GetObjectW(font, sizeof face, &face);
        EXPECT_THAT(std::wstring(face.lfFaceName), testing::StartsWith(L"MS Shell Dlg"));
        HDC context = GetDC(window);
        const HGDIOBJ previous = SelectObject(context, font);
        const std::wstring letters = L"АБВГДЕЁЖЗИЙКЛМНОПРСТУФХЦЧШЩЪЫЬЭЮЯабвгдеёжзийклмнопрстуфхцчшщъыьэюя№";
        std::vector<WORD> glyphs(letters.size());
        GetGlyphIndicesW(context, letters.c_str(), static_cast<int>(letters.size()), glyphs.data(),
                         GGI_MARK_NONEXISTING_GLYPHS);
        SelectObject(context, previous);
        ReleaseDC(window, context);
        for (std::size_t k = 0; k < letters.size(); ++k) {
            EXPECT_NE(glyphs[k], 0xFFFF) << "no glyph for letter " << k;
        }
        running.EndDialog(IDOK);
    });
    EXPECT_EQ(dialog.DoModal(), IDOK);
}

TEST(Dialog, UnknownTemplateShowsNothing) {
    ProbeDialog dialog(999, [](ProbeDialog&) { FAIL() << "no window expected"; });
    EXPECT_EQ(dialog.DoModal(), -1);
}

TEST(Dialog, TimersTickByIdUntilKilled) {
    std::map<UINT_PTR, int> ticks;
    BOOL killedOnce = FALSE;
    BOOL killedTwice = TRUE;
    ProbeDialog dialog(
        134,
        [](ProbeDialog& running) {
            EXPECT_EQ(running.SetTimer(7, 10), 7u);
            EXPECT_EQ(running.SetTimer(8, 10), 8u);
            EXPECT_EQ(running.SetTimer(0, 10), 0u);
        },
        [&](ProbeDialog& running, UINT_PTR id) {
            if (++ticks[id] == 3 && id == 7) {
                killedOnce = running.KillTimer(7);
                killedTwice = running.KillTimer(7);
            }
            if (ticks[8] == 8) {
                running.EndDialog(kAnyResult);
            }
        });
    EXPECT_EQ(dialog.DoModal(), kAnyResult);
    EXPECT_EQ(ticks[7], 3);
    EXPECT_TRUE(killedOnce);
    EXPECT_FALSE(killedTwice);
    EXPECT_EQ(ticks.count(0), 0u);
}

TEST(Dialog, RegisteredMessagePostedFromAnotherThreadArrives) {
    const UINT message = RegisterWindowMessageA("CSerialWnd_DefaultComMsg");
    std::thread poster;
    HWND handle = nullptr;
    ProbeDialog dialog(132, [&](ProbeDialog& running) {
        handle = running.GetSafeHwnd();
        poster = std::thread([handle, message] { PostMessageA(handle, message, 42, 7); });
    });
    dialog.MapMessage(message, [&](WPARAM wParam, LPARAM lParam) -> LRESULT {
        EXPECT_EQ(wParam, 42u);
        EXPECT_EQ(lParam, 7);
        dialog.EndDialog(kAnyResult);
        return 0;
    });
    EXPECT_EQ(dialog.DoModal(), kAnyResult);
    poster.join();
    // The window is gone: a late notification is refused, not delivered.
    EXPECT_FALSE(PostMessageA(handle, message, 0, 0));
}

// The message box of this thread other than `dialog`, or null.
HWND FindMessageBox(HWND dialog) {
    struct Search {
        HWND dialog;
        HWND found;
    } search{dialog, nullptr};
    EnumThreadWindows(
        GetCurrentThreadId(),
        [](HWND window, LPARAM data) -> BOOL {
            auto* s = reinterpret_cast<Search*>(data);
            if (window != s->dialog && ClassOf(window) == L"#32770" && IsWindowVisible(window)) {
                s->found = window;
                return FALSE;
            }
            return TRUE;
        },
        reinterpret_cast<LPARAM>(&search));
    return search.found;
}

TEST(MessageBox, YesNoQuestionDefaultsToYesAndReturnsTheAnswer) {
    constexpr UINT_PTR kAskTimer = 1;
    constexpr UINT_PTR kAnswerTimer = 2;
    int answer = 0;
    int focusedButton = 0;
    ProbeDialog dialog(
        148, [](ProbeDialog& running) { running.SetTimer(kAskTimer, 10); },
        [&](ProbeDialog& running, UINT_PTR id) {
            if (id == kAskTimer) {
                running.KillTimer(kAskTimer);
                // The answering timer is the dialog's own: it must keep
                // ticking while the box waits.
                running.SetTimer(kAnswerTimer, 20);
                answer = AfxMessageBox("Повторить?", MB_YESNO);
                running.EndDialog(IDOK);
            } else if (HWND box = FindMessageBox(running.GetSafeHwnd())) {
                running.KillTimer(kAnswerTimer);
                // Enter presses the button that has the focus.
                focusedButton = GetDlgCtrlID(GetFocus());
                PostMessageW(box, WM_COMMAND, IDNO, 0);
            }
        });
    EXPECT_EQ(dialog.DoModal(), IDOK);
    EXPECT_EQ(focusedButton, IDYES);
    EXPECT_EQ(answer, IDNO);
}

}  // namespace
