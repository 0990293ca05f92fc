#include "manual.h"

#include <QDesktopServices>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>
#include <QUrl>

// The manual's resource lives in a static library; it must be registered by name before the first use.
static void InitManualResource() {
    Q_INIT_RESOURCE(resources);
}

namespace tunelo {

namespace {

const QString kManualResource = QStringLiteral(":/manual/tunelo.html");

} // namespace

QString ManualFilePath() {
    QString folder = QStandardPaths::writableLocation(QStandardPaths::CacheLocation);
    if (folder.isEmpty()) {
        folder = QDir::tempPath() + QStringLiteral("/tunelo");
    }
    return folder + QStringLiteral("/manual/tunelo.html");
}

bool WriteManual(QString* error) {
    InitManualResource();
    const QString target = ManualFilePath();
    QFile source(kManualResource);
    if (!source.open(QIODevice::ReadOnly)) {
        if (error) {
            *error = QStringLiteral("The manual is missing from the program.");
        }
        return false;
    }
    const QByteArray page = source.readAll();
    QFile output(target);
    if (!QDir().mkpath(QFileInfo(target).absolutePath()) || !output.open(QIODevice::WriteOnly) ||
        output.write(page) != page.size() || !output.flush()) {
        if (error) {
            *error =
                QStringLiteral("The manual could not be written to %1: %2").arg(target, output.errorString());
        }
        return false;
    }
    return true;
}

bool OpenManual(QString* error) {
    if (!WriteManual(error)) {
        return false;
    }
    QUrl page = QUrl::fromLocalFile(ManualFilePath());
    page.setFragment(QStringLiteral("contents"));
    if (!QDesktopServices::openUrl(page)) {
        if (error) {
            *error = QStringLiteral("No browser could show the manual (%1).").arg(ManualFilePath());
        }
        return false;
    }
    return true;
}

} // namespace tunelo
