#include "RunOutcome.h"

#include <array>

#include "CliLanguage.h"
#include "UpdateDlg.h"

namespace {

struct OutcomeRow {
    Outcome outcome;
    std::string_view code;
    int exitCode;
    std::string_view english;
    std::string_view russian;
};

// In the order of the enumeration.
constexpr std::array kOutcomes = {
    OutcomeRow{Outcome::Updated, "updated", kExitSuccess, "the new firmware was written and verified",
               "новая микропрограмма записана и проверена"},
    OutcomeRow{Outcome::Verified, "verified", kExitSuccess,
               "the flash matches the image; nothing was written",
               "флеш-память совпадает с образом; ничего не записано"},
    OutcomeRow{Outcome::Found, "found", kExitSuccess, "a Зирон-7 answered", "Зирон-7 ответил"},
    OutcomeRow{Outcome::Listed, "listed", kExitSuccess, "the ports present are listed",
               "имеющиеся порты перечислены"},
    OutcomeRow{Outcome::RefusedLater, "refused_later", kExitRefused,
               "the instrument holds later firmware; nothing was written",
               "в приборе более поздняя микропрограмма; ничего не записано"},
    OutcomeRow{Outcome::BadUsage, "bad_usage", kExitBadUsage, "the command line makes no command",
               "командная строка не составляет команды"},
    OutcomeRow{Outcome::BadImage, "bad_image", kExitBadUsage,
               "the image file cannot be used; nothing was sent",
               "файл образа непригоден; ничего не отправлено"},
    OutcomeRow{Outcome::PortMissing, "port_missing", kExitNotFound, "no such port", "такого порта нет"},
    OutcomeRow{Outcome::NoAccess, "no_access", kExitNotFound, "no access to the port",
               "нет доступа к порту"},
    OutcomeRow{Outcome::PortBusy, "port_busy", kExitNotFound, "another program holds the port",
               "порт занят другой программой"},
    OutcomeRow{Outcome::PortFailed, "port_failed", kExitNotFound, "the port does not open",
               "порт не открывается"},
    OutcomeRow{Outcome::NoInstrument, "no_instrument", kExitNotFound, "nothing answered",
               "ничто не ответило"},
    OutcomeRow{Outcome::ForeignDevice, "foreign_device", kExitNotFound,
               "a device of another type answered", "ответило устройство другого типа"},
    OutcomeRow{Outcome::OwnEcho, "own_echo", kExitNotFound, "only our own bytes came back",
               "вернулись только наши собственные байты"},
    OutcomeRow{Outcome::NoLink, "no_link", kExitLinkLost,
               "the link was lost, or the bootloader could not be entered",
               "связь потеряна, или войти в загрузчик не удалось"},
    OutcomeRow{Outcome::LeftInBootloader, "left_in_bootloader", kExitLinkLost,
               "found in its bootloader and left unwritten (without --yes)",
               "прибор найден в загрузчике и оставлен без записи (без --yes)"},
    OutcomeRow{Outcome::VerifyFailed, "verify_failed", kExitVerifyFailed,
               "the flash does not match the image", "флеш-память не совпадает с образом"},
    OutcomeRow{Outcome::CannotLeave, "cannot_leave_bootloader", kExitCannotLeave,
               "the instrument stays in its bootloader", "прибор остаётся в загрузчике"},
    OutcomeRow{Outcome::Interrupted, "interrupted", kExitInterrupted, "interrupted", "прервано"},
};

const OutcomeRow& RowOf(Outcome outcome) {
    return kOutcomes[static_cast<std::size_t>(outcome)];
}

}  // namespace

std::string_view OutcomeCode(Outcome outcome) {
    return RowOf(outcome).code;
}

std::string_view OutcomeText(Outcome outcome) {
    return Say(RowOf(outcome).english, RowOf(outcome).russian);
}

int ExitCodeOf(Outcome outcome, int interruptExitCode) {
    return outcome == Outcome::Interrupted ? interruptExitCode : RowOf(outcome).exitCode;
}

Outcome SearchOutcome(CPortDlg::LineHeard heard) {
    switch (heard) {
        case CPortDlg::LineHeard::AnotherDevice:
            return Outcome::ForeignDevice;
        case CPortDlg::LineHeard::OwnBytes:
            return Outcome::OwnEcho;
        case CPortDlg::LineHeard::Nothing:
            break;
    }
    return Outcome::NoInstrument;
}

Outcome OutcomeOf(const RunEnd& end) {
    if (!end.imageLoaded) {
        return Outcome::BadImage;
    }
    if (end.found && end.phase == PHASE_DONE) {
        // The outcome was reached: an interrupt after it changes nothing.
        if (!end.success) {
            return Outcome::VerifyFailed;
        }
        return end.nothingToWrite ? Outcome::Verified : Outcome::Updated;
    }
    if (end.interrupted) {
        return Outcome::Interrupted;
    }
    if (end.portFailure) {
        return *end.portFailure;
    }
    if (!end.found) {
        return SearchOutcome(end.heard);
    }
    if (end.phase == PHASE_LEAVE) {
        // Counted out or fallen silent on the way back to the main program.
        return Outcome::CannotLeave;
    }
    switch (end.conclusion.value_or(UpdateConclusion::NoLink)) {
        case UpdateConclusion::RefusedLater:
            return Outcome::RefusedLater;
        case UpdateConclusion::StaysInLoader:
            return Outcome::LeftInBootloader;
        case UpdateConclusion::ForeignDevice:
            return Outcome::ForeignDevice;
        default:
            // Cannot enter the bootloader, a wrong signature, a link that
            // fell silent.
            return Outcome::NoLink;
    }
}

std::string_view DecisionCode(const RunEnd& end) {
    if (!end.found || !end.decision) {
        return "none";
    }
    switch (*end.decision) {
        case UpdateDecision::VerifyOnly:
        case UpdateDecision::VerifySameDate:
            return "verify";
        case UpdateDecision::RefuseLater:
            return "refuse";
        case UpdateDecision::Write:
        case UpdateDecision::WriteIntoLoader:
            return "write";
        case UpdateDecision::IdentifyOnly:
        case UpdateDecision::LeaveInLoader:
            break;
    }
    return "none";
}

std::string InstrumentStateText(const RunEnd& end) {
    if (!end.found) {
        return std::string(Say("the instrument was not reached; nothing was changed",
                               "прибор не достигнут; ничего не изменено"));
    }
    std::string_view english;
    std::string_view russian;
    switch (end.phase) {
        case PHASE_INFO:
            if (end.foundInLoader) {
                english = "in its bootloader, nothing was written: switch the source off, then see readme.txt";
                russian = "в загрузчике, ничего не записано: выключите источник, затем см. readme.txt";
            } else {
                english = "the instrument runs its main program; nothing was written";
                russian = "прибор работает в основной программе; ничего не записано";
            }
            break;
        case PHASE_ENTER:
            english = "unknown: the instrument may be switching into its bootloader; repeat the run";
            russian = "неизвестно: прибор, возможно, переходит в загрузчик; повторите запуск";
            break;
        case PHASE_WRITE:
            english = "in its bootloader with the flash partly written: repeat the update";
            russian = "в загрузчике, флеш-память записана частично: повторите обновление";
            break;
        case PHASE_VERIFY:
            if (end.nothingToWrite) {
                english = "in its bootloader, its flash unchanged: repeat the run";
                russian = "в загрузчике, флеш-память не изменена: повторите запуск";
            } else {
                english = "in its bootloader, the flash written but not verified: repeat the update";
                russian = "в загрузчике, флеш-память записана, но не проверена: повторите обновление";
            }
            break;
        case PHASE_LEAVE:
            english = "in its bootloader or on its way back: switch the source off, then see readme.txt";
            russian = "в загрузчике или на пути из него: выключите источник, затем см. readme.txt";
            break;
        default:
            if (end.success) {
                english = end.nothingToWrite ? "its firmware runs, unchanged" : "the new firmware runs";
                russian = end.nothingToWrite ? "микропрограмма прибора работает без изменений"
                                             : "новая микропрограмма работает";
            } else {
                english = "back in its main program";
                russian = "снова в основной программе";
            }
    }
    return std::string(Say(english, russian));
}
