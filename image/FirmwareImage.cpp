#include "FirmwareImage.h"

#include <algorithm>
#include <vector>

#include "BuildDate.h"
#include "Crc16.h"
#include "MessageBox.h"
#include "Resources.h"

namespace {

constexpr const char* kResourceType = "BIN";
constexpr int kResourceId = 154;

constexpr std::uint32_t kPageEndBits = 0xFF;  // E = S with these bits set
constexpr std::uint8_t kErasedByte = 0xFF;    // what lies beyond the image

constexpr std::uint8_t kBootloaderStartByte = 0x00;
constexpr std::uint8_t kLoadHalfLength = kLoaderHeaderLength + kHalfPageSize;  // 137
constexpr std::uint8_t kFinishLength = kLoaderHeaderLength + 4;                // 13

// Transfer states of a pass.
constexpr std::uint8_t STATE_IDLE = 0xFF;
constexpr std::uint8_t STATE_PAGE_START = 0;
constexpr std::uint8_t STATE_FIRST_HALF_SENT = 1;
constexpr std::uint8_t STATE_BOTH_HALVES_SENT = 2;
constexpr std::uint8_t STATE_READING_BACK = 5;
constexpr std::uint8_t STATE_FINAL_QUERY_SENT = 6;

constexpr const char* kLoadFailedText = "Ошибка загрузки данных!\nДанный файл некорректен!";
constexpr const char* kBadDateTimeText =
    "Ошибка в файле данных - Дата и время!\nДанный файл некорректен!";
constexpr const char* kBadMonthText =
    "Ошибка в файле данных - Неверное имя месяца!\nДанный файл некорректен!";

}  // namespace

std::span<const std::uint8_t> EmbeddedFirmwareBytes() {
    return FindModuleResource(kResourceType, kResourceId);
}

CFirmwareImage::CFirmwareImage(std::uint32_t accessLow, std::uint32_t accessHigh,
                               std::uint8_t command)
    : m_transferState(STATE_IDLE),
      m_buildTime(PresetBuildTime()),
      m_accessCode(AccessCodeFromParts(accessLow, accessHigh)),
      m_command(command) {}

CFirmwareImage::~CFirmwareImage() = default;

bool CFirmwareImage::LoadFromResource() {
    return LoadFromBytes(EmbeddedFirmwareBytes());
}

bool CFirmwareImage::LoadFromBytes(std::span<const std::uint8_t> image) {
    if (image.size() < kMinImageSize || image.size() > kMaxImageSize) {
        AfxMessageBox(kLoadFailedText, MB_ICONSTOP);
        return false;
    }
    std::time_t buildTime = m_buildTime;
    switch (ParseBuildDate(ImageHeaderText(image, kImageBuildDateOffset), ImageHeaderText(image, kImageBuildTimeOffset),
                           buildTime)) {
        case BUILD_DATE_PARSED:
            break;
        case BUILD_DATE_BAD_MONTH:
            AfxMessageBox(kBadMonthText, MB_ICONSTOP);
            return false;
        default:
            AfxMessageBox(kBadDateTimeText, MB_ICONSTOP);
            return false;
    }
    m_image = image;
    m_buildTime = buildTime;
    m_version = ImageVersion(image);
    m_endValue = static_cast<std::uint32_t>(image.size()) | kPageEndBits;
    // The checksum covers offsets 0..E-1 of the padded image: E bytes.
    std::vector<std::uint8_t> padded(m_endValue, kErasedByte);
    std::copy(image.begin(), image.end(), padded.begin());
    m_checksum = ComputeCrc16(padded.data(), padded.size());
    return true;
}

std::string CFirmwareImage::GetBuildDateText() const {
    return FormatLocalTime(m_buildTime, "%d/%m/%Y");
}

std::uint8_t CFirmwareImage::BeginWrite() {
    if (m_image.empty()) {
        return IMAGE_OUT_OF_PLACE;
    }
    m_transferState = STATE_PAGE_START;
    m_position = 0;
    return PrepareWriteFrame();
}

std::uint8_t CFirmwareImage::BeginVerify() {
    if (m_image.empty()) {
        return IMAGE_OUT_OF_PLACE;
    }
    m_position = 0;
    m_verifyOk = true;
    m_transferState = STATE_READING_BACK;
    PrepareReadBackFrame();
    return IMAGE_FRAME_READY;
}

std::uint8_t CFirmwareImage::OnReply(std::span<const std::uint8_t> reply) {
    const auto operation = DecodeLoaderOperation(reply);
    if (!operation) {
        return IMAGE_OUT_OF_PLACE;
    }
    switch (*operation) {
        case BL_LOAD_HALF:
        case BL_PROGRAM_PAGE:
            return PrepareWriteFrame();
        case BL_FINISH:
            return IMAGE_WRITE_COMPLETE;
        case BL_READ_BACK:
            if (m_transferState == STATE_READING_BACK) {
                CompareReadBackBlock(DecodeReadBackBlock(reply));
                PrepareReadBackFrame();
                return IMAGE_FRAME_READY;
            }
            if (m_transferState == STATE_FINAL_QUERY_SENT) {
                return JudgeFinalQuery(reply);
            }
            return IMAGE_OUT_OF_PLACE;
        default:
            return IMAGE_OUT_OF_PLACE;
    }
}

std::span<const std::uint8_t> CFirmwareImage::GetFrame() const {
    return std::span(m_frame).first(kFrameHeaderSize + m_frame[kFrameLengthIndex]);
}

std::uint8_t CFirmwareImage::PrepareWriteFrame() {
    std::uint8_t* data = m_frame.data() + kFramePayloadIndex + kLoaderDataOffset;
    const auto loadHalf = [&](std::uint16_t offsetInPage) {
        WriteLoaderHeader(m_frame.data(), kBootloaderStartByte, m_command, kLoadHalfLength,
                          m_accessCode, BL_LOAD_HALF, offsetInPage);
        for (std::uint32_t i = 0; i < kHalfPageSize; ++i) {
            data[i] = PaddedByte(m_position + i);
        }
        m_position += kHalfPageSize;
    };
    switch (m_transferState) {
        case STATE_PAGE_START:
            if (m_position > m_endValue) {
                WriteLoaderHeader(m_frame.data(), kBootloaderStartByte, m_command, kFinishLength,
                                  m_accessCode, BL_FINISH, 0);
                data[0] = static_cast<std::uint8_t>(m_checksum & 0xFF);
                data[1] = static_cast<std::uint8_t>(m_checksum >> 8);
                data[2] = static_cast<std::uint8_t>(m_endValue & 0xFF);
                data[3] = static_cast<std::uint8_t>((m_endValue >> 8) & 0xFF);
                return IMAGE_FRAME_READY;
            }
            loadHalf(0);
            m_transferState = STATE_FIRST_HALF_SENT;
            return IMAGE_FRAME_READY;
        case STATE_FIRST_HALF_SENT:
            loadHalf(kHalfPageSize);
            m_transferState = STATE_BOTH_HALVES_SENT;
            return IMAGE_FRAME_READY;
        case STATE_BOTH_HALVES_SENT:
            WriteLoaderHeader(m_frame.data(), kBootloaderStartByte, m_command, kLoaderHeaderLength,
                              m_accessCode, BL_PROGRAM_PAGE,
                              static_cast<std::uint16_t>(m_position - kFlashPageSize));
            m_transferState = STATE_PAGE_START;
            return IMAGE_FRAME_READY;
        default:
            return IMAGE_OUT_OF_PLACE;
    }
}

void CFirmwareImage::PrepareReadBackFrame() {
    std::uint16_t address = kFinalQueryAddress;
    if (m_position <= m_endValue) {
        address = static_cast<std::uint16_t>(m_position);
    } else {
        m_transferState = STATE_FINAL_QUERY_SENT;
    }
    WriteLoaderHeader(m_frame.data(), kBootloaderStartByte, m_command, kLoaderHeaderLength,
                      m_accessCode, BL_READ_BACK, address);
}

void CFirmwareImage::CompareReadBackBlock(std::span<const std::uint8_t> block) {
    // A short reply did not bring the whole block back: the missing bytes
    // count as differences, and the block is passed like any other.
    for (std::size_t i = 0; i < kReadBackBlockSize; ++i, ++m_position) {
        if (i >= block.size() || block[i] != PaddedByte(m_position)) {
            m_verifyOk = false;
        }
    }
}

std::uint8_t CFirmwareImage::JudgeFinalQuery(std::span<const std::uint8_t> reply) const {
    const auto held = DecodeFinalQueryReply(reply);
    const bool sumsMatch =
        held && held->checksum == m_checksum && held->endValue == (m_endValue & 0xFFFF);
    return (sumsMatch && m_verifyOk) ? IMAGE_VERIFY_PASSED : IMAGE_VERIFY_FAILED;
}

std::uint8_t CFirmwareImage::PaddedByte(std::uint32_t offset) const {
    return offset < m_image.size() ? m_image[offset] : kErasedByte;
}
