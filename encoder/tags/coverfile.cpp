#include "coverfile.h"

#include <QFile>

QString megabytes(qint64 bytes)
{
    return QStringLiteral("%1 MB").arg(bytes >> 20);
}

std::optional<Picture> readCover(const QString &path, QString *why)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        *why = QStringLiteral("The cover %1 cannot be read: %2").arg(path, file.errorString());
        return std::nullopt;
    }
    if (file.size() > kMaxPictureBytes) {
        *why = QStringLiteral("The cover %1 is larger than %2.").arg(path, megabytes(kMaxPictureBytes));
        return std::nullopt;
    }
    const QByteArray data = file.readAll();
    QString mime;
    if (data.startsWith("\xff\xd8\xff"))
        mime = QStringLiteral("image/jpeg");
    else if (data.startsWith("\x89PNG\r\n\x1a\n"))
        mime = QStringLiteral("image/png");
    if (mime.isEmpty()) {
        *why = QStringLiteral("The cover %1 is not a JPEG or PNG picture.").arg(path);
        return std::nullopt;
    }
    return Picture {kFrontCover, mime, QString(), data};
}
