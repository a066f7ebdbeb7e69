#include "paths.h"

#include <QDir>
#include <QFileInfo>

QString absolute(const QString &path)
{
    return QDir::cleanPath(QFileInfo(path).absoluteFilePath());
}
