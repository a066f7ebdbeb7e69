#include "filesize.h"

#include <QFileInfo>

namespace Module1 {

std::optional<QString> FormatFileSize(const QString &path)
{
    if (path.isEmpty())
        return std::nullopt;
    const QFileInfo info(path);
    if (!info.isFile())
        return std::nullopt;
    return QString::number(info.size());
}

} // namespace Module1
