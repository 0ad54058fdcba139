#include "Flash.h"

#include "Crc16.h"
#include "InstrumentProtocol.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

namespace sim {
namespace {

constexpr std::size_t kRecordSize = 8;
constexpr std::size_t kFileSize = kFlashSize + kRecordSize;

std::string Describe(const std::string& what, const std::string& path) {
    return what + " " + path + ": " + std::strerror(errno);
}

}  // namespace

bool FlashFileExists(const std::string& path) {
    return !path.empty() && ::access(path.c_str(), F_OK) == 0;
}

BootRecord RecordFor(std::span<const std::uint8_t> image, std::uint32_t reprogrammings) {
    const std::size_t endValue = (image.size() | 0xFF) & 0xFFFF;
    std::vector<std::uint8_t> padded(endValue, 0xFF);
    std::copy_n(image.begin(), std::min(image.size(), endValue), padded.begin());
    BootRecord record;
    record.checksum = ComputeCrc16(padded.data(), padded.size());
    record.endValue = static_cast<std::uint16_t>(endValue);
    record.reprogrammings = reprogrammings;
    return record;
}

Flash::~Flash() {
    if (m_fd >= 0) {
        ::close(m_fd);
    }
}

bool Flash::Open(const std::string& path, std::span<const std::uint8_t> seed,
                 std::uint32_t reprogrammings, std::string& error) {
    const bool fresh = !FlashFileExists(path);
    if (fresh) {
        const std::size_t count = std::min(seed.size(), kFlashSize);
        std::copy_n(seed.begin(), count, m_bytes.begin());
        m_record = RecordFor(seed.first(count), reprogrammings);
    }
    if (path.empty()) {
        return true;
    }
    m_fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
    if (m_fd < 0) {
        error = Describe("cannot open flash file", path);
        return false;
    }
    if (fresh) {
        if (!WriteAt(0, m_bytes) || !StoreRecord(m_record)) {
            error = m_writeError;
            return false;
        }
        return true;
    }
    std::vector<std::uint8_t> file(kFileSize);
    const ssize_t got = ::pread(m_fd, file.data(), file.size(), 0);
    if (got != static_cast<ssize_t>(kFileSize)) {
        error = "flash file " + path + " is not a flash image of " + std::to_string(kFileSize) +
                " bytes";
        return false;
    }
    std::copy_n(file.begin(), kFlashSize, m_bytes.begin());
    const std::uint8_t* record = file.data() + kFlashSize;
    m_record.checksum = static_cast<std::uint16_t>(record[0] | (record[1] << 8));
    m_record.endValue = static_cast<std::uint16_t>(record[2] | (record[3] << 8));
    m_record.reprogrammings =
        static_cast<std::uint32_t>(record[4]) | static_cast<std::uint32_t>(record[5]) << 8 |
        static_cast<std::uint32_t>(record[6]) << 16 | static_cast<std::uint32_t>(record[7]) << 24;
    return true;
}

std::span<const std::uint8_t> Flash::Read(std::size_t address, std::size_t count) const {
    address = std::min(address, kFlashSize);
    return std::span<const std::uint8_t>(m_bytes).subspan(address,
                                                          std::min(count, kFlashSize - address));
}

std::uint16_t Flash::ReadWord(std::size_t address) const {
    const auto bytes = Read(address, 2);
    return bytes.size() == 2 ? static_cast<std::uint16_t>(bytes[0] | (bytes[1] << 8)) : 0xFFFF;
}

bool Flash::ProgramPage(std::uint16_t address, std::span<const std::uint8_t> page) {
    const std::size_t start = address & ~static_cast<std::size_t>(kPageSize - 1);
    const std::size_t count = std::min(page.size(), static_cast<std::size_t>(kPageSize));
    std::copy_n(page.begin(), count, m_bytes.begin() + static_cast<std::ptrdiff_t>(start));
    return WriteAt(start, page.first(count));
}

bool Flash::StoreRecord(const BootRecord& record) {
    m_record = record;
    std::vector<std::uint8_t> encoded;
    AppendWord(encoded, record.checksum);
    AppendWord(encoded, record.endValue);
    AppendLong(encoded, record.reprogrammings);
    return WriteAt(kFlashSize, encoded);
}

bool Flash::WriteAt(std::size_t offset, std::span<const std::uint8_t> bytes) {
    if (m_fd < 0) {
        return true;
    }
    const ssize_t put = ::pwrite(m_fd, bytes.data(), bytes.size(), static_cast<off_t>(offset));
    if (put != static_cast<ssize_t>(bytes.size())) {
        m_writeError = std::string("cannot write the flash file: ") + std::strerror(errno);
        return false;
    }
    return true;
}

}  // namespace sim
