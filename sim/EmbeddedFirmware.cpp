#include "FirmwareSeed.h"

#include <QResource>

namespace sim {

// The updater carries its firmware as the resource ":/BIN/154"; linking the
// same resource object here gives the instrument the very same bytes.
std::vector<std::uint8_t> EmbeddedFirmware() {
    const QResource resource(QStringLiteral(":/BIN/154"));
    if (!resource.isValid()) {
        return {};
    }
    if (resource.compressionAlgorithm() == QResource::NoCompression) {
        const std::uint8_t* data = resource.data();
        return {data, data + resource.size()};
    }
    const QByteArray bytes = resource.uncompressedData();
    return {bytes.begin(), bytes.end()};
}

}  // namespace sim
