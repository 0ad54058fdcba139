#include "Resources.h"

#include <QByteArray>
#include <QResource>
#include <QString>
#include <map>

// Module resources are Qt resources under ":/<type>/<id>". They are stored
// uncompressed, so their bytes are the module's own; one that was compressed
// all the same is expanded once and kept for the rest of the run.
std::span<const std::uint8_t> FindModuleResource(const char* type, int id) {
    const QString path = QStringLiteral(":/%1/%2").arg(QString::fromUtf8(type)).arg(id);
    const QResource resource(path);
    if (!resource.isValid() || resource.data() == nullptr) {  // missing, or a folder
        return {};
    }
    if (resource.compressionAlgorithm() == QResource::NoCompression) {
        return {reinterpret_cast<const std::uint8_t*>(resource.data()),
                static_cast<std::size_t>(resource.size())};
    }
    static std::map<QString, QByteArray> expanded;  // never freed, like the module's bytes
    const QByteArray& bytes = expanded.try_emplace(path, resource.uncompressedData()).first->second;
    return {reinterpret_cast<const std::uint8_t*>(bytes.constData()),
            static_cast<std::size_t>(bytes.size())};
}
