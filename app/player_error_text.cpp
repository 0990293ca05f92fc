#include "player_error_text.h"

#include <cerrno>
#include <cstring>

#include "errors.h"
#include "wave_device.h"

namespace tunelo {

namespace {

const QString kChooseOutput =
    QStringLiteral("choose another one under \"Sound output\" in the window's context menu (right click)");

QString Quoted(const QString& text) {
    return QLatin1Char('"') + text + QLatin1Char('"');
}

QString FileText(const EMPFileError& error) {
    const QString path = Quoted(QString::fromStdString(error.Path()));
    switch (error.ErrorNumber()) {
    case ENOENT:
    case ENOTDIR:
        return QStringLiteral(
                   "The file %1 is gone: it has been moved, renamed or deleted, or the disk it was on "
                   "is not there. Remove it from the album, or add it again from where it is now.")
            .arg(path);
    case EACCES:
    case EPERM:
        return QStringLiteral(
                   "The file %1 may not be read (permission denied). Allow reading it, or add a copy "
                   "that can be read.")
            .arg(path);
    case EISDIR:
        return QStringLiteral("%1 is a folder, not a file that can be played.").arg(path);
    default:
        return QStringLiteral("The file %1 cannot be read: %2.")
            .arg(path, QString::fromLocal8Bit(std::strerror(error.ErrorNumber())));
    }
}

QString WaveText(const EMPWaveError& error) {
    const QString device = QString::fromStdString(WaveOutDeviceName());
    switch (WaveOutFault(error.Code())) {
    case TMPWaveFault::NoDevice:
        return QStringLiteral(
                   "No sound device: %1 cannot be opened. Connect or switch on a sound device, or %2; "
                   "then press Play again.")
            .arg(device, kChooseOutput);
    case TMPWaveFault::Busy:
        return QStringLiteral("The sound device is busy: another program is using %1. Stop the sound in that "
                              "program, or %2; then press Play again.")
            .arg(device, kChooseOutput);
    case TMPWaveFault::Lost:
        return QStringLiteral("The sound stopped: the sound server went away while playing (%1). Start the "
                              "sound server again, or %2; then press Play again.")
            .arg(QString::fromUtf8(error.what()), kChooseOutput);
    case TMPWaveFault::Other:
        break;
    }
    return QStringLiteral("The sound device (%1) failed: %2").arg(device, QString::fromUtf8(error.what()));
}

} // namespace

QString PlayerErrorText(const std::exception& error, const QString& file) {
    if (const auto* fileError = dynamic_cast<const EMPFileError*>(&error)) {
        return FileText(*fileError);
    }
    if (dynamic_cast<const EMPFormatError*>(&error)) {
        if (file.isEmpty()) {
            return QStringLiteral("The data is not MPEG audio (MP3, MP2 or MP1) and cannot be played.");
        }
        return QStringLiteral(
                   "The file %1 is not MPEG audio (MP3, MP2 or MP1) and cannot be played. Remove it "
                   "from the album.")
            .arg(Quoted(file));
    }
    if (const auto* waveError = dynamic_cast<const EMPWaveError*>(&error)) {
        return WaveText(*waveError);
    }
    return QString::fromUtf8(error.what());
}

} // namespace tunelo
