// The About box (dialog template 148): the instrument, "Загрузчик", and the
// program's version line with the date and time at which it was built.
#pragma once

#include <string>
#include <string_view>

#include "Dialog.h"

// When this program was built, as the compiler states it: "Jul 22 2011" and
// "08:07:33".
struct BuildStamp {
    std::string_view date;
    std::string_view time;
};

// This program's own build stamp.
BuildStamp ProgramBuildStamp();

class CAboutDlg : public CDialog {
public:
    // `parent` is not owned and may be null. The version line comes from
    // `stamp`: "Версия 1.0 от dd/mm/yyyy hh:mm:ss", or "Неизвестно" when the
    // stamp cannot be read.
    explicit CAboutDlg(CWnd* parent = nullptr, BuildStamp stamp = ProgramBuildStamp());

    const std::string& GetVersionLine() const { return m_strVersion; }

protected:
    void DoDataExchange(CDataExchange* exchange) override;

private:
    std::string m_strVersion;  // shown in control 1194
};
