#include "AboutDlg.h"

#include <ctime>

#include "BuildDate.h"
#include "FormatText.h"

namespace {

constexpr UINT kAboutTemplateId = 148;
constexpr int kVersionLineId = 1194;

// The version is fixed text; only the build time varies.
constexpr const char* kVersionFormat = "Версия 1.0 от %s";
constexpr const char* kBuildTimeFormat = "%d/%m/%Y %H:%M:%S";
constexpr const char* kUnknownVersion = "Неизвестно";

}  // namespace

BuildStamp ProgramBuildStamp() {
    return {__DATE__, __TIME__};
}

CAboutDlg::CAboutDlg(CWnd* parent, BuildStamp stamp) : CDialog(kAboutTemplateId, parent) {
    std::time_t built = 0;
    if (ParseBuildDate(stamp.date, stamp.time, built) == BUILD_DATE_PARSED) {
        m_strVersion = FormatText(kVersionFormat, FormatLocalTime(built, kBuildTimeFormat).c_str());
    } else {
        m_strVersion = kUnknownVersion;
    }
}

void CAboutDlg::DoDataExchange(CDataExchange* exchange) {
    CDialog::DoDataExchange(exchange);
    DDX_Text(exchange, kVersionLineId, m_strVersion);
}
