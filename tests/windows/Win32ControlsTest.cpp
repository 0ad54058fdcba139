// The controls on Win32, bound by data exchange: UTF-8 texts in and out of
// the window system, the combo box's entries and selection, the log's rows,
// the bar's range, enabling, and loose controls refusing calls.
#include <gmock/gmock.h>

#include "DialogResults.h"
#include "DialogTemplate.h"
#include "ProbeDialog.h"

namespace {

TEST(Controls, PortDialogListStatusAndButton) {
    ProbeDialog dialog(132, [](ProbeDialog& running) {
        // The member reached the static text when the window started.
        EXPECT_EQ(running.m_status.GetWindowText(), "Поиск… Скорость 4800");

        CComboBox& ports = running.m_ports;
        EXPECT_EQ(ports.GetCurSel(), CB_ERR);  // a new entry selects nothing
        EXPECT_EQ(ports.AddString("COM1"), 0);
        EXPECT_EQ(ports.AddString("COM2"), 1);
        EXPECT_EQ(ports.AddString("Порт №3"), 2);
        EXPECT_EQ(ports.GetCount(), 3);
        EXPECT_EQ(ports.GetCurSel(), CB_ERR);
        EXPECT_EQ(ports.SetCurSel(2), 2);
        EXPECT_EQ(ports.SetCurSel(3), CB_ERR);
        EXPECT_EQ(ports.GetCurSel(), 2);
        std::string text = "unchanged";
        EXPECT_EQ(ports.GetLBText(2, text), static_cast<int>(std::string("Порт №3").size()));
        EXPECT_EQ(text, "Порт №3");
        EXPECT_EQ(ports.GetLBText(7, text), CB_ERR);
        EXPECT_EQ(text, "Порт №3");
        EXPECT_EQ(ports.GetWindowText(), "Порт №3");

        // OK starts disabled, as the template says.
        EXPECT_FALSE(running.m_ok.IsWindowEnabled());
        EXPECT_TRUE(running.m_ok.EnableWindow(TRUE));
        EXPECT_FALSE(running.m_ok.EnableWindow(TRUE));
        EXPECT_TRUE(running.m_ok.IsWindowEnabled());

        running.m_status.SetToolTip("Порт занят другой программой");
        running.m_status.SetToolTip("");
        running.m_status.SetWindowText("Найден Зирон-7");
        running.UpdateData(TRUE);
        EXPECT_EQ(running.m_strStatus, "Найден Зирон-7");
        EXPECT_EQ(running.m_status.GetDlgCtrlID(), kPortStatusId);
        running.EndDialog(IDOK);
    });
    dialog.m_strStatus = "Поиск… Скорость 4800";
    EXPECT_EQ(dialog.DoModal(), IDOK);
    // Loose once the window is gone.
    EXPECT_EQ(dialog.m_ports.AddString("COM4"), CB_ERR);
    EXPECT_EQ(dialog.m_status.GetWindowText(), "");
    EXPECT_EQ(dialog.m_status.GetDlgCtrlID(), kNoControlId);
}

TEST(Controls, UpdateDialogLogAndBar) {
    ProbeDialog dialog(134, [](ProbeDialog& running) {
        CListCtrl& log = running.m_log;
        EXPECT_EQ(log.InsertColumn(0, "", LVCFMT_LEFT, 600), 0);
        EXPECT_EQ(log.InsertItem(0, "Найден прибор Зирон-7"), 0);
        EXPECT_EQ(log.InsertItem(99, "Запись: 25%"), 1);  // past the end: appended
        EXPECT_EQ(log.GetItemCount(), 2);
        EXPECT_EQ(log.GetItemText(1, 0), "Запись: 25%");
        const std::string longLine(700, 'x');
        EXPECT_EQ(log.InsertItem(2, longLine), 2);
        EXPECT_EQ(log.GetItemText(2, 0), longLine);
        EXPECT_EQ(log.GetItemText(5, 0), "");

        CProgressCtrl& bar = running.m_bar;
        bar.SetRange(0, 100);
        EXPECT_EQ(bar.SetPos(40), 0);
        EXPECT_EQ(bar.SetPos(150), 40);
        EXPECT_EQ(bar.GetPos(), 100);  // kept inside the range
        running.EndDialog(IDOK);
    });
    EXPECT_EQ(dialog.DoModal(), IDOK);
    EXPECT_EQ(dialog.m_log.GetItemCount(), 0);
    EXPECT_EQ(dialog.m_bar.GetPos(), 0);
}

}  // namespace
