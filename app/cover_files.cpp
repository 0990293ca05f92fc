#include "cover_files.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFileInfo>
#include <QSaveFile>
#include <QStandardPaths>
#include <QUrl>

namespace tunelo {

namespace {

QString ExtensionFor(const std::string& mime) {
    if (mime == "image/png") {
        return QStringLiteral(".png");
    }
    if (mime == "image/jpeg" || mime == "image/jpg") {
        return QStringLiteral(".jpg");
    }
    return QStringLiteral(".img");
}

QString WriteCover(const TMPPicture& picture) {
    QString folder = QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation);
    if (folder.isEmpty()) {
        folder = QDir::tempPath();
    }
    const QByteArray bytes =
        QByteArray::fromRawData(picture.Data.data(), static_cast<qsizetype>(picture.Data.size()));
    const QString name =
        QStringLiteral("tunelo-cover-") +
        QString::fromLatin1(QCryptographicHash::hash(bytes, QCryptographicHash::Sha1).toHex()) +
        ExtensionFor(picture.Mime);
    const QString path = QDir(folder).filePath(name);
    if (!QFileInfo::exists(path)) {
        QSaveFile file(path);
        if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size() || !file.commit()) {
            return {};
        }
    }
    return QUrl::fromLocalFile(path).toString(QUrl::FullyEncoded);
}

} // namespace

QString TCoverFiles::UrlFor(const std::string& source, const TMPPicture& picture) {
    if (source != FSource) {
        FSource = source;
        FUrl = picture.Empty() ? QString() : WriteCover(picture);
    }
    return FUrl;
}

} // namespace tunelo
