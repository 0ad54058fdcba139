#include "Bootloader.h"

#include <algorithm>
#include <cstdio>
#include <string>
#include <utility>

namespace sim {
namespace {

std::string Hex16(std::uint16_t value) {
    char text[8];
    std::snprintf(text, sizeof text, "0x%04X", value);
    return text;
}

}  // namespace

Bootloader::Bootloader(const Identity& identity, Flash& flash, BootloaderFaults faults)
    : m_identity(identity),
      m_flash(flash),
      m_faults(std::move(faults)),
      m_echoDice(m_faults.echoSeed) {
    m_page.fill(0xFF);
}

ProgramAnswer Bootloader::Acknowledge(const Request& request, std::string meaning) {
    ProgramAnswer answer;
    Reply reply{kCmdLoader, {request.Payload()[kLoaderOpOffset]}};
    switch (m_faults.echo) {
        case BootEcho::Address:
            AppendWord(reply.payload, request.Word(kLoaderAddressOffset));
            break;
        case BootEcho::Zero:
            AppendWord(reply.payload, 0);
            break;
        case BootEcho::Random:
            AppendWord(reply.payload, static_cast<std::uint16_t>(m_echoDice()));
            break;
    }
    answer.reply = std::move(reply);
    answer.replyMeaning = std::move(meaning);
    return answer;
}

ProgramAnswer Bootloader::Answer(const Request& request) {
    switch (request.Command()) {
        case kCmdIdentify:
            return AnswerIdentify(m_identity);
        case kCmdStatus:
            return AnswerStatus(true);
        case kCmdLoader:
            break;
        default:
            return Ignore("the bootloader does not know this command");
    }
    if (!CarriesAccessCode(request)) {
        return Ignore("wrong access code");
    }
    switch (request.Payload()[kLoaderOpOffset]) {
        case kOpLoadHalf:
            return LoadHalf(request);
        case kOpProgramPage:
            return ProgramPage(request);
        case kOpReadBack:
            return ReadBack(request);
        case kOpFinish:
            return Finish(request);
        case kOpSwitch:
            return SwitchBack();
        default:
            return Ignore("unknown bootloader operation");
    }
}

ProgramAnswer Bootloader::LoadHalf(const Request& request) {
    const std::uint16_t offset = request.Word(kLoaderAddressOffset);
    if (request.PayloadLength() != kLoadHalfPayload || (offset != 0 && offset != kHalfPageSize)) {
        return Ignore("malformed load-half request");
    }
    const std::uint8_t* data = request.Payload() + kLoaderDataOffset;
    std::copy_n(data, kHalfPageSize, m_page.begin() + offset);
    return Acknowledge(request, "half page at offset " + std::to_string(offset) + " loaded");
}

ProgramAnswer Bootloader::ProgramPage(const Request& request) {
    const std::uint16_t address = request.Word(kLoaderAddressOffset);
    if (address % kPageSize != 0) {
        return Ignore("page address not on a page boundary");
    }
    if (!m_flash.ProgramPage(address, m_page)) {
        return Ignore(m_flash.WriteError().c_str());
    }
    return Acknowledge(request, "page " + Hex16(address) + " programmed");
}

ProgramAnswer Bootloader::ReadBack(const Request& request) {
    const std::uint16_t address = request.Word(kLoaderAddressOffset);
    if (address == kFinalQueryAddress) {
        return FinalQuery(request);
    }
    ProgramAnswer answer = Acknowledge(request, "block " + Hex16(address) + " read back");
    std::vector<std::uint8_t>& payload = answer.reply->payload;
    const auto block = m_flash.Read(address, kReadBackBlockSize);
    payload.insert(payload.end(), block.begin(), block.end());
    payload.resize(payload.size() + kReadBackBlockSize - block.size(), 0xFF);
    if (StuckBitsShow()) {
        const std::size_t dataStart = payload.size() - kReadBackBlockSize;
        for (const StuckBits& bits : m_faults.stuck) {
            if (bits.address >= address && bits.address < address + kReadBackBlockSize) {
                payload[dataStart + bits.address - address] ^= bits.mask;
            }
        }
    }
    return answer;
}

ProgramAnswer Bootloader::FinalQuery(const Request& request) {
    const BootRecord& record = m_flash.Record();
    ProgramAnswer answer = Acknowledge(request, "final query: checksum " + Hex16(record.checksum) +
                                                    ", end value " + Hex16(record.endValue));
    AppendWord(answer.reply->payload, record.checksum);
    AppendWord(answer.reply->payload, record.endValue);
    ++m_verifyPasses;
    return answer;
}

ProgramAnswer Bootloader::Finish(const Request& request) {
    if (request.PayloadLength() != kFinishPayload) {
        return Ignore("malformed finish request");
    }
    BootRecord record = m_flash.Record();
    record.checksum = request.Word(kLoaderDataOffset);
    record.endValue = request.Word(kLoaderDataOffset + 2);
    if (!m_flash.StoreRecord(record)) {
        return Ignore(m_flash.WriteError().c_str());
    }
    m_finished = true;
    return Acknowledge(request, "write finished, checksum " + Hex16(record.checksum) +
                                    ", end value " + Hex16(record.endValue));
}

ProgramAnswer Bootloader::SwitchBack() {
    if (m_faults.neverLeave) {
        return Ignore("the bootloader never leaves");
    }
    if (m_switchBacksLost < m_faults.lostSwitchBacks) {
        ++m_switchBacksLost;
        return Ignore("the switch back is lost on the line");
    }
    ProgramAnswer answer;
    answer.switchesProgram = true;
    answer.outcome = "starts the main program";
    if (m_finished) {
        BootRecord record = m_flash.Record();
        ++record.reprogrammings;
        m_flash.StoreRecord(record);
        m_finished = false;
        answer.outcome += ", reprogrammed " + std::to_string(record.reprogrammings) + " times";
    }
    return answer;
}

bool Bootloader::StuckBitsShow() const {
    return m_faults.stuckPasses == 0 || m_verifyPasses < m_faults.stuckPasses;
}

}  // namespace sim
