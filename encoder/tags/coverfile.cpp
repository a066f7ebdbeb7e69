#include "coverfile.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <algorithm>

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

std::optional<Picture> folderCover(const QString &inputFile, QStringList &warnings)
{
    static const QStringList wanted {QStringLiteral("cover.jpg"),  QStringLiteral("cover.png"),
                                     QStringLiteral("folder.jpg"), QStringLiteral("folder.png"),
                                     QStringLiteral("front.jpg"),  QStringLiteral("front.png")};
    const QDir folder = QFileInfo(inputFile).dir();
    // Name filters match in any letter case here; of Cover.jpg and cover.jpg the one first in
    // code unit order is tried first, on every machine.
    QStringList found = folder.entryList(wanted, QDir::Files | QDir::Readable, QDir::NoSort);
    std::sort(found.begin(), found.end());
    for (const QString &name : wanted) {
        for (const QString &entry : std::as_const(found)) {
            if (entry.compare(name, Qt::CaseInsensitive) != 0)
                continue;
            const QString path = folder.filePath(entry);
            // Only a regular file: opening a FIFO would block the run.
            const QFileInfo file(path);
            if (!file.isFile())
                continue;
            if (file.size() > kMaxPictureBytes) {
                warnings << QStringLiteral("The folder's picture %1 of %2 MB is left out: pictures are kept up to %3.")
                                .arg(path)
                                .arg(file.size() / double(1 << 20), 0, 'f', 1)
                                .arg(megabytes(kMaxPictureBytes));
                continue;
            }
            QString why;
            if (std::optional<Picture> picture = readCover(path, &why))
                return picture;
        }
    }
    return std::nullopt;
}
